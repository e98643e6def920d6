#include "data/pginstallation.h"

#include "data/jetsql.h"
#include "data/pgconnexion.h"

namespace {

// A key of its own for the advisory lock of the installation, so that two
// stations starting together do not both create the same things.
constexpr qint64 kVerrouInstallation = 0x4c554d41'00000001;

const char *const kInstallation = R"sql(
CREATE SCHEMA IF NOT EXISTS luma;
CREATE SCHEMA IF NOT EXISTS cotation;
CREATE SCHEMA IF NOT EXISTS membres;
CREATE SCHEMA IF NOT EXISTS ecole;
CREATE COLLATION IF NOT EXISTS luma.jet (provider = icu, locale = 'und-u-ks-level2', deterministic = false);
CREATE EXTENSION IF NOT EXISTS pg_trgm;
)sql";

} // namespace

void installeDansTransaction(PgConnexion &connexion)
{
    // IF NOT EXISTS (and OR REPLACE) does not keep two sessions from racing
    // to create the same object: one at a time.
    connexion.verrouilleTransaction(kVerrouInstallation, LockWait{}, QStringLiteral("LUMA.MDB"));
    connexion.executeScript(QString::fromUtf8(kInstallation));
    for (const QString &fonction : postgresqlJetFunctions())
        connexion.executeScript(fonction);
}

void installeBase(PgConnexion &connexion)
{
    enTransaction(connexion, [&] { installeDansTransaction(connexion); });
}
