#pragma once

#include "platform/lockwait.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The day's journal of the data folder: four lines for each borrow and each
// return, in a file named after the day (yy-mm-dd.JNL), shared by every
// kiosk and read by the management program.

// What a journal entry says of the child and the document.
struct JournalValues
{
    QString matricule, classe, niveau, nomenfant, prénomenfant;
    QString inventaire, titre, éditeur, dateemprunt;
};

// One journal entry, composed: the day's file and its four lines as they
// go to disk (Windows-1252, CR LF).
struct EntreeJournal
{
    QString fichier; // native path of the day's journal
    QByteArray octets;
};

// The name of the day's journal at that moment.
QString nomJournal(const QDateTime &moment);

// Composes an entry of the data folder cheminBase, made at `now`; kind is
// "Emprunt d'un document" or "Restitution d'un document" (compared without
// regard to case).
EntreeJournal composeJournal(const QString &cheminBase, const QDateTime &now, const QString &kind,
                             const JournalValues &values);
// Appends an entry to its journal, under the journal's lock, after what
// is there (after a CR LF when the journal does not end with one).
// Returns whether it was written.
bool ajouteAuJournal(const EntreeJournal &entree, const LockWait &attente);
// The entry of a kiosk that died during a loan, whose journal held
// tailleAvant bytes before it (-1: unknown): a whole copy of it after them
// means it was written already, part of it is its torn entry and is cut
// first, anything else stays and the entry goes after it. Returns whether
// it was written.
bool repriseAuJournal(const EntreeJournal &entree, qint64 tailleAvant, const LockWait &attente);
