#pragma once

class PgConnexion;

// The folder's four databases in one PostgreSQL database, a schema each:
// luma (the catalogue LUMA.MDB), cotation (COTATION.MDB), membres
// (MEMBRES.MDB), ecole (the school's ALTEMARE.MDB). Text compares as Jet
// compared it, without regard to case but with regard to accents: the
// collation luma.jet ("Loup" = "loup", "é" ≠ "e"), which every text column
// takes. LIKE and ILIKE refuse such a collation: searches in titles and
// keywords write `titre COLLATE "und-x-icu" ILIKE '%loup%'`, which the
// trigram indexes serve; the Jet functions that translated record sources
// call (postgresqlJetFunctions) are written again each time. The tables
// themselves come from the folder's files (migrationpostgresql.h). Creates
// what is missing, touches nothing else that is there: safe to run at every
// start, from any station at once.
void installeBase(PgConnexion &connexion);
// The same inside the caller's transaction, which an import keeps all or
// nothing.
void installeDansTransaction(PgConnexion &connexion);
