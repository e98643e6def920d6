#pragma once

#include "gestion/choiximage.h"
#include "gestion/conditionrequete.h"
#include "gestion/recherchesimages.h"

#include <QDialog>

#include <array>
#include <optional>

class Bibliotheque;
class ChoixSon;
class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QRadioButton;
class QTimer;
class QVBoxLayout;

// The form of a picture request: its title, picture and sound for the
// children, and what it finds, chosen from the subject words, a word, the
// Dewey classes and the lendable books, or typed as Jet SQL in expert mode.
// The head the kiosk will run is shown as it is built, and beside it what the
// kiosk would find: how many documents, and the first ones with their covers.
// "Enregistrer" checks the head as the kiosk runs it and writes the picture,
// the sound and the request file.
class DialogueRequete : public QDialog
{
public:
    // Without a request: a new one.
    DialogueRequete(Bibliotheque &bibliotheque, RecherchesImages &requetes, std::optional<FicheRequete> fiche,
                    QWidget *parent = nullptr);

    // The request as written, once the dialog is accepted.
    const FicheRequete &resultat() const { return m_resultat; }

    ChoixRequete choix() const;
    void setChoix(const ChoixRequete &choix);
    QString tete() const;
    bool expert() const;
    void setExpert(bool expert);
    // Runs the head now rather than after the pause of typing.
    void actualiseApercu();
    // Checks and writes; false (the reason said in a message) when refused.
    bool enregistre();

    QLineEdit *champTitre() const { return m_titre; }
    ChoixImage *choixImage() const { return m_image; }
    ChoixSon *choixSon() const { return m_son; }
    QPlainTextEdit *champTete() const { return m_tete; }
    QLabel *nombreTrouve() const { return m_nombre; }
    QListWidget *motsSujets() const { return m_motsSujets; }

    // The sound of the request for the kiosk, as the sound chooser holds it
    // (tests give their own).
    struct Son
    {
        bool change = false;
        QByteArray wav; // empty: no sound, the kiosk says the title
    };
    std::function<Son()> sonChoisi;

    // The message boxes the dialog shows (tests replace them).
    std::function<void(const QString &)> avertit;

private:
    void changeChoix();
    void montreApercu(const ApercuRequete &apercu);

    Bibliotheque &m_bibliotheque;
    RecherchesImages &m_requetes;
    std::optional<FicheRequete> m_fiche;
    FicheRequete m_resultat;
    ImageEnAttente m_imageEnAttente;
    QStringList m_descripteurs;
    bool m_expert = false;
    bool m_remplit = false;

    QLineEdit *m_titre;
    ChoixImage *m_image;
    ChoixSon *m_son;
    QLineEdit *m_filtreMots;
    QListWidget *m_motsSujets;
    QRadioButton *m_unDesMots;
    QRadioButton *m_tousLesMots;
    QLineEdit *m_mot;
    std::array<QCheckBox *, 10> m_classes{};
    QCheckBox *m_pretables;
    QCheckBox *m_modeExpert;
    QPlainTextEdit *m_tete;
    QLabel *m_nombre;
    QLabel *m_probleme;
    QGridLayout *m_couvertures;
    QTimer *m_attente;
};
