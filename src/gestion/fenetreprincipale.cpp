#include "gestion/fenetreprincipale.h"

#include "gestion/bibliotheque.h"
#include "data/pgbase.h"
#include "platform/datafile.h"
#include "gestion/choiximage.h"
#include "gestion/dialoguelivre.h"
#include "gestion/imagesbmp.h"
#include "gestion/dialogueetiquettes.h"
#include "gestion/dialogueimportlivres.h"
#include "gestion/etiquettes.h"
#include "gestion/fichedeclasse.h"
#include "gestion/pageclasses.h"
#include "gestion/pageenfants.h"
#include "gestion/pagelivres.h"
#include "gestion/pagemotssujets.h"
#include "gestion/pageprets.h"
#include "gestion/pagerequetes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QFileDialog>
#include <QLabel>
#include <QUrl>
#include <QEvent>
#include <QKeySequence>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>

FenetrePrincipale::FenetrePrincipale(Bibliotheque &bibliotheque, QWidget *parent)
    : QMainWindow(parent), m_bibliotheque(bibliotheque), m_sections(new QListWidget), m_pages(new QStackedWidget),
      m_classes(new PageClasses(bibliotheque)), m_enfants(new PageEnfants(bibliotheque)),
      m_livres(new PageLivres(bibliotheque)), m_prets(new PagePrets(bibliotheque)),
      m_mots(new PageMotsSujets(bibliotheque)), m_requetes(new PageRequetes(bibliotheque))
{
    setWindowTitle(QStringLiteral("La LUMA – Gestion"));
    if (const auto serveur = bibliotheque.serveur()) {
        // Where the lists come from: this folder's files are not read.
        const QString service = serveur->serveur().service;
        setWindowTitle(windowTitle() + QStringLiteral(" (sur son serveur)"));
        statusBar()->addPermanentWidget(new QLabel(
            service.isEmpty() ? QStringLiteral("Bibliothèque gardée sur son serveur PostgreSQL")
                              : QStringLiteral("Bibliothèque gardée sur le serveur PostgreSQL « %1 »").arg(service)));
    }
    m_sections->setObjectName(QStringLiteral("sections"));
    m_sections->setMaximumWidth(220);
    QFont grande = m_sections->font();
    grande.setPointSizeF(grande.pointSizeF() * 1.2);
    m_sections->setFont(grande);
    m_sections->setSpacing(4);
    const std::pair<const char *, QWidget *> pages[] = {
        {"Classes", m_classes}, {"Enfants", m_enfants}, {"Livres", m_livres}, {"Prêts", m_prets},
        {"Mots à chercher", m_mots}, {"Recherches en images", m_requetes}};
    for (const auto &[nom, page] : pages) {
        m_sections->addItem(QString::fromUtf8(nom));
        m_pages->addWidget(page);
    }
    auto *separation = new QSplitter;
    separation->addWidget(m_sections);
    separation->addWidget(m_pages);
    separation->setStretchFactor(1, 1);
    separation->setSizes({190, 910});
    setCentralWidget(separation);
    connect(m_sections, &QListWidget::currentRowChanged, this, [this](int rang) {
        m_pages->setCurrentIndex(rang);
        actualise();
    });

    QMenu *fichier = menuBar()->addMenu(QStringLiteral("&Fichier"));
    fichier->addAction(QStringLiteral("&Actualiser"), QKeySequence::Refresh, this, [this] { actualise(); });
    fichier->addAction(QStringLiteral("&Rapport des prêts…"), QKeySequence::Print, this, [this] { m_prets->ecrisRapport(); });
    fichier->addSeparator();
    fichier->addAction(QStringLiteral("&Quitter"), QKeySequence::Quit, this, &QWidget::close);
    QMenu *aller = menuBar()->addMenu(QStringLiteral("&Aller"));
    for (int i = 0; i < m_sections->count(); ++i)
        aller->addAction(m_sections->item(i)->text(), QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)), this,
                         [this, i] { montreSection(i); });

    branchePages();
    statusBar()->showMessage(QDir::toNativeSeparators(bibliotheque.dossiers().base));
    resize(1100, 700);
}


void FenetrePrincipale::branchePages()
{
    // A subject word renamed may be renamed in the requests that search it.
    m_mots->requetesUtilisant = [this](const QString &mot) { return m_requetes->requetes().utilisant(mot); };
    m_mots->renommeDansRequetes = [this](const QString &ancien, const QString &nouveau) {
        return m_requetes->requetes().renommeMot(ancien, nouveau);
    };
    const auto couverture = std::make_shared<ImageEnAttente>();
    m_livres->prepareFormulaire = [this, couverture](DialogueLivre &formulaire) {
        const QString actuelle = fichierCouverture(m_bibliotheque.dossiers().base, formulaire.livre().inventaire);
        formulaire.zoneCouverture()->addWidget(couverture->prepare(ImagesBmp::Sorte::Couverture, actuelle));
    };
    m_livres->formulaireEnregistre = [this, couverture](DialogueLivre &, const FicheLivre &livre) {
        couverture->enregistre(ImagesBmp::Sorte::Couverture,
                               m_bibliotheque.dossiers().base + QStringLiteral("\\LIVRES\\") + livre.inventaire
                                   + QStringLiteral(".BMP"),
                               this);
    };
    const auto photo = std::make_shared<ImageEnAttente>();
    m_enfants->prepareFormulaire = [this, photo](QVBoxLayout *zone, const FicheEnfant &enfant) {
        const QString actuelle =
            enfant.matricule.isEmpty() ? QString() : fichierPhotoEnfant(m_bibliotheque.dossiers().ecole, enfant.matricule);
        zone->addWidget(photo->prepare(ImagesBmp::Sorte::Photo, enfant.rowid < 0 ? QString() : actuelle));
    };
    m_enfants->formulaireEnregistre = [this, photo](const FicheEnfant &enfant) {
        photo->enregistre(ImagesBmp::Sorte::Photo,
                          m_bibliotheque.dossiers().ecole + QStringLiteral("\\") + enfant.matricule + QStringLiteral(".BMP"),
                          this);
    };
    m_classes->montreImage = [this](QVBoxLayout *zone, int numero) {
        auto *choix = new ChoixImage(ImagesBmp::Sorte::Classe);
        choix->setCible(m_bibliotheque.dossiers().ecole
                        + QStringLiteral("\\CLASSE%1.BMP").arg(numero, 2, 10, QLatin1Char('0')));
        zone->addWidget(choix);
        // The kiosk offers a class to the children by its picture alone.
        auto *conseil = new QLabel(QStringLiteral("Sans image, les enfants ne peuvent pas choisir cette classe au kiosque."));
        conseil->setObjectName(QStringLiteral("classeSansImage"));
        conseil->setWordWrap(true);
        zone->addWidget(conseil);
        conseil->setVisible(fichierImageClasse(m_bibliotheque.dossiers().ecole, numero).isEmpty());
        choix->setQuandEnregistree([conseil](const QString &) { conseil->hide(); });
        zone->addStretch(1);
    };

    m_livres->imprimeEtiquettes = [this](const QList<FicheLivre> &choisis) {
        QList<LivreEtiquette> livres;
        for (const FicheLivre &f : choisis)
            livres << LivreEtiquette{f.inventaire, f.titre};
        DialogueEtiquettes(livres, m_bibliotheque.dossiers().base, this).exec();
    };
    m_livres->importeTableur = [this] {
        DialogueImportLivres(m_bibliotheque.dossiers().base, this).exec();
        actualise();
    };
    m_enfants->imprimeFiche = [this](int numero, const QList<FicheEnfant> &enfants) {
        ClasseFiche classe;
        classe.numero = numero;
        for (const FicheClasse &c : m_bibliotheque.classes())
            if (c.numero == numero)
                classe.instituteur = c.instituteur;
        for (const FicheEnfant &e : enfants)
            classe.enfants << EnfantFiche{e.matricule, e.prenom, e.nom};
        const QString nom = QDir::home().filePath(QStringLiteral("classe-%1.pdf").arg(numero, 2, 10, QLatin1Char('0')));
        const QString fichier = QFileDialog::getSaveFileName(this, QStringLiteral("Fiche de la classe %1").arg(numero), nom,
                                                             QStringLiteral("PDF (*.pdf)"));
        if (fichier.isEmpty())
            return;
        try {
            ecrisFicheDeClasse(fichier, classe, m_bibliotheque.dossiers().ecole);
        } catch (const AppError &erreur) {
            QMessageBox::warning(this, QStringLiteral("Fiche de la classe %1").arg(numero), erreur.description());
            return;
        }
        QDesktopServices::openUrl(QUrl::fromLocalFile(fichier));
    };
}

void FenetrePrincipale::montreSection(int section)
{
    m_sections->setCurrentRow(section);
}

void FenetrePrincipale::actualise()
{
    try {
        switch (m_pages->currentIndex()) {
        case 0: m_classes->recharge(); break;
        case 1: m_enfants->recharge(); break;
        case 2: m_livres->recharge(); break;
        case 3: m_prets->recharge(); break;
        case 4: m_mots->recharge(); break;
        case 5: m_requetes->recharge(); break;
        }
    } catch (const AppError &erreur) {
        QMessageBox::warning(this, windowTitle(), erreur.description());
    }
}

void FenetrePrincipale::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !QApplication::activeModalWidget())
        actualise();
}
