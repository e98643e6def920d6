#include "gestion/dialoguedossier.h"

#include "gestion/conversionaccess.h"
#include "gestion/nouvellebibliotheque.h"
#include "platform/apperror.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const QString kCreation = QStringLiteral(
    "La LUMA peut y créer une nouvelle bibliothèque, vide, avec ce dont le kiosque a besoin : le catalogue des "
    "livres, les mots-clés, les dossiers des sons, des couvertures, des images et des recherches, et le dossier de "
    "l'école ALTEMARE à côté, pour les classes et les enfants.");

QString titre(const EtatDossier &etat)
{
    const QString dossier = QDir::toNativeSeparators(etat.dossier);
    switch (etat.genre) {
    case EtatDossier::Genre::Absent: return QStringLiteral("Le dossier « %1 » n'existe pas.").arg(dossier);
    case EtatDossier::Genre::Vide: return QStringLiteral("Le dossier « %1 » est vide.").arg(dossier);
    case EtatDossier::Genre::Access:
        return QStringLiteral("Le dossier « %1 » contient des bases au format Access.").arg(dossier);
    case EtatDossier::Genre::Bibliotheque: return QStringLiteral("« %1 » est une bibliothèque.").arg(dossier);
    case EtatDossier::Genre::Autre: break;
    }
    return QStringLiteral("Ce dossier ne peut pas être ouvert.");
}

QString explication(const EtatDossier &etat)
{
    switch (etat.genre) {
    case EtatDossier::Genre::Absent:
    case EtatDossier::Genre::Vide: return kCreation;
    case EtatDossier::Genre::Access:
        return QStringLiteral("%1\n\nCe sont les bases du programme pour Windows : pour que le kiosque et ce programme "
                              "les ouvrent, elles doivent être converties, une fois. Les originaux sont gardés, "
                              "inchangés, dans un dossier ACCESS à côté d'elles. Fermez La LUMA sur tous les postes "
                              "avant de convertir.%2")
            .arg(etat.message,
                 conversionDisponible()
                     ? QString()
                     : QStringLiteral("\n\nCe programme a été construit sans la conversion : utilisez la commande "
                                      "luma-import."));
    case EtatDossier::Genre::Bibliotheque: return {};
    case EtatDossier::Genre::Autre: break;
    }
    return etat.message + QStringLiteral("\n\nChoisissez le dossier de la bibliothèque (LALUMA), ou un dossier vide "
                                         "pour en créer une.");
}

} // namespace

DialogueDossier::DialogueDossier(const EtatDossier &etat, QWidget *parent)
    : QDialog(parent), m_boutons(new QDialogButtonBox)
{
    setWindowTitle(QStringLiteral("Dossier de la bibliothèque"));
    auto *icone = new QLabel;
    const bool refuse = etat.genre == EtatDossier::Genre::Autre;
    icone->setPixmap(style()
                         ->standardIcon(refuse ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxQuestion)
                         .pixmap(48, 48));
    icone->setAlignment(Qt::AlignTop);
    auto *entete = new QLabel(QStringLiteral("<b>%1</b>").arg(titre(etat).toHtmlEscaped()));
    entete->setWordWrap(true);
    auto *texte = new QLabel(explication(etat));
    texte->setWordWrap(true);
    texte->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *colonne = new QVBoxLayout;
    colonne->addWidget(entete);
    colonne->addWidget(texte);
    colonne->addStretch();
    auto *haut = new QHBoxLayout;
    haut->addWidget(icone);
    haut->addLayout(colonne, 1);
    auto *tout = new QVBoxLayout(this);
    tout->addLayout(haut);
    tout->addWidget(m_boutons);

    switch (etat.genre) {
    case EtatDossier::Genre::Absent:
    case EtatDossier::Genre::Vide:
        m_creer = ajoute(QStringLiteral("&Créer une nouvelle bibliothèque"), Choix::Creer, true);
        break;
    case EtatDossier::Genre::Access:
        if (conversionDisponible())
            m_convertir = ajoute(QStringLiteral("C&onvertir"), Choix::Convertir, true);
        break;
    case EtatDossier::Genre::Bibliotheque:
    case EtatDossier::Genre::Autre: break;
    }
    m_autre = ajoute(QStringLiteral("C&hoisir un autre dossier…"), Choix::AutreDossier, !m_creer && !m_convertir);
    m_boutons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole);
    connect(m_boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(520);
}

QPushButton *DialogueDossier::ajoute(const QString &texte, Choix choix, bool principal)
{
    QPushButton *bouton = m_boutons->addButton(texte, QDialogButtonBox::AcceptRole);
    bouton->setDefault(principal);
    bouton->setAutoDefault(principal);
    connect(bouton, &QPushButton::clicked, this, [this, choix] {
        m_choix = choix;
        accept();
    });
    return bouton;
}

QPushButton *DialogueDossier::bouton(Choix choix) const
{
    switch (choix) {
    case Choix::Creer: return m_creer;
    case Choix::Convertir: return m_convertir;
    case Choix::AutreDossier: return m_autre;
    case Choix::Aucun: break;
    }
    return nullptr;
}

QString ouvreBibliotheque(const QString &dossierDonne, QWidget *parent)
{
    QString dossier = dossierDonne;
    for (;;) {
        const EtatDossier etat = etatDossier(dossier);
        if (etat.genre == EtatDossier::Genre::Bibliotheque)
            return dossier;
        DialogueDossier dialogue(etat, parent);
        if (dialogue.exec() != QDialog::Accepted)
            return {};
        switch (dialogue.choix()) {
        case DialogueDossier::Choix::Creer:
            try {
                const ResultatCreation fait = creeBibliotheque(dossier);
                QMessageBox::information(parent, QStringLiteral("Nouvelle bibliothèque"), fait.compteRendu());
            } catch (const AppError &erreur) {
                QMessageBox::warning(parent, QStringLiteral("Nouvelle bibliothèque"), erreur.description());
            }
            break;
        case DialogueDossier::Choix::Convertir: convertitAvecProgression(dossier, parent); break;
        case DialogueDossier::Choix::AutreDossier: {
            const QString choisi = QFileDialog::getExistingDirectory(
                parent, QStringLiteral("Dossier de la bibliothèque"), QFileInfo(dossier).absolutePath());
            if (!choisi.isEmpty())
                dossier = choisi;
            break;
        }
        case DialogueDossier::Choix::Aucun: return {};
        }
    }
}
