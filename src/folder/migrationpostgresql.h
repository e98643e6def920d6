#pragma once

#include "data/serveurpostgresql.h"
#include "platform/lockwait.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Moving a data folder's four databases to a PostgreSQL server, and back.
//
// On the server, each file is a schema (LUMA.MDB luma, COTATION.MDB cotation,
// MEMBRES.MDB membres, the school's ALTEMARE.MDB ecole) and each of its tables
// a table of the same name, its columns in the file's order, every one text
// under the collation luma.jet, after a first column luma_cle (an identity,
// the row's key for the cursor, never shown). Values go as the program reads
// them (rowvalues::columnText): NULL stays NULL, a whole number stored as a
// real loses its decimals.

// Where the copy of one table stands.
struct ProgressionCopie
{
    QString fichier; // native path of the .MDB file read or written
    QString table;
    qint64 lignes = 0; // copied so far
    qint64 total = 0;
    bool finie = false;
};

struct OptionsMigration
{
    // Tables of the files already on the server are dropped and made again
    // (in the same transaction) rather than refused.
    bool remplacer = false;
    // Told when a table starts, every few thousand rows, and when it ends.
    std::function<void(const ProgressionCopie &)> progression;
    // How long the folder's lending lock is waited for.
    LockWait attente;
};

struct FichierMigre
{
    QString fichier; // native path of the .MDB file read or written
    QString schema;
    int tables = 0;
    qint64 lignes = 0;
    qint64 millisecondes = 0;
    // versPostgresql: where the file is now (AVANT-POSTGRESQL).
    QString archive;
};

struct ResultatMigration
{
    QList<FichierMigre> fichiers;
    // BASE.INI written, or its new name BASE.INI.ANCIEN.
    QString baseIni;
    // What the user should know, in French.
    QStringList avertissements;
};

// The server of a folder when none is given: its BASE.INI's, else the
// service "luma".
ServeurPostgresql serveurParDefaut(const QString &dossierBase);

// Copies LUMA.MDB, COTATION.MDB, MEMBRES.MDB of the data folder and
// ALTEMARE.MDB of the school folder (trouveDossiers) to the server, in one
// transaction with the server's set-up, the indexes and ANALYZE: all or
// nothing. LUMA.MDB and ALTEMARE.MDB are required. Refused, with nothing
// written, when a file is in Access format, has a column luma_cle, or a table
// of a file is already on the server (unless `remplacer`). The folder's
// lending lock is held from before the files are read until they are moved,
// and each file is read in one SQLite read transaction held as long, so that
// no kiosk lends and no other program writes in between. After the commit,
// BASE.INI names the server (written atomically) and each file copied goes
// into a folder AVANT-POSTGRESQL beside it (never replacing anything there:
// LUMA-2.MDB...). Throws AppError with a French description.
ResultatMigration versPostgresql(const QString &dossierBase, const ServeurPostgresql &serveur,
                                 const OptionsMigration &options = {});

// The opposite, from the server BASE.INI names: each schema holding tables the
// import made (those with luma_cle) becomes its .MDB file, all columns TEXT
// without luma_cle, the catalogue's inventaire UNIQUE as the program makes it
// (an ordinary index and a warning when numbers repeat). Read in one snapshot
// under the lending lock; every file is written under a temporary name first,
// and they take their names only once all are written. Refused when one of
// the files to write (or a journal of it) is already there. BASE.INI is
// renamed BASE.INI.ANCIEN last. The server is not changed.
ResultatMigration versSqlite(const QString &dossierBase, const OptionsMigration &options = {});
