#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class ModeleVignettes;

// The drawings of Tux Paint's stamps (the Debian package
// tuxpaint-stamps-default), offered as pictures for the requests: each
// stamp is a PNG or SVG picture in a folder of its category, beside a
// description file of the same name (.txt): an English line, then one line
// per language ("fr.utf8=Un chat.").
class BibliothequeImages
{
public:
    struct Tampon
    {
        QString chemin;      // the picture (SVG rather than PNG when both are there)
        QString description; // in French, or in English when it has no French
    };

    // Where the package puts them.
    static QString dossierSysteme();
    // The package is there: the folder holds something.
    static bool disponible(const QString &dossier = dossierSysteme());

    // Reads the whole folder at once (about 1,000 description files for the
    // package: a few hundredths of a second, more from a cold disk, which is
    // why the dialog does it on a thread). A stamp whose description cannot
    // be read (not a plain file, too large, not text) is left out.
    explicit BibliothequeImages(const QString &dossier = dossierSysteme());

    const QList<Tampon> &tampons() const { return m_tampons; }
    // The stamps whose description holds every word typed, each as the start
    // of one of its words, ignoring case and accents: their indexes in
    // tampons(), in the order of the descriptions. Nothing typed: all.
    QList<int> cherche(const QString &texte) const;

    // The description of a stamp in French from its description file's
    // bytes; empty when the file is not text.
    static QString descriptionFrancaise(const QByteArray &octets);
    // What a thumbnail is labelled with: the description's first sentence,
    // without its full stop ("Le cavalier" for "Le cavalier. La seule
    // pièce…").
    static QString titre(const QString &description);
    // Lower case, without accents, "œ" as "oe": what is compared.
    static QString plie(const QString &texte);

private:
    QList<Tampon> m_tampons; // in the order of the descriptions
    QList<QStringList> m_mots; // folded words of each description
};

// "Bibliothèque d'images": the stamps as a grid of thumbnails with their
// descriptions, a search field above. Accepted with a stamp chosen
// (double click, Enter or "Choisir").
class DialogueBibliothequeImages : public QDialog
{
public:
    explicit DialogueBibliothequeImages(QWidget *parent = nullptr,
                                        const QString &dossier = BibliothequeImages::dossierSysteme());
    ~DialogueBibliothequeImages() override;

    // The chosen stamp's picture and description, once accepted.
    QString chemin() const { return m_chemin; }
    QString description() const { return m_description; }
    // The folder's index, once read (the dialog reads it on a thread; the
    // tests wait for it).
    bool estPret() const;

    void accept() override;

protected:
    // Up, Down, Page Up and Page Down typed in the search field move in the
    // grid.
    bool eventFilter(QObject *objet, QEvent *event) override;

private:
    void installe(std::shared_ptr<const BibliothequeImages> bibliotheque);
    void filtre();
    void montreEtat();

    QLineEdit *m_recherche;
    QListView *m_vue;
    QLabel *m_etat;
    QPushButton *m_choisir;
    ModeleVignettes *m_modele;
    std::shared_ptr<const BibliothequeImages> m_bibliotheque;
    QString m_dossier;
    QString m_chemin;
    QString m_description;
};
