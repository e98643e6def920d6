#include "gestion/pagemotssujets.h"

#include "gestion/modelelivres.h"
#include "gestion/outilspage.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {

enum Colonne { Mot, Livres };
constexpr int kCle = Qt::UserRole;         // sort key
constexpr int kPlie = Qt::UserRole + 1;    // filter key
constexpr int kRang = Qt::UserRole + 2;    // index in m_mots

QString livres(int n)
{
    return n == 1 ? QStringLiteral("1 livre") : QStringLiteral("%1 livres").arg(n);
}

} // namespace

PageMotsSujets::PageMotsSujets(Bibliotheque &bibliotheque, QWidget *parent)
    : QWidget(parent), m_bibliotheque(bibliotheque), m_filtre(new QLineEdit), m_compte(new QLabel),
      m_liste(new QTableView), m_message(new QLabel)
{
    auto *explication = new QLabel(QStringLiteral("Les mots que les enfants choisissent au kiosque pour chercher un livre "
                                                  "par son sujet. Le kiosque trouve les livres dont le titre ou les "
                                                  "mots-clés contiennent le mot."));
    explication->setWordWrap(true);

    m_filtre->setObjectName(QStringLiteral("filtreMots"));
    m_filtre->setPlaceholderText(QStringLiteral("Chercher un mot…"));
    m_filtre->setClearButtonEnabled(true);
    m_modele.setHorizontalHeaderLabels({QStringLiteral("Mot"), QStringLiteral("Livres trouvés")});
    m_tri.setSourceModel(&m_modele);
    m_tri.setSortRole(kCle);
    m_tri.setFilterRole(kPlie);
    m_tri.setFilterKeyColumn(Mot);
    connect(m_filtre, &QLineEdit::textChanged, this, [this](const QString &texte) {
        m_tri.setFilterFixedString(ModeleLivres::plie(texte.trimmed()));
        compte();
    });

    m_liste->setObjectName(QStringLiteral("listeMots"));
    m_liste->setModel(&m_tri);
    m_liste->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_liste->setSelectionMode(QAbstractItemView::SingleSelection);
    m_liste->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_liste->setAlternatingRowColors(true);
    m_liste->setSortingEnabled(true);
    m_liste->sortByColumn(Mot, Qt::AscendingOrder);
    m_liste->verticalHeader()->hide();
    m_liste->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_liste->verticalHeader()->setDefaultSectionSize(m_liste->fontMetrics().height() + 8);
    m_liste->horizontalHeader()->setSectionResizeMode(Mot, QHeaderView::Stretch);
    m_liste->horizontalHeader()->setHighlightSections(false);
    connect(m_liste, &QTableView::doubleClicked, this, [this] { renomme(); });

    auto *haut = new QHBoxLayout;
    haut->addWidget(m_filtre, 1);
    haut->addWidget(m_compte);

    auto *actions = new QHBoxLayout;
    connect(boutonDePage(QStringLiteral("&Ajouter…"), QStringLiteral("ajouterMot"), actions, QStringLiteral("Inser")),
            &QPushButton::clicked, this, [this] { ajoute(); });
    connect(boutonDePage(QStringLiteral("&Renommer…"), QStringLiteral("renommerMot"), actions, QStringLiteral("F2")),
            &QPushButton::clicked, this, [this] { renomme(); });
    connect(boutonDePage(QStringLiteral("&Supprimer"), QStringLiteral("supprimerMot"), actions, QStringLiteral("Suppr")),
            &QPushButton::clicked, this, [this] { supprime(); });
    actions->addStretch();
    raccourciDePage(this, QKeySequence(Qt::Key_Insert), [this] { ajoute(); });
    raccourciDePage(this, QKeySequence(Qt::Key_F2), [this] { renomme(); });
    // On the list only: in the filter box the key deletes a letter.
    raccourciDePage(m_liste, QKeySequence::Delete, [this] { supprime(); });

    m_message->setObjectName(QStringLiteral("messageMots"));
    m_message->setWordWrap(true);

    auto *tout = new QVBoxLayout(this);
    tout->addWidget(explication);
    tout->addLayout(haut);
    tout->addWidget(m_liste, 1);
    tout->addLayout(actions);
    tout->addWidget(m_message);
}

void PageMotsSujets::compte()
{
    const int total = int(m_mots.size());
    m_compte->setText(m_tri.rowCount() == total ? QStringLiteral("%1 mots").arg(total)
                                                : QStringLiteral("%1 sur %2").arg(m_tri.rowCount()).arg(total));
}

void PageMotsSujets::recharge()
{
    const std::optional<MotSujet> avant = choisi();
    m_mots = m_bibliotheque.motsSujets();
    m_modele.removeRows(0, m_modele.rowCount());
    for (int i = 0; i < m_mots.size(); ++i) {
        const MotSujet &m = m_mots[i];
        auto *mot = new QStandardItem(m.mot);
        mot->setData(i, kCle); // in the library's French order
        mot->setData(ModeleLivres::plie(m.mot), kPlie);
        mot->setData(i, kRang);
        auto *nombre = new QStandardItem(m.livres < 0 ? QStringLiteral("—") : QString::number(m.livres));
        nombre->setData(m.livres, kCle);
        nombre->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (m.livres <= 0)
            nombre->setForeground(QColor(180, 0, 0));
        if (m.livres < 0)
            nombre->setToolTip(QStringLiteral("La recherche du kiosque ne peut pas utiliser ce mot."));
        m_modele.appendRow({mot, nombre});
    }
    m_liste->resizeColumnToContents(Livres);
    compte();
    if (avant)
        choisit(avant->mot);
}

std::optional<MotSujet> PageMotsSujets::choisi() const
{
    if (!m_liste->selectionModel())
        return std::nullopt;
    const QModelIndexList lignes = m_liste->selectionModel()->selectedRows(Mot);
    if (lignes.isEmpty())
        return std::nullopt;
    const int rang = lignes.front().data(kRang).toInt();
    if (rang < 0 || rang >= m_mots.size())
        return std::nullopt;
    return m_mots[rang];
}

void PageMotsSujets::choisit(const QString &mot)
{
    for (int pass = 0; pass < 2; ++pass) {
        for (int ligne = 0; ligne < m_tri.rowCount(); ++ligne) {
            const QModelIndex index = m_tri.index(ligne, Mot);
            if (index.data(Qt::DisplayRole).toString() == mot) {
                m_liste->selectRow(ligne);
                m_liste->scrollTo(index);
                return;
            }
        }
        if (m_filtre->text().isEmpty())
            return;
        m_filtre->clear();
    }
}

bool PageMotsSujets::confirme(const QString &titre, const QString &question)
{
    return QMessageBox::question(this, titre, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

void PageMotsSujets::ajoute()
{
    bool ok = false;
    const QString titre = QStringLiteral("Nouveau mot");
    const QString mot = QInputDialog::getText(this, titre, QStringLiteral("Le mot que les enfants pourront choisir :"),
                                              QLineEdit::Normal, m_filtre->text().trimmed(), &ok);
    if (!ok)
        return;
    try {
        const MotSujet nouveau = m_bibliotheque.ajouteMotSujet(mot);
        m_filtre->clear();
        recharge();
        choisit(nouveau.mot);
        m_message->setText(QStringLiteral("« %1 » est ajouté.").arg(nouveau.mot));
    } catch (const AppError &erreur) {
        QMessageBox::warning(this, titre, erreur.description());
    }
}

void PageMotsSujets::renomme()
{
    const std::optional<MotSujet> avant = choisi();
    if (!avant)
        return;
    const QString titre = QStringLiteral("Renommer « %1 »").arg(avant->mot);
    bool ok = false;
    const QString nouveau =
        QInputDialog::getText(this, titre, QStringLiteral("Le nouveau mot :"), QLineEdit::Normal, avant->mot, &ok).trimmed();
    if (!ok || nouveau == avant->mot)
        return;
    try {
        // Asked before anything is written, so that "Annuler" changes nothing.
        const int nLivres = m_bibliotheque.livresAvecMotCle(avant->mot);
        const int nRequetes = requetesUtilisant ? requetesUtilisant(avant->mot) : 0;
        QStringList ou;
        if (nLivres > 0)
            ou << QStringLiteral("dans les mots-clés %1").arg(nLivres == 1 ? QStringLiteral("du livre qui le contient")
                                                                          : QStringLiteral("des %1 livres qui le contiennent").arg(nLivres));
        if (nRequetes > 0)
            ou << (nRequetes == 1 ? QStringLiteral("dans la recherche en images qui l'utilise")
                                  : QStringLiteral("dans les %1 recherches en images qui l'utilisent").arg(nRequetes));
        bool partout = false;
        if (!ou.isEmpty()) {
            QMessageBox question(QMessageBox::Question, titre,
                                 QStringLiteral("Changer aussi « %1 » en « %2 » %3 ?")
                                     .arg(avant->mot, nouveau, ou.join(QStringLiteral(" et "))),
                                 QMessageBox::NoButton, this);
            QPushButton *oui = question.addButton(QStringLiteral("&Changer partout"), QMessageBox::YesRole);
            QPushButton *liste = question.addButton(QStringLiteral("Dans la &liste seulement"), QMessageBox::NoRole);
            question.addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
            question.setDefaultButton(oui);
            question.exec();
            if (question.clickedButton() != oui && question.clickedButton() != liste)
                return;
            partout = question.clickedButton() == oui;
        }
        m_bibliotheque.renommeMotSujet(*avant, nouveau);
        QString fait = QStringLiteral("« %1 » est devenu « %2 »").arg(avant->mot, nouveau);
        if (partout) {
            if (nLivres > 0)
                fait += QStringLiteral(" ; mots-clés changés dans %1").arg(livres(m_bibliotheque.remplaceMotCle(avant->mot, nouveau)));
            if (nRequetes > 0 && renommeDansRequetes) {
                const int n = renommeDansRequetes(avant->mot, nouveau);
                fait += n == 1 ? QStringLiteral(" ; 1 recherche en images changée") : QStringLiteral(" ; %1 recherches en images changées").arg(n);
            }
        }
        m_message->setText(fait + u'.');
    } catch (const AppError &erreur) {
        QMessageBox::warning(this, titre, erreur.description());
        // Read again: a refusal may say another station changed the list.
        recharge();
        return;
    }
    recharge();
    choisit(nouveau);
}

void PageMotsSujets::supprime()
{
    const std::optional<MotSujet> mot = choisi();
    if (!mot)
        return;
    const QString titre = QStringLiteral("Supprimer « %1 »").arg(mot->mot);
    const QString trouves =
        mot->livres > 0 ? QStringLiteral("Le kiosque trouve avec lui %1 ; ces livres restent au catalogue, mais les "
                                         "enfants ne pourront plus les chercher par ce mot.")
                              .arg(livres(mot->livres))
                        : QStringLiteral("Le kiosque ne trouve aucun livre avec lui.");
    if (!confirme(titre, QStringLiteral("Retirer « %1 » de la liste des mots du kiosque ?\n\n%2").arg(mot->mot, trouves)))
        return;
    try {
        m_bibliotheque.supprimeMotSujet(*mot);
        m_message->setText(QStringLiteral("« %1 » est retiré de la liste.").arg(mot->mot));
    } catch (const AppError &erreur) {
        QMessageBox::warning(this, titre, erreur.description());
    }
    recharge();
}
