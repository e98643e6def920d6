#pragma once

// Header only: a test's data folder whose databases are on a throwaway
// server, for the tests that link the program's data layer.

#include "datafolder.h"
#include "pgserveur.h"

#include "data/pgconnexion.h"
#include "data/jetsql.h"
#include "data/pginstallation.h"

#include <QFile>
#include <QRegularExpression>

#include <sqlite3.h>

// A database of its own on the server, empty; its connection string.
inline QString nouvelleBase(const PgServeur &serveur, const QString &nom)
{
    PgConnexion postgres({QString(), serveur.conninfo()});
    postgres.executeScript(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(nom));
    postgres.executeScript(QStringLiteral("CREATE DATABASE %1").arg(nom));
    return QString(serveur.conninfo()).replace(QRegularExpression(QStringLiteral("dbname=\\w+")),
                                                QStringLiteral("dbname=") + nom);
}

// Copies the tables of one SQLite file into a schema, as the move to a
// server lays them out: a key column first, then the file's columns as text.
inline void copieFichier(PgConnexion &c, const QString &fichier, const QString &schema)
{
    if (!QFile::exists(fichier))
        return; // a database the folder does not have
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(fichier).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open test file");
    QStringList tables;
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_schema WHERE type = 'table'", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        tables << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    const auto nom = [](const QString &n) { return QLatin1Char('"') + QString(n).replace('"', "\"\"") + '"'; };
    for (const QString &table : tables) {
        sqlite3_prepare_v2(db, ("SELECT * FROM " + nom(table)).toUtf8().constData(), -1, &st, nullptr);
        QStringList colonnes, definitions{QStringLiteral("luma_cle bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY")};
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            colonnes << nom(QString::fromUtf8(sqlite3_column_name(st, i)));
            definitions << colonnes.back() + QStringLiteral(" text COLLATE luma.jet");
        }
        const QString cible = nom(schema) + '.' + nom(table);
        c.executeScript(QStringLiteral("DROP TABLE IF EXISTS %1; CREATE TABLE %1 (%2)").arg(cible, definitions.join(", ")));
        QStringList marques;
        for (int i = 1; i <= colonnes.size(); ++i)
            marques << QStringLiteral("$%1").arg(i);
        const QString insertion = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                      .arg(cible, colonnes.join(", "), marques.join(", "));
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList valeurs;
            for (int i = 0; i < colonnes.size(); ++i)
                valeurs << (sqlite3_column_type(st, i) == SQLITE_NULL
                                ? QString()
                                : QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, i))));
            c.execute(insertion, valeurs);
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
}

// The folder's four databases copied to a new database of the server, and
// the folder's BASE.INI naming it; returns its connection string.
inline QString deplaceSurServeur(const PgServeur &serveur, const QString &nom, DataFolder &dossier)
{
    const QString conninfo = nouvelleBase(serveur, nom);
    PgConnexion c({QString(), conninfo});
    installeBase(c);
    for (const QString &fonction : postgresqlJetFunctions())
        c.executeScript(fonction);
    copieFichier(c, dossier.catalogue(), QStringLiteral("luma"));
    copieFichier(c, dossier.descriptors(), QStringLiteral("cotation"));
    copieFichier(c, dossier.base() + QStringLiteral("/MEMBRES.MDB"), QStringLiteral("membres"));
    copieFichier(c, dossier.schoolDb(), QStringLiteral("ecole"));
    installeBase(c); // the tables' triggers
    dossier.writeFile(QStringLiteral("LALUMA/BASE.INI"), "[postgresql]\r\nconninfo=" + conninfo.toUtf8() + "\r\n");
    return conninfo;
}
