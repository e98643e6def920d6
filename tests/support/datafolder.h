#pragma once

#include <QString>
#include <QTemporaryDir>

// A data folder for a test, in a temporary directory that disappears with it:
// root/LALUMA (catalogue, descriptors, MEMBRES, SONS) beside root/ALTEMARE
// (the school database), as a school installs them.
class DataFolder
{
public:
    DataFolder();

    QString root() const { return m_dir.path(); }
    QString base() const { return m_dir.path() + QStringLiteral("/LALUMA"); }
    QString school() const { return m_dir.path() + QStringLiteral("/ALTEMARE"); }
    QString schoolDb() const { return school() + QStringLiteral("/ALTEMARE.MDB"); }
    QString catalogue() const { return base() + QStringLiteral("/LUMA.MDB"); }
    QString descriptors() const { return base() + QStringLiteral("/COTATION.MDB"); }

    // Two classes with three children, a few documents, descriptors, and a
    // MEMBRES.MDB; no sound, no picture.
    void fillSmallSchool();

    // A file of the data folder (relative path with '/'), written whole.
    void writeFile(const QString &relativePath, const QByteArray &bytes);
    QByteArray readFile(const QString &relativePath) const;
    bool exists(const QString &relativePath) const;

private:
    QTemporaryDir m_dir;
};
