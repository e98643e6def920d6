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
-- The catalogue's indexes, once the move has made it (with its key column),
-- on its columns however the file spells them: the catalogue in inventory
-- order as the cursors ask for it (the key breaks ties; read from the index
-- rather than sorted, a million rows take a tenth of the time), a book by
-- its number, a borrower's books, and words anywhere in titles and keywords
-- (trigrams, under the collation the translated LIKE uses).
DO $$
DECLARE
    catalogue text;
    colonne text;
    index record;
BEGIN
    SELECT table_name INTO catalogue FROM information_schema.tables
    WHERE table_schema = 'luma' AND lower(table_name) = 'luma' AND table_type = 'BASE TABLE' LIMIT 1;
    IF catalogue IS NULL OR NOT EXISTS (SELECT 1 FROM information_schema.columns WHERE table_schema = 'luma'
                                        AND table_name = catalogue AND column_name = 'luma_cle') THEN
        RETURN;
    END IF;
    FOR index IN SELECT * FROM (VALUES
            ('inventaire', 'luma_inventaire', '(%I NULLS FIRST, luma_cle)'),
            ('emprunteur', 'luma_emprunteur', '(%I)'),
            ('titre', 'luma_titre_trgm', 'USING gin (%I COLLATE "und-x-icu" gin_trgm_ops)'),
            ('motsclés', 'luma_motscles_trgm', 'USING gin (%I COLLATE "und-x-icu" gin_trgm_ops)')) AS i(nom, index, forme)
    LOOP
        SELECT column_name INTO colonne FROM information_schema.columns
        WHERE table_schema = 'luma' AND table_name = catalogue AND lower(column_name) = index.nom LIMIT 1;
        IF colonne IS NOT NULL THEN
            EXECUTE format('CREATE INDEX IF NOT EXISTS %I ON luma.%I ', index.index, catalogue)
                    || format(index.forme, colonne);
        END IF;
    END LOOP;
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

void installeDansTransaction(PgConnexion &connexion)
{
    // IF NOT EXISTS (and OR REPLACE) does not keep two sessions from racing
    // to create the same object: one at a time.
    connexion.verrouilleTransaction(kVerrouInstallation, LockWait{}, QStringLiteral("LUMA.MDB"));
    connexion.executeScript(QString::fromUtf8(kInstallation));
    for (const QString &fonction : postgresqlJetFunctions())
        connexion.executeScript(fonction);
    connexion.executeScript(QString::fromUtf8(kSuivi));
}

void installeBase(PgConnexion &connexion)
{
    enTransaction(connexion, [&] { installeDansTransaction(connexion); });
}
