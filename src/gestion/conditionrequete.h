#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class BaseServeur;

// The condition of a picture request, as a teacher chooses it: subject words
// (any or all of them), a word of the title or the keywords, Dewey classes,
// lendable books only. A word is searched as the kiosk's word and subject
// word searches search it: in the title or the keywords, case ignored.
struct ChoixRequete
{
    QStringList motsSujets;
    bool tousLesMots = false; // all the subject words, else any of them
    QString mot;
    QList<int> classes;       // 0 to 9
    bool pretablesSeulement = false;
    bool operator==(const ChoixRequete &) const = default;
    bool vide() const { return motsSujets.isEmpty() && mot.trimmed().isEmpty() && classes.isEmpty() && !pretablesSeulement; }
};

// The Jet head the kiosk will run: "SELECT * FROM luma WHERE " and the
// condition, each part in brackets, so that the kiosk's " AND (classes)"
// applies to the whole of it. Empty for no choice.
QString teteDeChoix(const ChoixRequete &choix);

// The choices that give exactly this head, or none (a head written by hand):
// a searched word that is one of `motsSujets` is read as a subject word.
std::optional<ChoixRequete> choixDeTete(const QString &tete, const QStringList &motsSujets);

// What the kiosk would show for a request: the number of documents and the
// first ones (number, title), read with the kiosk's own data cursor on the
// record source its picture requests screen builds, no class chosen.
struct ApercuRequete
{
    long long nombre = 0;
    QList<std::pair<QString, QString>> premiers;
};

// Checks a head as the kiosk will run it, with the same read-only guard and
// translator, and reads what it finds. Throws AppError whose description
// explains in French what is wrong: something else than a reading of every
// field of the catalogue (luma) ending in its condition, an action query, two
// statements, another statement (ATTACH…), a syntax error, an unknown name.
// serveur: the folder's server when the catalogue is there.
ApercuRequete apercuRequete(const QString &tete, const QString &catalogue, int combien,
                            const std::shared_ptr<BaseServeur> &serveur = {});
