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
-- The catalogue in inventory order, as the cursors ask for it (the key
-- breaks ties): read from the index rather than sorted, a million rows take
-- a tenth of the time. Only once the table has its key column.
DO $$
BEGIN
    IF EXISTS (SELECT 1 FROM information_schema.columns
               WHERE table_schema = 'luma' AND table_name = 'luma' AND column_name = 'luma_cle') THEN
        CREATE INDEX IF NOT EXISTS luma_inventaire ON luma.luma (inventaire NULLS FIRST, luma_cle);
    END IF;
END $$;
)sql";

// What the programs keep for themselves, apart from the folder's databases
// (whose schemas list only their own tables): the loans being saved, and a
// number every write to a table advances, by which a cursor knows whether
// the rows it read still hold.
const char *const kSuivi = R"sql(
CREATE SCHEMA IF NOT EXISTS luma_suivi;
CREATE TABLE IF NOT EXISTS luma_suivi.prets_en_cours (
    luma_cle bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    dossier text NOT NULL,
    journal text NOT NULL,
    taille_avant bigint NOT NULL,
    entree bytea NOT NULL,
    inventaire text,
    ecrit timestamptz NOT NULL DEFAULT now()
);
CREATE SEQUENCE IF NOT EXISTS luma_suivi.changements;
CREATE OR REPLACE FUNCTION luma_suivi.compte_changement() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    PERFORM nextval('luma_suivi.changements');
    RETURN NULL;
END $$;
DO $$
DECLARE t record;
BEGIN
    FOR t IN SELECT table_schema, table_name FROM information_schema.tables
             WHERE table_schema IN ('luma', 'cotation', 'membres', 'ecole') AND table_type = 'BASE TABLE'
    LOOP
        EXECUTE format('CREATE OR REPLACE TRIGGER luma_changement AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE '
                       'ON %I.%I FOR EACH STATEMENT EXECUTE FUNCTION luma_suivi.compte_changement()',
                       t.table_schema, t.table_name);
    END LOOP;
END $$;
)sql";

} // namespace

void installeBase(PgConnexion &connexion)
{
    // IF NOT EXISTS does not keep two sessions from racing to create the
    // same object: one at a time.
    enTransaction(connexion, [&] {
        connexion.verrouilleTransaction(kVerrouInstallation, LockWait{}, QStringLiteral("LUMA.MDB"));
        connexion.executeScript(QString::fromUtf8(kInstallation));
        connexion.executeScript(QString::fromUtf8(kSuivi));
    });
}
