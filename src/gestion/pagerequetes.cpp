#include "gestion/pagerequetes.h"

#include "gestion/bibliotheque.h"
#include "gestion/dialoguerequete.h"
#include "gestion/outilspage.h"
#include "platform/apperror.h"
#include "platform/paths.h"
#include "platform/picture.h"

#include <QAction>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int kParPage = 18; // as the kiosk's picture requests screen
const QSize kImage(136, 100); // the kiosk's slot, 1365 x 1005 twips


} // namespace

PageRequetes::PageRequetes(Bibliotheque &bibliotheque, QWidget *parent)
    : QWidget(parent), m_bibliotheque(bibliotheque), m_requetes(bibliotheque.dossiers().base), m_liste(new QListWidget),
      m_titrePage(new QLabel), m_avant(new QPushButton(QStringLiteral("◀ Page précédente"))),
      m_apres(new QPushButton(QStringLiteral("Page suivante ▶")))
{
    ouvreFormulaire = [](DialogueRequete &formulaire) { return formulaire.exec() == QDialog::Accepted; };
    auto *colonne = new QVBoxLayout(this);
    auto *entete = new QHBoxLayout;
    QFont grand = m_titrePage->font();
    grand.setPointSizeF(grand.pointSizeF() * 1.2);
    grand.setBold(true);
    m_titrePage->setFont(grand);
    entete->addWidget(m_titrePage, 1);
    m_avant->setObjectName(QStringLiteral("pagePrecedente"));
    m_apres->setObjectName(QStringLiteral("pageSuivante"));
    entete->addWidget(m_avant);
    entete->addWidget(m_apres);
    colonne->addLayout(entete);

    m_liste->setObjectName(QStringLiteral("requetes"));
    m_liste->setViewMode(QListView::IconMode);
    m_liste->setIconSize(kImage);
    m_liste->setGridSize(QSize(kImage.width() + 24, kImage.height() + 62));
    m_liste->setMovement(QListView::Static);
    m_liste->setResizeMode(QListView::Adjust);
    m_liste->setWordWrap(true);
    m_liste->setUniformItemSizes(true);
    m_liste->setSelectionMode(QAbstractItemView::SingleSelection);
    m_liste->viewport()->installEventFilter(this);
    colonne->addWidget(m_liste, 1);

    auto *actions = new QHBoxLayout;
    connect(boutonDePage(QStringLiteral("&Ajouter…"), QStringLiteral("ajouterRequete"), actions), &QPushButton::clicked, this,
            [this] { ajoute(); });
    connect(boutonDePage(QStringLiteral("&Modifier…"), QStringLiteral("modifierRequete"), actions), &QPushButton::clicked, this,
            [this] { modifie(); });
    connect(boutonDePage(QStringLiteral("&Dupliquer"), QStringLiteral("dupliquerRequete"), actions), &QPushButton::clicked,
            this, [this] { duplique(); });
    connect(boutonDePage(QStringLiteral("&Supprimer"), QStringLiteral("supprimerRequete"), actions), &QPushButton::clicked,
            this, [this] { supprime(); });
    actions->addSpacing(24);
    QPushButton *avancer = boutonDePage(QStringLiteral("◀ A&vancer"), QStringLiteral("avancerRequete"), actions);
    avancer->setToolTip(QStringLiteral("Montrer cette recherche plus tôt au kiosque (Ctrl+Gauche)"));
    connect(avancer, &QPushButton::clicked, this, [this] { deplace(-1); });
    QPushButton *reculer = boutonDePage(QStringLiteral("&Reculer ▶"), QStringLiteral("reculerRequete"), actions);
    reculer->setToolTip(QStringLiteral("Montrer cette recherche plus tard au kiosque (Ctrl+Droite)"));
    connect(reculer, &QPushButton::clicked, this, [this] { deplace(1); });
    actions->addStretch(1);
    colonne->addLayout(actions);

    raccourciDePage(this, QKeySequence::New, [this] { ajoute(); });
    raccourciDePage(this, QKeySequence(Qt::Key_Insert), [this] { ajoute(); });
    raccourciDePage(this, QKeySequence::Delete, [this] { supprime(); });
    raccourciDePage(this, QKeySequence(Qt::CTRL | Qt::Key_D), [this] { duplique(); });
    raccourciDePage(this, QKeySequence(Qt::CTRL | Qt::Key_Left), [this] { deplace(-1); });
    raccourciDePage(this, QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { deplace(1); });
    raccourciDePage(this, QKeySequence(Qt::Key_PageUp), [this] { montrePage(m_page - 1); });
    raccourciDePage(this, QKeySequence(Qt::Key_PageDown), [this] { montrePage(m_page + 1); });
    connect(m_liste, &QListWidget::itemActivated, this, [this] { modifie(); });
    connect(m_avant, &QPushButton::clicked, this, [this] { montrePage(m_page - 1); });
    connect(m_apres, &QPushButton::clicked, this, [this] { montrePage(m_page + 1); });
}

bool PageRequetes::eventFilter(QObject *objet, QEvent *event)
{
    if (objet != m_liste->viewport() || event->type() != QEvent::Resize)
        return QWidget::eventFilter(objet, event);
    // Six to a row, as the kiosk shows them.
    const int largeur = std::max(90, (m_liste->viewport()->width() - 24) / 6);
    const int image = std::min(kImage.width(), largeur - 14);
    m_liste->setIconSize(QSize(image, image * kImage.height() / kImage.width()));
    m_liste->setGridSize(QSize(largeur, m_liste->iconSize().height() + 44));
    return QWidget::eventFilter(objet, event);
}

int PageRequetes::pages() const
{
    return std::max(1, int((m_fiches.size() + kParPage - 1) / kParPage));
}

void PageRequetes::recharge()
{
    const int avant = choisie();
    try {
        m_fiches = m_requetes.liste();
    } catch (const AppError &erreur) {
        m_fiches.clear();
        signale(erreur.description());
    }
    montrePage(std::clamp(m_page, 1, pages()));
    if (avant >= 0)
        choisis(std::min(avant, int(m_fiches.size()) - 1));
}

void PageRequetes::montrePage(int page)
{
    if (page < 1 || page > pages())
        return;
    m_page = page;
    m_liste->clear();
    const QString base = m_bibliotheque.dossiers().base;
    const int premiere = (page - 1) * kParPage;
    for (int n = premiere; n < std::min(premiere + kParPage, int(m_fiches.size())); ++n) {
        const FicheRequete &fiche = m_fiches[n];
        // The slot as the kiosk draws it: the picture stretched over it.
        QPixmap vignette(kImage);
        vignette.fill(Qt::white);
        const QString &image = fiche.contenu.image;
        if (!image.isEmpty() && image.compare(QStringLiteral(".BMP"), Qt::CaseInsensitive) != 0 && isSafeFileName(image)) {
            const QString chemin = presentFilePath(QDir::toNativeSeparators(base + QStringLiteral("/IMAGES/") + image));
            const QImage lue = chemin.isEmpty() ? QImage() : Picture::readThumbnail(chemin, kImage * 2);
            if (!lue.isNull()) {
                QPainter peintre(&vignette);
                peintre.setRenderHint(QPainter::SmoothPixmapTransform);
                peintre.drawImage(QRect(QPoint(), kImage), lue);
            }
        }
        auto *element = new QListWidgetItem(QIcon(vignette), fiche.contenu.titre + u'\n' + fiche.fichier, m_liste);
        element->setData(Qt::UserRole, n);
        if (!fiche.erreur.isEmpty()) {
            // The warning on a slot of the same size, so that the grid keeps its cells.
            QPainter peintre(&vignette);
            const int cote = kImage.height() / 2;
            style()->standardIcon(QStyle::SP_MessageBoxWarning)
                .paint(&peintre, QRect((kImage.width() - cote) / 2, (kImage.height() - cote) / 2, cote, cote));
            peintre.end();
            element->setIcon(QIcon(vignette));
            element->setText(QStringLiteral("Illisible\n") + fiche.fichier);
            element->setToolTip(fiche.erreur);
        } else {
            element->setToolTip(fiche.contenu.tete);
        }
    }
    m_titrePage->setText(m_fiches.isEmpty()
                             ? QStringLiteral("Aucune recherche en images : « Ajouter… » en crée une.")
                             : QStringLiteral("Page %1 sur %2 du kiosque").arg(page).arg(pages()));
    m_avant->setEnabled(page > 1);
    m_apres->setEnabled(page < pages());
}

int PageRequetes::choisie() const
{
    const QListWidgetItem *element = m_liste->currentItem();
    return element && element->isSelected() ? element->data(Qt::UserRole).toInt() : -1;
}

void PageRequetes::choisis(int position)
{
    if (position < 0 || position >= m_fiches.size())
        return;
    montrePage(position / kParPage + 1);
    m_liste->setCurrentRow(position % kParPage);
}

void PageRequetes::signale(const QString &message)
{
    QMessageBox::warning(this, QStringLiteral("Recherches en images"), message);
}

void PageRequetes::ajoute()
{
    DialogueRequete formulaire(m_bibliotheque, m_requetes, std::nullopt, this);
    if (prepareFormulaire)
        prepareFormulaire(formulaire);
    if (!ouvreFormulaire(formulaire))
        return;
    recharge();
    for (int n = 0; n < m_fiches.size(); ++n)
        if (m_fiches[n].fichier == formulaire.resultat().fichier)
            choisis(n);
}

void PageRequetes::modifie()
{
    const int n = choisie();
    if (n < 0)
        return;
    if (!m_fiches[n].erreur.isEmpty()) {
        signale(QStringLiteral("La recherche « %1 » ne peut pas être lue : %2").arg(m_fiches[n].fichier, m_fiches[n].erreur));
        return;
    }
    DialogueRequete formulaire(m_bibliotheque, m_requetes, m_fiches[n], this);
    if (prepareFormulaire)
        prepareFormulaire(formulaire);
    if (ouvreFormulaire(formulaire))
        recharge();
}

void PageRequetes::duplique()
{
    const int n = choisie();
    if (n < 0 || !m_fiches[n].erreur.isEmpty())
        return;
    try {
        const FicheRequete copie = m_requetes.duplique(m_fiches[n]);
        recharge();
        for (int i = 0; i < m_fiches.size(); ++i)
            if (m_fiches[i].fichier == copie.fichier)
                choisis(i);
    } catch (const AppError &erreur) {
        signale(erreur.description());
    }
}

void PageRequetes::supprime()
{
    const int n = choisie();
    if (n < 0)
        return;
    const FicheRequete fiche = m_fiches[n];
    const QString nom = fiche.contenu.titre.isEmpty() ? fiche.fichier : fiche.contenu.titre;
    if (QMessageBox::question(this, QStringLiteral("Recherches en images"),
                              QStringLiteral("Supprimer la recherche « %1 » ? Les enfants ne la verront plus.").arg(nom),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    try {
        m_requetes.supprime(fiche);
    } catch (const AppError &erreur) {
        signale(erreur.description());
    }
    recharge();
}

void PageRequetes::deplace(int decalage)
{
    const int n = choisie();
    const int cible = n + decalage;
    if (n < 0 || cible < 0 || cible >= m_fiches.size())
        return;
    try {
        m_requetes.deplace(m_fiches, n, cible);
    } catch (const AppError &erreur) {
        signale(erreur.description());
        recharge();
        return;
    }
    recharge();
    choisis(cible);
}
