#include "data/pginstallation.h"

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
CREATE TABLE IF NOT EXISTS luma.luma (
    inventaire text COLLATE luma.jet PRIMARY KEY,
    titre text COLLATE luma.jet,
    "éditeur" text COLLATE luma.jet,
    dewey text COLLATE luma.jet,
    "motsclés" text COLLATE luma.jet,
    emprunt text COLLATE luma.jet,
    "emprunté" text COLLATE luma.jet,
    emprunteur text COLLATE luma.jet,
    "catégorieemprunteur" text COLLATE luma.jet,
    dateemprunt text COLLATE luma.jet,
    cumul text COLLATE luma.jet
);
CREATE INDEX IF NOT EXISTS luma_titre_trgm ON luma.luma USING gin (titre COLLATE "und-x-icu" gin_trgm_ops);
CREATE INDEX IF NOT EXISTS luma_motscles_trgm ON luma.luma USING gin ("motsclés" COLLATE "und-x-icu" gin_trgm_ops);
)sql";

} // namespace

void installeBase(PgConnexion &connexion)
{
    // IF NOT EXISTS does not keep two sessions from racing to create the
    // same object: one at a time.
    enTransaction(connexion, [&] {
        connexion.verrouilleTransaction(kVerrouInstallation, LockWait{}, QStringLiteral("LUMA.MDB"));
        connexion.executeScript(QString::fromUtf8(kInstallation));
    });
}
