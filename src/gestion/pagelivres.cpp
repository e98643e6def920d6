#include "gestion/pagelivres.h"

#include "gestion/dialoguelivre.h"
#include "gestion/outilspage.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

PageLivres::PageLivres(Bibliotheque &bibliotheque, QWidget *parent)
    : QWidget(parent), m_bibliotheque(bibliotheque), m_filtre(new QLineEdit), m_compte(new QLabel),
      m_liste(new QTableView)
{
    m_filtre->setObjectName(QStringLiteral("filtreLivres"));
    m_filtre->setPlaceholderText(QStringLiteral("Chercher un numéro, un titre, un éditeur, un mot clé…"));
    m_filtre->setClearButtonEnabled(true);
    connect(m_filtre, &QLineEdit::textChanged, this, [this](const QString &texte) {
        m_modele.filtre(texte);
        m_compte->setText(QStringLiteral("%1 sur %2").arg(m_modele.rowCount()).arg(m_modele.total()));
    });

    m_liste->setObjectName(QStringLiteral("listeLivres"));
    m_liste->setModel(&m_modele);
    m_liste->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_liste->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_liste->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_liste->setAlternatingRowColors(true);
    m_liste->setWordWrap(false);
    m_liste->verticalHeader()->hide();
    // A fixed height for every line: a list of 100,000 books is laid out at once.
    m_liste->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_liste->verticalHeader()->setDefaultSectionSize(m_liste->fontMetrics().height() + 8);
    m_liste->horizontalHeader()->setSectionResizeMode(ModeleLivres::Titre, QHeaderView::Stretch);
    m_liste->horizontalHeader()->setHighlightSections(false);
    connect(m_liste, &QTableView::doubleClicked, this, [this] { modifie(); });

    auto *haut = new QHBoxLayout;
    haut->addWidget(m_filtre, 1);
    haut->addWidget(m_compte);

    auto *actions = new QHBoxLayout;
    connect(boutonDePage(QStringLiteral("&Ajouter…"), QStringLiteral("ajouterLivre"), actions), &QPushButton::clicked, this,
            [this] { ajoute(); });
    connect(boutonDePage(QStringLiteral("&Modifier…"), QStringLiteral("modifierLivre"), actions), &QPushButton::clicked, this,
            [this] { modifie(); });
    connect(boutonDePage(QStringLiteral("&Supprimer"), QStringLiteral("supprimerLivre"), actions), &QPushButton::clicked, this,
            [this] { supprime(); });
    connect(boutonDePage(QStringLiteral("&Rendu à la main"), QStringLiteral("rendreLivre"), actions), &QPushButton::clicked,
            this, [this] { rends(); });
    actions->addStretch();
    connect(boutonDePage(QStringLiteral("É&tiquettes…"), QStringLiteral("etiquettes"), actions), &QPushButton::clicked, this,
            [this] {
                const QList<FicheLivre> livres = choisis();
                if (livres.isEmpty())
                    QMessageBox::information(this, QStringLiteral("Étiquettes"),
                                             QStringLiteral("Choisissez d'abord les livres dans la liste."));
                else if (imprimeEtiquettes)
                    imprimeEtiquettes(livres);
            });
    connect(boutonDePage(QStringLiteral("&Importer un tableur…"), QStringLiteral("importer"), actions), &QPushButton::clicked,
            this, [this] {
                if (importeTableur)
                    importeTableur();
            });

    auto *suppr = new QAction(this);
    suppr->setShortcut(QKeySequence::Delete);
    suppr->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(suppr, &QAction::triggered, this, [this] { supprime(); });
    m_liste->addAction(suppr);
    auto *nouveau = new QAction(this);
    nouveau->setShortcut(QKeySequence::New);
    nouveau->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(nouveau, &QAction::triggered, this, [this] { ajoute(); });
    addAction(nouveau);

    auto *tout = new QVBoxLayout(this);
    tout->addLayout(haut);
    tout->addWidget(m_liste, 1);
    tout->addLayout(actions);
}

void PageLivres::recharge()
{
    const QList<FicheLivre> choix = choisis();
    QHash<QString, QString> noms;
    for (const FicheEnfant &e : m_bibliotheque.enfants())
        noms.insert(e.matricule.trimmed(), QStringLiteral("%1 %2").arg(e.prenom, e.nom).trimmed());
    m_modele.charge(m_bibliotheque.livres(), noms, couleursDuDossier(m_bibliotheque.dossiers().base));
    m_compte->setText(QStringLiteral("%1 sur %2").arg(m_modele.rowCount()).arg(m_modele.total()));
    m_liste->resizeColumnToContents(ModeleLivres::Numero);
    if (!choix.isEmpty())
        choisit(choix.front().rowid);
}

QList<FicheLivre> PageLivres::choisis() const
{
    QList<FicheLivre> livres;
    if (!m_liste->selectionModel())
        return livres;
    const QModelIndexList lignes = m_liste->selectionModel()->selectedRows();
    for (const QModelIndex &index : lignes)
        livres << m_modele.livre(index.row());
    std::sort(livres.begin(), livres.end(), [](const auto &a, const auto &b) { return a.inventaire < b.inventaire; });
    return livres;
}

void PageLivres::choisit(qint64 rowid)
{
    const int ligne = m_modele.ligneDe(rowid);
    if (ligne < 0)
        return;
    m_liste->selectRow(ligne);
    m_liste->scrollTo(m_modele.index(ligne, 0));
}

bool PageLivres::confirme(const QString &question)
{
    return QMessageBox::question(this, QStringLiteral("La LUMA – Gestion"), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
           == QMessageBox::Yes;
}

void PageLivres::ajoute()
{
    FicheLivre nouveau;
    try {
        nouveau.inventaire = m_bibliotheque.prochainInventaire();
    } catch (const AppError &erreur) {
        QMessageBox::warning(this, QStringLiteral("Nouveau livre"), erreur.description());
    }
    nouveau.emprunt = QStringLiteral("O");
    DialogueLivre formulaire(nouveau, m_bibliotheque.descripteurs(), couleursDuDossier(m_bibliotheque.dossiers().base),
                             [this](const FicheLivre &f) { return m_bibliotheque.ajouteLivre(f); }, this);
    if (prepareFormulaire)
        prepareFormulaire(formulaire);
    if (formulaire.exec() != QDialog::Accepted)
        return;
    if (formulaireEnregistre)
        formulaireEnregistre(formulaire, formulaire.livre());
    m_filtre->clear();
    recharge();
    choisit(formulaire.livre().rowid);
}

void PageLivres::modifie()
{
    const QList<FicheLivre> livres = choisis();
    if (livres.size() != 1)
        return;
    DialogueLivre formulaire(livres.front(), m_bibliotheque.descripteurs(),
                             couleursDuDossier(m_bibliotheque.dossiers().base),
                             [this, avant = livres.front()](const FicheLivre &f) { return m_bibliotheque.modifieLivre(avant, f); },
                             this);
    if (prepareFormulaire)
        prepareFormulaire(formulaire);
    const int fin = formulaire.exec();
    if (fin == QDialog::Accepted) {
        if (formulaireEnregistre)
            formulaireEnregistre(formulaire, formulaire.livre());
        const FicheLivre &avant = livres.front(), &apres = formulaire.livre();
        if (apres.emprunte != avant.emprunte || apres.emprunteur != avant.emprunteur)
            QMessageBox::information(this, QStringLiteral("Livre %1").arg(apres.inventaire),
                                     apres.sorti() ? QStringLiteral("Un enfant a emprunté ce livre pendant que vous le "
                                                                    "modifiiez : vos changements sont enregistrés, le "
                                                                    "prêt aussi.")
                                                   : QStringLiteral("Ce livre a été rendu pendant que vous le modifiiez : "
                                                                    "vos changements sont enregistrés, le retour aussi."));
    }
    // Read again whatever the answer: a refusal said another station changed it.
    recharge();
    choisit(livres.front().rowid);
}

void PageLivres::supprime()
{
    const QList<FicheLivre> livres = choisis();
    if (livres.size() != 1)
        return;
    const FicheLivre &f = livres.front();
    if (!confirme(QStringLiteral("Supprimer « %1 » (%2) du catalogue ?").arg(f.titre, f.inventaire)))
        return;
    try {
        m_bibliotheque.supprimeLivre(f);
    } catch (const AppError &erreur) {
        QMessageBox::warning(this, QStringLiteral("Supprimer un livre"), erreur.description());
    }
    recharge();
}

void PageLivres::rends()
{
    const QList<FicheLivre> livres = choisis();
    if (livres.size() != 1)
        return;
    const FicheLivre &f = livres.front();
    if (!f.sorti()) {
        QMessageBox::information(this, QStringLiteral("Rendu à la main"), QStringLiteral("« %1 » n'est pas emprunté.").arg(f.titre));
        return;
    }
    if (!confirme(QStringLiteral("« %1 » est emprunté par %2. L'enregistrer comme rendu ?").arg(f.titre, m_modele.emprunteur(f))))
        return;
    try {
        m_bibliotheque.rendsLivre(f);
    } catch (const AppError &erreur) {
        QMessageBox::warning(this, QStringLiteral("Rendu à la main"), erreur.description());
    }
    recharge();
    choisit(f.rowid);
}
