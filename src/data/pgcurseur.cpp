// The data cursor on the data folder's PostgreSQL server: the same record
// sets as on the SQLite file, translated for the server, each row identified
// by its key column and read when it is shown.

#include "data/cursorimpl.h"
#include "data/rowvalues.h"
#include "data/sqlitestatement.h"
#include "platform/apperror.h"

namespace {

QString key(qint64 value)
{
    return QString::number(value);
}

[[noreturn]] void throwRecordDeleted()
{
    throw AppError(ErrorNumber::RecordDeleted, QStringLiteral("L'enregistrement a été supprimé."));
}

} // namespace

void Cursor::Impl::ensureSchema(const QString &path)
{
    const QString nom = BaseServeur::schemaDuFichier(path);
    if (nom.isEmpty())
        throw AppError(ErrorNumber::DatabaseNotFound,
                       QStringLiteral("« %1 » n'est pas une des bases de données du serveur.").arg(path));
    if (nom == schemaServeur)
        return;
    closeDatabase();
    dialect = serveur->dialecte(nom);
    schemaServeur = nom;
}

void Cursor::Impl::loadFromServer(const QString &recordSource, const QueryLimits &limits)
{
    translated = translateRecordSource(recordSource, schema(), dialect);
    const TranslatedSelect &t = translated;
    serveur->lecture([&](PgConnexion &c) {
        fieldNames.clear();
        fieldColumns.clear();
        rows.clear();
        if (t.singleTable) {
            const QString where = t.whereSql.isEmpty() ? QString() : QStringLiteral(" WHERE (%1)").arg(t.whereSql);
            // The key last: rows the sort keys leave equal come in one order.
            const QString order = (t.orderBySql + QStringList{t.keySql}).join(QStringLiteral(", "));
            serverRowSql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = $1").arg(t.columnsSql, t.fromSql, t.keySql);
            QList<bool> deTable;
            c.execute(serverRowSql, {key(0)}, &fieldNames, &deTable);
            const SchemaTable *table = schema().findTable(t.table);
            for (int i = 0; i < fieldNames.size(); ++i) {
                const QString column = table ? table->findColumn(fieldNames[i]) : QString();
                fieldColumns << (deTable.value(i) ? column : QString());
            }
            serverKeysSql = QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4").arg(t.keySql, t.fromSql, where, order);
            rowids = c.entiers(serverKeysSql + QStringLiteral(" LIMIT %1").arg(kFirstKeys));
            partialKeys = rowids.size() == size_t(kFirstKeys);
            byRowid = true;
            return;
        }
        const PgConnexion::Lignes lu = c.execute(t.sql, {}, &fieldNames);
        if (lu.size() > limits.rows)
            throw AppError(ErrorNumber::QueryTooLong,
                           QStringLiteral("La recherche a été arrêtée : elle donnait trop de lignes."));
        for (int i = 0; i < fieldNames.size(); ++i)
            fieldColumns << QString();
        rows.reserve(size_t(lu.size()));
        for (const QStringList &ligne : lu) {
            std::vector<QVariant> row;
            row.reserve(size_t(ligne.size()));
            for (const QString &value : ligne)
                row.emplace_back(value);
            rows.push_back(std::move(row));
        }
        byRowid = false;
    });
}

void Cursor::Impl::completeKeys()
{
    if (!partialKeys)
        return;
    rowids = serveur->lecture([&](PgConnexion &c) { return c.entiers(serverKeysSql); });
    partialKeys = false;
}

QStringList Cursor::Impl::readServerRow(qint64 rowKey)
{
    const PgConnexion::Lignes lu =
        serveur->lecture([&](PgConnexion &c) { return c.execute(serverRowSql, {key(rowKey)}); });
    if (lu.isEmpty())
        throwRecordDeleted();
    return lu.front();
}

std::vector<qint64> Cursor::Impl::serverMatches(const QString &condition)
{
    QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE (%3)").arg(translated.keySql, translated.fromSql, condition);
    if (!translated.whereSql.isEmpty())
        sql += QStringLiteral(" AND (%1)").arg(translated.whereSql);
    return serveur->lecture([&](PgConnexion &c) { return c.entiers(sql); });
}

// The condition on one kept row, its fields standing for the columns of a
// one-row table.
bool Cursor::Impl::serverRowMatches(const QString &condition, const std::vector<QVariant> &row)
{
    QStringList columns, values;
    for (int i = 0; i < fieldNames.size(); ++i) {
        columns << QStringLiteral("$%1::text AS %2").arg(i + 1).arg(quoteIdentifier(fieldNames[i]));
        values << rowvalues::variantText(row[size_t(i)]);
    }
    const QString sql = QStringLiteral("SELECT 1 FROM (SELECT %1) AS %2 WHERE (%3)")
                            .arg(columns.join(QStringLiteral(", ")), quoteIdentifier(QStringLiteral("résultat")),
                                 condition);
    return !serveur->lecture([&](PgConnexion &c) { return c.execute(sql, values); }).isEmpty();
}

bool Cursor::Impl::writeToServer(const QHash<QString, QString> &edits, const QHash<QString, QString> *shown,
                                 const std::function<void()> &alsoInTransaction, const QString &recordSource)
{
    if (!byRowid)
        throw AppError(ErrorNumber::ReadOnlyDatabase,
                       QStringLiteral("Mise à jour impossible : le résultat de cette requête ne peut pas être "
                                      "modifié."));
    // Every edited field in one statement: the row is written whole or not at all.
    QStringList assignments, values;
    for (int i = 0; i < fieldNames.size(); ++i) {
        const auto it = edits.constFind(fieldNames[i]);
        if (it == edits.constEnd())
            continue;
        if (fieldColumns[i].isEmpty())
            throw AppError(ErrorNumber::FieldNotUpdatable,
                           QStringLiteral("Le champ « %1 » ne peut pas être mis à jour.").arg(fieldNames[i]));
        // An emptied field holds an empty text, as on the files, not Null.
        values << (it->isNull() ? QStringLiteral("") : *it);
        assignments << quoteIdentifier(fieldColumns[i]) + QStringLiteral(" = $") + QString::number(values.size());
    }
    const qint64 rowKey = rowids[size_t(position)];
    values << key(rowKey);
    const bool keepRows = !assignments.isEmpty() && loadedFromUnchanged(recordSource) && editsKeepRows(edits);
    const qint64 versionBefore = loadedDataVersion;
    PgConnexion &c = serveur->connexion();
    cachedPosition = -1;
    bool same = true;
    {
        PgTransaction transaction(c);
        if (shown) {
            // The row locked as it is read: no other program changes it
            // between the comparison and the write.
            const PgConnexion::Lignes lu = c.execute(serverRowSql + QStringLiteral(" FOR UPDATE"), {key(rowKey)});
            same = !lu.isEmpty();
            for (auto it = shown->constBegin(); it != shown->constEnd() && same; ++it) {
                const int index = fieldIndex(it.key());
                if (index < 0)
                    throw AppError(ErrorNumber::FieldNotFound,
                                   QStringLiteral("Élément « %1 » non trouvé dans cette collection.").arg(it.key()));
                same = lu.front().value(index) == it.value();
            }
        }
        if (!same)
            return false; // rolled back: nothing was written
        if (!assignments.isEmpty()) {
            const PgConnexion::Lignes written = c.execute(
                QStringLiteral("UPDATE %1.%2 SET %3 WHERE %4 = $%5 RETURNING 1")
                    .arg(quoteIdentifier(schemaServeur), quoteIdentifier(translated.table),
                         assignments.join(QStringLiteral(", ")), translated.keySql, QString::number(values.size())),
                values);
            if (written.isEmpty())
                throwRecordDeleted();
        }
        if (alsoInTransaction)
            alsoInTransaction();
        transaction.commit();
    }
    cachedPosition = -1;
    lastModified = rowKey;
    lastModifiedPosition = position;
    if (assignments.isEmpty())
        return true;
    // Saved: what follows only spares the next refresh a read, and must not
    // turn a saved record into a failure.
    try {
        serveur->signaleChangement();
        // This write advanced the number twice (the table's trigger and the
        // signal): nothing else changed, the rows still hold.
        if (keepRows && serveur->versionDonnees() == versionBefore + 2)
            loadedDataVersion = versionBefore + 2;
    } catch (const AppError &) {
    }
    return true;
}

void forEachRow(BaseServeur &serveur, const QString &databaseFile, const QString &jetSource,
                const std::function<void(const QStringList &row)> &visit)
{
    const QString schema = BaseServeur::schemaDuFichier(databaseFile);
    if (schema.isEmpty())
        throw AppError(ErrorNumber::DatabaseNotFound,
                       QStringLiteral("« %1 » n'est pas une des bases de données du serveur.").arg(databaseFile));
    const TranslatedSelect translated =
        translateRecordSource(jetSource, serveur.schema(schema), serveur.dialecte(schema));
    const PgConnexion::Lignes lu = serveur.lecture([&](PgConnexion &c) { return c.execute(translated.sql); });
    for (const QStringList &row : lu)
        visit(row);
}
