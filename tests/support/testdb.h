#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

// Builds database files for tests with the plain SQLite API, the way another
// tool would, independently of the program's own engine.
namespace TestDb {

// Creates a file with the program's tables (schoolSchema: enfants and équipe;
// catalogueSchema: luma; descriptorSchema: [luma+]).
void createSchool(const QString &path);
void createCatalogue(const QString &path);
void createDescriptors(const QString &path);

// Runs SQL on a file (throws std::runtime_error on failure).
void exec(const QString &path, const QString &sql);
// Inserts one row; values bound as text, or NULL for a null QVariant.
void insert(const QString &path, const QString &table, const QStringList &columns, const QVariantList &values);
// First column of the first row of a query, as text ("<null>" for NULL, "<none>" without a row).
QString scalar(const QString &path, const QString &sql);

// A catalogue row with the usual loan fields.
void addDocument(const QString &path, const QString &inventaire, const QString &titre,
                 const QString &emprunt = "O", const QString &emprunte = "N",
                 const QString &emprunteur = "", const QString &categorie = "",
                 const QString &dateemprunt = "", const QString &cumul = "",
                 const QString &dewey = "8", const QString &editeur = "", const QString &motscles = "");
// Documents numbered 00001 to `rows`, on the shelf, titled by the SQL
// expression `title` of their number i.
void addNumbered(const QString &path, int rows, const QString &title = QStringLiteral("'Titre ' || i"));
void addChild(const QString &path, const QString &matricule, const QString &nom, const QString &prenom,
              const QString &classe, const QString &niveau = "MS");
void addClass(const QString &path, const QString &numero, const QString &instituteur);

} // namespace TestDb
