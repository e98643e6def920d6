#include "data/pgbase.h"

#include "data/database.h"
#include "platform/apperror.h"

#include <QFileInfo>

BaseServeur::BaseServeur(const ServeurPostgresql &serveur) : m_serveur(serveur)
{
}

BaseServeur::BaseServeur(const AppError &erreur) : m_erreur(std::make_unique<AppError>(erreur))
{
}

BaseServeur::~BaseServeur() = default;

PgConnexion &BaseServeur::connexion()
{
    if (m_erreur)
        throw *m_erreur;
    if (!m_connexion) {
        m_connexion = std::make_unique<PgConnexion>(m_serveur);
        m_connexion->executeScript(QStringLiteral("SET statement_timeout = %1").arg(QueryLimits::kMilliseconds));
    } else if (!m_connexion->connectee()) {
        m_connexion->reset();
        m_connexion->executeScript(QStringLiteral("SET statement_timeout = %1").arg(QueryLimits::kMilliseconds));
        // Another program may have moved or changed the tables meanwhile.
        m_schemas.clear();
    }
    return *m_connexion;
}

QString BaseServeur::schemaDuFichier(const QString &cheminFichier)
{
    const QString nom = QFileInfo(QString(cheminFichier).replace(QLatin1Char('\\'), QLatin1Char('/'))).fileName();
    static const std::pair<const char *, const char *> kSchemas[] = {
        {"LUMA.MDB", "luma"}, {"COTATION.MDB", "cotation"}, {"MEMBRES.MDB", "membres"}, {"ALTEMARE.MDB", "ecole"}};
    for (const auto &[fichier, schema] : kSchemas)
        if (nom.compare(QLatin1String(fichier), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(schema);
    return {};
}

qint64 BaseServeur::cleEcriture(const QString &nomSchema)
{
    static const QStringList schemas{QStringLiteral("luma"), QStringLiteral("cotation"), QStringLiteral("membres"),
                                     QStringLiteral("ecole")};
    return 0x4c554d41'00000100 + schemas.indexOf(nomSchema.toLower());
}

const Schema &BaseServeur::schema(const QString &nomSchema)
{
    const auto connu = m_schemas.constFind(nomSchema);
    if (connu != m_schemas.cend())
        return *connu;
    const PgConnexion::Lignes colonnes = lecture([&](PgConnexion &c) {
        return c.execute(QStringLiteral("SELECT c.table_name, c.column_name FROM information_schema.columns c "
                                 "JOIN information_schema.tables t USING (table_schema, table_name) "
                                 "WHERE c.table_schema = $1 AND t.table_type = 'BASE TABLE' AND c.column_name <> $2 "
                                 "ORDER BY c.table_name, c.ordinal_position"),
                  {nomSchema, QString::fromLatin1(kColonneCle)});
    });
    Schema schema;
    for (const QStringList &ligne : colonnes) {
        if (schema.tables.isEmpty() || schema.tables.back().name != ligne[0])
            schema.tables.append(SchemaTable{ligne[0], {}});
        schema.tables.back().columns << ligne[1];
    }
    if (schema.tables.isEmpty())
        throw AppError(ErrorNumber::DatabaseNotFound,
                       QStringLiteral("Le serveur PostgreSQL ne contient pas encore la base « %1 » : elle doit y être "
                                      "copiée avec luma-import --vers-postgresql.")
                           .arg(nomSchema));
    return *m_schemas.insert(nomSchema, schema);
}

SqlDialect BaseServeur::dialecte(const QString &nomSchema)
{
    SqlDialect dialecte;
    dialecte.engine = SqlDialect::Engine::PostgreSQL;
    for (const SchemaTable &table : schema(nomSchema).tables) {
        dialecte.schemas.insert(table.name, nomSchema);
        dialecte.keyColumns.insert(table.name, QString::fromLatin1(kColonneCle));
    }
    return dialecte;
}

qint64 BaseServeur::versionDonnees()
{
    // A sequence never advanced shows its first value not yet given.
    const PgConnexion::Lignes lu = lecture([](PgConnexion &c) {
        return c.execute(
            QStringLiteral("SELECT CASE WHEN is_called THEN last_value ELSE 0 END FROM luma_suivi.changements"));
    });
    return lu.isEmpty() ? -2 : lu[0][0].toLongLong();
}

void BaseServeur::signaleChangement()
{
    connexion().execute(QStringLiteral("SELECT nextval('luma_suivi.changements')"));
}
