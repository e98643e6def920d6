#pragma once

#include "folder/requete.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One picture request as the teachers' program lists and edits it.
struct FicheRequete
{
    QString fichier;        // its name in REQUETES ("CHATS.RQT")
    ContenuRequete contenu;
    QByteArray octets;      // the file as read: a change is written only over these bytes
    QString erreur;         // why the file could not be read (contenu is then empty)
};

// The picture requests of a data folder (REQUETES), as the kiosk lists them:
// by file name, so the order is the names' order. Another teachers' program
// may change the same folder: every change is made under one lock
// (EN-COURS\REQUETES.LCK) and only over what the teacher was shown, else
// AppError 3197 (changed meanwhile) or 3167 (gone). A change touches one file
// (a move renames files and nothing else), so every other file stays byte
// for byte as it was. Errors as AppError with French descriptions.
class RecherchesImages
{
public:
    // base: the data folder (native path).
    explicit RecherchesImages(QString base);

    QList<FicheRequete> liste() const;

    // A new request under a free name made from its title, placed last when
    // the requests are numbered ("07-CHATS.RQT").
    FicheRequete ajoute(const ContenuRequete &contenu);
    FicheRequete modifie(const FicheRequete &avant, const ContenuRequete &apres);
    // A copy under a free name, sorted just after the original.
    FicheRequete duplique(const FicheRequete &source);
    // Removes the file, and its picture and sound when no other request uses
    // them (never a button's sound).
    void supprime(const FicheRequete &avant);
    // Removes a former picture and sound of a request (its values before a
    // change) that no request names any more.
    void retireInutilises(const ContenuRequete &ancien);
    // Puts the request at position `de` of `vus` (the list the teacher sees)
    // at position `vers`, by numbering the files' names in the new order
    // ("01-", "02-"…); names already right are left alone.
    void deplace(const QList<FicheRequete> &vus, int de, int vers);

    // The file name (in IMAGES or SONS) where a request's new picture or
    // sound is to be written: its own current file when no other request
    // uses it, else a free name made from the title.
    QString nomImage(const FicheRequete *fiche, const QString &titre) const;
    QString nomSon(const FicheRequete *fiche, const QString &titre) const;

    // Requests whose head searches the word (LIKE '*word*'), and the same
    // heads with the word renamed; returns how many were rewritten.
    int utilisant(const QString &mot) const;
    int renommeMot(const QString &ancien, const QString &nouveau);

    // "DINOSAUR" for "Les dinosaures": capitals without accents, the article
    // dropped, eight characters at most, as the other files of the folder.
    static QString radical(const QString &titre);

private:
    QString dossier(const QString &nom) const;
    QString nomLibre(const QString &sousDossier, const QString &titre, const QString &extension,
                     const QStringList &interdits = {}) const;
    QString nomMedia(const FicheRequete *fiche, const QString &titre, bool image) const;
    void ecrisNouveau(const QString &fichier, const QByteArray &octets);
    void retire(const ContenuRequete &ancien) const;

    QString m_base;
};
