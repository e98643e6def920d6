#include "gestion/dialogueimportlivres.h"

#include "data/database.h"
#include "data/pgbase.h"
#include "folder/baseini.h"
#include "platform/apperror.h"
#include "platform/paths.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFont>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

// Rows of text for a preview; a row may be marked (shown in italics, with a
// tooltip): the numbers the program gives.
class TableauTexte : public QAbstractTableModel
{
public:
    TableauTexte(QStringList entetes, QString bulleMarque, QObject *parent)
        : QAbstractTableModel(parent), m_entetes(std::move(entetes)), m_bulleMarque(std::move(bulleMarque))
    {
    }

    void remplace(QList<QStringList> lignes, QList<bool> marques = {})
    {
        beginResetModel();
        m_lignes = std::move(lignes);
        m_marques = std::move(marques);
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_lignes.size()); }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_entetes.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_lignes.size())
            return {};
        const bool marque = index.column() == 1 && m_marques.value(index.row());
        switch (role) {
        case Qt::DisplayRole:
            return m_lignes[index.row()].value(index.column());
        case Qt::ToolTipRole:
            return marque ? QVariant(m_bulleMarque) : QVariant(m_lignes[index.row()].value(index.column()));
        case Qt::FontRole:
            if (marque) {
                QFont italique;
                italique.setItalic(true);
                return italique;
            }
            return {};
        case Qt::TextAlignmentRole:
            return index.column() == 0 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return m_entetes.value(section);
        return {};
    }

private:
    QStringList m_entetes;
    QString m_bulleMarque;
    QList<QStringList> m_lignes;
    QList<bool> m_marques;
};

namespace {

// A read-only table whose column `large` takes the room left.
QTableView *vue(QAbstractItemModel *modele, const QString &nom, int large)
{
    auto *table = new QTableView;
    table->setObjectName(nom);
    table->setModel(modele);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(large, QHeaderView::Stretch);
    table->setAlternatingRowColors(true);
    return table;
}

// The wait for another program's lock keeps the window painted.
LockWait attentePeinte()
{
    LockWait attente;
    attente.waiting = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
    return attente;
}

struct CurseurAttente
{
    CurseurAttente() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CurseurAttente() { QApplication::restoreOverrideCursor(); }
    CurseurAttente(const CurseurAttente &) = delete;
    CurseurAttente &operator=(const CurseurAttente &) = delete;
};

} // namespace

DialogueImportLivres::DialogueImportLivres(const QString &dossierBase, QWidget *parent)
    : QDialog(parent), m_dossierBase(dossierBase), m_nomFichier(new QLineEdit), m_relire(new QPushButton),
      m_message(new QLabel), m_resume(new QLabel), m_onglets(new QTabWidget),
      m_livres(new TableauTexte({QStringLiteral("Ligne"), QStringLiteral("Numéro"), QStringLiteral("Titre"),
                                 QStringLiteral("Éditeur"), QStringLiteral("Dewey"), QStringLiteral("Mots-clés"),
                                 QStringLiteral("Prêtable")},
                                QStringLiteral("Numéro laissé vide dans le fichier : le prochain numéro libre"),
                                this)),
      m_refus(new TableauTexte({QStringLiteral("Ligne"), QStringLiteral("Raison")}, {}, this)),
      m_ajouter(new QPushButton)
{
    setWindowTitle(QStringLiteral("Ajouter des livres depuis un tableau"));

    auto *explication = new QLabel(QStringLiteral(
        "Choisissez un tableau enregistré au format CSV. Sa première ligne nomme les colonnes : Numéro, Titre, "
        "Éditeur, Dewey, Mots-clés, Prêtable (seul le titre est obligatoire). Un livre sans numéro reçoit le "
        "prochain numéro libre."));
    explication->setWordWrap(true);

    auto *libelle = new QLabel(QStringLiteral("&Fichier :"));
    libelle->setBuddy(m_nomFichier);
    m_nomFichier->setReadOnly(true);
    m_nomFichier->setPlaceholderText(QStringLiteral("Aucun fichier choisi"));
    auto *choisir = new QPushButton(QStringLiteral("&Choisir…"));
    choisir->setObjectName(QStringLiteral("choisir"));
    m_relire->setText(QStringLiteral("&Relire"));
    m_relire->setToolTip(QStringLiteral("Relire le fichier après l'avoir corrigé"));
    m_relire->setEnabled(false);
    auto *ligneFichier = new QGridLayout;
    ligneFichier->addWidget(libelle, 0, 0);
    ligneFichier->addWidget(m_nomFichier, 0, 1);
    ligneFichier->addWidget(choisir, 0, 2);
    ligneFichier->addWidget(m_relire, 0, 3);
    ligneFichier->setColumnStretch(1, 1);

    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setMargin(8);
    m_message->hide();
    m_resume->setObjectName(QStringLiteral("resume"));
    m_resume->setWordWrap(true);

    m_onglets->addTab(vue(m_livres, QStringLiteral("livres"), 2), QStringLiteral("Livres à ajouter"));
    m_onglets->addTab(vue(m_refus, QStringLiteral("refus"), 1), QStringLiteral("Lignes refusées"));

    m_ajouter->setObjectName(QStringLiteral("ajouter"));
    m_ajouter->setEnabled(false);
    auto *boutons = new QDialogButtonBox(QDialogButtonBox::Close);
    boutons->button(QDialogButtonBox::Close)->setText(QStringLiteral("&Fermer"));
    boutons->addButton(m_ajouter, QDialogButtonBox::ActionRole);
    m_ajouter->setDefault(true);

    auto *colonne = new QVBoxLayout(this);
    colonne->addWidget(explication);
    colonne->addLayout(ligneFichier);
    colonne->addWidget(m_message);
    colonne->addWidget(m_resume);
    colonne->addWidget(m_onglets, 1);
    colonne->addWidget(boutons);

    connect(choisir, &QPushButton::clicked, this, [this] { choisitFichier(); });
    connect(m_relire, &QPushButton::clicked, this, [this] { chargeFichier(m_fichier); });
    connect(m_ajouter, &QPushButton::clicked, this, [this] { ajouteLivres(); });
    connect(boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    montre({});
    resize(920, 600);
}

DialogueImportLivres::~DialogueImportLivres() = default;


QString DialogueImportLivres::cheminCatalogue() const
{
    return nativePath(m_dossierBase + QStringLiteral("/LUMA.MDB"));
}

void DialogueImportLivres::choisitFichier()
{
    const QString depart = m_fichier.isEmpty() ? QDir::homePath() : QFileInfo(m_fichier).path();
    const QString chemin = QFileDialog::getOpenFileName(
        this, QStringLiteral("Choisir un tableau de livres"), depart,
        QStringLiteral("Tableaux CSV (*.csv *.CSV *.txt *.TXT);;Tous les fichiers (*)"));
    if (!chemin.isEmpty())
        chargeFichier(chemin);
}

void DialogueImportLivres::chargeFichier(const QString &chemin)
{
    m_fichier = chemin;
    m_nomFichier->setText(QDir::toNativeSeparators(chemin));
    m_relire->setEnabled(true);
    m_message->hide();
    CurseurAttente curseur;
    try {
        // A folder kept on its server: its old files are never read or written.
        if (const auto serveur = serveurDuDossier(m_dossierBase)) {
            montre(ImportLivres::lit(chemin, *serveur));
        } else {
            auto catalogue = Database::open(cheminCatalogue(), Database::Mode::ReadOnly, attentePeinte());
            montre(ImportLivres::lit(chemin, *catalogue));
        }
    } catch (const AppError &erreur) {
        montre({});
        annonce(QStringLiteral("Le fichier n'a pas pu être lu. %1").arg(erreur.description()), true);
    }
}

void DialogueImportLivres::ajouteLivres()
{
    if (m_lecture.livres.isEmpty())
        return;
    AjoutLivres ajout;
    {
        CurseurAttente curseur;
        try {
            if (const auto serveur = serveurDuDossier(m_dossierBase)) {
                ajout = ImportLivres::ajoute(*serveur, m_lecture.livres, attentePeinte());
            } else {
                auto catalogue = Database::open(cheminCatalogue(), Database::Mode::ReadWrite, attentePeinte());
                ajout = ImportLivres::ajoute(*catalogue, m_lecture.livres);
            }
        } catch (const AppError &erreur) {
            annonce(QStringLiteral("Aucun livre n'a été ajouté. %1").arg(erreur.description()), true);
            return;
        }
    }
    if (!ajout.dejaPris.isEmpty()) {
        // Read again: the numbers now taken are refused, the free ones move on.
        chargeFichier(m_fichier);
        annonce(QStringLiteral("Aucun livre n'a été ajouté : un autre poste a donné entre-temps %1 %2. Le fichier "
                               "a été relu ; vérifiez la liste avant d'ajouter.")
                    .arg(ajout.dejaPris.size() > 1 ? QStringLiteral("les numéros") : QStringLiteral("le numéro"),
                         ajout.dejaPris.join(QStringLiteral(", "))),
                true);
        return;
    }
    QStringList attribues;
    for (const LivreImporte &livre : std::as_const(m_lecture.livres)) {
        if (livre.numeroAttribue)
            attribues << livre.inventaire;
    }
    QString compteRendu = ajout.ajoutes > 1 ? QStringLiteral("%1 livres ont été ajoutés au catalogue.").arg(ajout.ajoutes)
                                            : QStringLiteral("Un livre a été ajouté au catalogue.");
    if (attribues.size() == 1)
        compteRendu += QStringLiteral(" Numéro donné par le programme : %1.").arg(attribues.front());
    else if (attribues.size() > 1)
        compteRendu += QStringLiteral(" Numéros donnés par le programme : de %1 à %2.").arg(attribues.front(), attribues.back());
    const int refusees = int(m_lecture.refus.size());
    LectureLivres reste;
    reste.refus = m_lecture.refus;
    montre(reste);
    m_resume->hide();
    if (refusees > 0)
        compteRendu += QStringLiteral(" Les lignes refusées n'ont pas été ajoutées : corrigez-les, puis relisez le fichier.");
    annonce(compteRendu, false);
}

void DialogueImportLivres::montre(const LectureLivres &lecture)
{
    m_lecture = lecture;
    QList<QStringList> livres;
    QList<bool> attribues;
    for (const LivreImporte &l : lecture.livres) {
        livres.append({QString::number(l.ligne), l.inventaire, l.titre, l.editeur, l.dewey, l.motsCles,
                       l.pretable ? QStringLiteral("oui") : QStringLiteral("non")});
        attribues.append(l.numeroAttribue);
    }
    m_livres->remplace(livres, attribues);
    QList<QStringList> refus;
    for (const LigneRefusee &r : lecture.refus)
        refus.append({QString::number(r.ligne), r.raison});
    m_refus->remplace(refus);

    const auto n = lecture.livres.size();
    const auto r = lecture.refus.size();
    m_onglets->setTabText(0, QStringLiteral("Livres à ajouter (%1)").arg(n));
    m_onglets->setTabText(1, QStringLiteral("Lignes refusées (%1)").arg(r));
    m_onglets->setTabIcon(1, r > 0 ? style()->standardIcon(QStyle::SP_MessageBoxWarning) : QIcon());
    m_onglets->setCurrentIndex(n == 0 && r > 0 ? 1 : 0);

    m_ajouter->setText(n > 1    ? QStringLiteral("&Ajouter %1 livres").arg(n)
                       : n == 1 ? QStringLiteral("&Ajouter 1 livre")
                                : QStringLiteral("&Ajouter les livres"));
    m_ajouter->setEnabled(n > 0);

    QString resume;
    if (!m_fichier.isEmpty() && (n > 0 || r > 0)) {
        resume = QStringLiteral("%1 à ajouter, %2.")
                     .arg(n > 1 ? QStringLiteral("%1 livres").arg(n) : QStringLiteral("%1 livre").arg(n),
                          r > 1 ? QStringLiteral("%1 lignes refusées").arg(r) : QStringLiteral("%1 ligne refusée").arg(r));
        const QStringList &ignorees = lecture.colonnesIgnorees;
        if (!ignorees.isEmpty()) {
            QString noms = QStringLiteral("« %1 »").arg(ignorees.mid(0, 8).join(QStringLiteral(" », « ")));
            if (ignorees.size() > 8)
                noms += QStringLiteral(" et %1 autres").arg(ignorees.size() - 8);
            resume += QStringLiteral(" %1 : %2.").arg(ignorees.size() > 1 ? QStringLiteral("Colonnes ignorées")
                                                                          : QStringLiteral("Colonne ignorée"),
                                                      noms);
        }
    }
    m_resume->setText(resume);
    m_resume->setVisible(!resume.isEmpty());
}

void DialogueImportLivres::annonce(const QString &texte, bool erreur)
{
    // An inline message, as desktop programs show one above the content.
    const QColor fond = erreur ? QColor(0xf8, 0xd7, 0xda) : QColor(0xd4, 0xed, 0xda);
    const QColor bord = erreur ? QColor(0xda, 0x44, 0x53) : QColor(0x27, 0xae, 0x60);
    m_message->setStyleSheet(QStringLiteral("QLabel { background: %1; border: 1px solid %2; border-radius: 4px; color: black; }")
                                 .arg(fond.name(), bord.name()));
    m_message->setText(texte);
    m_message->show();
}
