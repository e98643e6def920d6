#pragma once

#include "accessimport.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Conversion, in place, of the Access files of a data folder: ALTEMARE.MDB in
// the school folder (found as the program finds it at start-up), LUMA.MDB,
// COTATION.MDB and MEMBRES.MDB in the data folder, names matched without
// regard to case. A file is an Access file by its header; any other file
// (one already converted) is left alone, so a second run changes nothing.
//
// All or nothing. First every Access file is converted into a temporary file
// beside it; then each original gets a second name in a folder ACCESS beside
// it (a hard link, or a byte-for-byte copy with its dates where the file
// system has no links), and only then each converted file is renamed over the
// original's name. A failure at any step undoes the steps already done, so
// every file is as it was. The original's name never misses at any moment: a
// crash between two steps leaves each file either still in Access format,
// with perhaps its second name already in ACCESS, or converted with its
// original in ACCESS, and the next run converts what is left, taking up
// such a second name instead of making another. Temporary files of an
// interrupted run are removed by the next one.
//
// Nothing in ACCESS is ever replaced: when the name is taken by another file
// (an earlier original), the original goes in under the next free name
// NAME-2.MDB, NAME-3.MDB...
//
// Two runs on one data folder at once are refused, and kiosks lend nothing
// from it meanwhile (the kiosks' lending lock).

struct FolderImportOptions
{
    // Code page, table progress; missing rows always stop the run.
    ImportOptions import;
    // Told once how many Access files are to be converted, before the first.
    std::function<void(int files)> filesPlanned;
    // Told before each Access file is converted (its native path).
    std::function<void(const QString &file)> fileStarted;
    // Called before each step that changes a name (creating ACCESS, giving the
    // original its second name, renaming the converted file), with the step's
    // rank from 0: a test makes one fail by throwing AppError.
    std::function<void(int step)> beforeStep;
};

struct FolderFile
{
    enum class State {
        Absent,           // no such file
        AlreadyConverted, // an SQLite file: left alone
        NotAccess,        // neither Access nor SQLite: left alone
        Converted,
    };
    QString path; // native path of the database file
    State state = State::Absent;
    ImportResult result;     // when converted
    qint64 milliseconds = 0; // time of the conversion
    QString archive;         // where the original is now, when converted
};

struct FolderImportResult
{
    QString dataFolder;
    QString schoolFolder;
    QList<FolderFile> files; // ALTEMARE, LUMA, COTATION, MEMBRES
    // Temporary files of an interrupted run, removed.
    QStringList removedLeftovers;

    int converted() const;
};

// Converts the data folder's Access files. When anything fails, throws
// AppError with a French description that names the file and the reason and
// ends by saying that no file was changed (or, should putting a file back
// itself fail, where its original is).
FolderImportResult importDataFolder(const QString &dataFolder, const FolderImportOptions &options = {});
