#include "gestion/dialoguerequete.h"

#include "folder/couleurs.h"
#include "folder/dossiers.h"
#include "gestion/bibliotheque.h"
#include "gestion/choixson.h"
#include "platform/apperror.h"
#include "platform/durablefile.h"
#include "platform/paths.h"
#include "platform/picture.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr ImagesBmp::Sorte kSorteImage = ImagesBmp::Sorte::Requete;
constexpr int kCouvertures = 8;

const char *const kClasses[10] = {"0 Généralités",  "1 Philosophie, psychologie", "2 Religions",
                                  "3 Société",      "4 Langues",                  "5 Sciences, nature",
                                  "6 Techniques",   "7 Arts, loisirs, sports",    "8 Littérature, contes",
                                  "9 Histoire, géographie"};

QPixmap pastille(const QColor &couleur)
{
    QPixmap p(14, 14);
    p.fill(Qt::transparent);
    QPainter peintre(&p);
    peintre.setPen(Qt::black);
    peintre.setBrush(couleur);
    peintre.drawRect(0, 0, 13, 13);
    return p;
}

} // namespace

DialogueRequete::DialogueRequete(Bibliotheque &bibliotheque, RecherchesImages &requetes,
                                 std::optional<FicheRequete> fiche, QWidget *parent)
    : QDialog(parent), m_bibliotheque(bibliotheque), m_requetes(requetes), m_fiche(std::move(fiche)),
      m_titre(new QLineEdit), m_son(new ChoixSon), m_filtreMots(new QLineEdit), m_motsSujets(new QListWidget),
      m_unDesMots(new QRadioButton(QStringLiteral("l'un de ces mots"))),
      m_tousLesMots(new QRadioButton(QStringLiteral("tous ces mots"))), m_mot(new QLineEdit),
      m_pretables(new QCheckBox(QStringLiteral("Seulement les livres que l'on peut emprunter"))),
      m_modeExpert(new QCheckBox(QStringLiteral("Écrire la requête moi-même (mode expert)"))), m_tete(new QPlainTextEdit),
      m_nombre(new QLabel), m_probleme(new QLabel), m_couvertures(new QGridLayout), m_attente(new QTimer(this))
{
    setWindowTitle(m_fiche ? QStringLiteral("Recherche en images « %1 »").arg(m_fiche->contenu.titre)
                           : QStringLiteral("Nouvelle recherche en images"));
    avertit = [this](const QString &texte) { QMessageBox::warning(this, windowTitle(), texte); };
    const QString base = bibliotheque.dossiers().base;

    // For the children: title, picture, sound.
    auto *enfants = new QGroupBox(QStringLiteral("Pour les enfants"));
    auto *formulaire = new QFormLayout(enfants);
    m_titre->setObjectName(QStringLiteral("titre"));
    m_titre->setPlaceholderText(QStringLiteral("Les dinosaures"));
    formulaire->addRow(QStringLiteral("&Titre :"), m_titre);
    QString imageActuelle;
    if (m_fiche && !m_fiche->contenu.image.isEmpty() &&
        m_fiche->contenu.image.compare(QStringLiteral(".BMP"), Qt::CaseInsensitive) != 0 &&
        isSafeFileName(m_fiche->contenu.image))
        imageActuelle = presentFilePath(QDir::toNativeSeparators(base + QStringLiteral("/IMAGES/") + m_fiche->contenu.image));
    m_image = m_imageEnAttente.prepare(kSorteImage, imageActuelle);
    formulaire->addRow(QStringLiteral("Image :"), m_image);
    QString sonActuel;
    if (m_fiche && isSafeFileName(m_fiche->contenu.son))
        sonActuel = presentFilePath(QDir::toNativeSeparators(base + QStringLiteral("/SONS/") + m_fiche->contenu.son));
    m_son->setSonActuel(sonActuel);
    if (m_fiche && sonActuel.isEmpty())
        m_son->setChoix(ChoixSon::Choix::Aucun);
    formulaire->addRow(QStringLiteral("Son :"), m_son);
    connect(m_titre, &QLineEdit::textChanged, this, [this](const QString &titre) { m_son->setTitre(titre.simplified()); });
    sonChoisi = [this] { return Son{m_son->modifie(), m_son->aUnSon() ? m_son->wav() : QByteArray()}; };

    // What it finds.
    auto *condition = new QGroupBox(QStringLiteral("Les livres trouvés"));
    auto *colonne = new QVBoxLayout(condition);
    colonne->addWidget(new QLabel(QStringLiteral("Les livres dont le titre ou les mots-clés contiennent")));
    auto *lesquels = new QHBoxLayout;
    lesquels->addWidget(m_unDesMots);
    lesquels->addWidget(m_tousLesMots);
    lesquels->addStretch(1);
    m_unDesMots->setChecked(true);
    colonne->addLayout(lesquels);
    m_filtreMots->setPlaceholderText(QStringLiteral("Chercher un mot-sujet…"));
    m_filtreMots->setClearButtonEnabled(true);
    colonne->addWidget(m_filtreMots);
    m_motsSujets->setObjectName(QStringLiteral("motsSujets"));
    // Without the subject words' file, the other choices and expert mode
    // still work.
    try {
        m_descripteurs = bibliotheque.descripteurs();
    } catch (const AppError &erreur) {
        m_motsSujets->setToolTip(erreur.description());
    }
    for (const QString &mot : std::as_const(m_descripteurs)) {
        auto *element = new QListWidgetItem(mot, m_motsSujets);
        element->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        element->setCheckState(Qt::Unchecked);
    }
    colonne->addWidget(m_motsSujets, 1);
    auto *ligneMot = new QFormLayout;
    m_mot->setObjectName(QStringLiteral("mot"));
    m_mot->setPlaceholderText(QStringLiteral("un autre mot, par exemple : dinosaure"));
    ligneMot->addRow(QStringLiteral("et le &mot :"), m_mot);
    colonne->addLayout(ligneMot);
    colonne->addWidget(new QLabel(QStringLiteral("Dans les classes (aucune cochée : toutes) :")));
    auto *grille = new QGridLayout;
    const CouleursClasses couleurs = couleursDuDossier(QDir::toNativeSeparators(base));
    for (int i = 0; i < 10; ++i) {
        m_classes[i] = new QCheckBox(QString::fromUtf8(kClasses[i]));
        m_classes[i]->setIcon(pastille(couleurs.couleur(i)));
        grille->addWidget(m_classes[i], i % 5, i / 5);
    }
    colonne->addLayout(grille);
    colonne->addWidget(m_pretables);

    // The head the kiosk runs.
    auto *requete = new QGroupBox(QStringLiteral("La requête que la LUMA fera"));
    auto *colonneRequete = new QVBoxLayout(requete);
    m_tete->setObjectName(QStringLiteral("tete"));
    m_tete->setReadOnly(true);
    m_tete->setTabChangesFocus(true);
    m_tete->setFont(QFont(QStringLiteral("monospace")));
    m_tete->setMaximumHeight(110);
    colonneRequete->addWidget(m_tete);
    colonneRequete->addWidget(m_modeExpert);

    // What the kiosk would show.
    auto *apercu = new QGroupBox(QStringLiteral("Aperçu : ce que les enfants trouveront"));
    auto *colonneApercu = new QVBoxLayout(apercu);
    m_nombre->setObjectName(QStringLiteral("nombre"));
    QFont gras = m_nombre->font();
    gras.setBold(true);
    m_nombre->setFont(gras);
    colonneApercu->addWidget(m_nombre);
    m_probleme->setObjectName(QStringLiteral("probleme"));
    m_probleme->setWordWrap(true);
    m_probleme->setStyleSheet(QStringLiteral("color: #b00000;"));
    colonneApercu->addWidget(m_probleme);
    colonneApercu->addLayout(m_couvertures);
    colonneApercu->addStretch(1);

    auto *gauche = new QVBoxLayout;
    gauche->addWidget(enfants);
    gauche->addWidget(apercu, 1);
    auto *droite = new QVBoxLayout;
    droite->addWidget(condition, 1);
    droite->addWidget(requete);
    auto *colonnes = new QHBoxLayout;
    colonnes->addLayout(gauche, 1);
    colonnes->addLayout(droite, 1);
    auto *boutons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    boutons->button(QDialogButtonBox::Save)->setText(QStringLiteral("&Enregistrer"));
    boutons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
    auto *tout = new QVBoxLayout(this);
    tout->addLayout(colonnes, 1);
    tout->addWidget(boutons);
    connect(boutons, &QDialogButtonBox::accepted, this, [this] {
        if (enregistre())
            accept();
    });
    connect(boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // The preview follows the choices after a short pause.
    m_attente->setSingleShot(true);
    m_attente->setInterval(400);
    connect(m_attente, &QTimer::timeout, this, [this] { actualiseApercu(); });
    connect(m_motsSujets, &QListWidget::itemChanged, this, [this] { changeChoix(); });
    connect(m_unDesMots, &QRadioButton::toggled, this, [this] { changeChoix(); });
    connect(m_mot, &QLineEdit::textChanged, this, [this] { changeChoix(); });
    for (QCheckBox *c : m_classes)
        connect(c, &QCheckBox::toggled, this, [this] { changeChoix(); });
    connect(m_pretables, &QCheckBox::toggled, this, [this] { changeChoix(); });
    connect(m_tete, &QPlainTextEdit::textChanged, this, [this] {
        if (m_expert)
            m_attente->start();
    });
    connect(m_modeExpert, &QCheckBox::toggled, this, [this](bool oui) { setExpert(oui); });
    connect(m_filtreMots, &QLineEdit::textChanged, this, [this](const QString &texte) {
        for (int i = 0; i < m_motsSujets->count(); ++i) {
            QListWidgetItem *element = m_motsSujets->item(i);
            element->setHidden(!texte.isEmpty() && !element->text().contains(texte, Qt::CaseInsensitive) &&
                               element->checkState() != Qt::Checked);
        }
    });

    if (m_fiche) {
        m_titre->setText(m_fiche->contenu.titre);
        const std::optional<ChoixRequete> choix = choixDeTete(m_fiche->contenu.tete, m_descripteurs);
        if (choix) {
            setChoix(*choix);
        } else {
            m_tete->setPlainText(m_fiche->contenu.tete);
            m_modeExpert->setChecked(true);
        }
    }
    actualiseApercu();
    resize(1060, 720);
}

ChoixRequete DialogueRequete::choix() const
{
    ChoixRequete choix;
    for (int i = 0; i < m_motsSujets->count(); ++i)
        if (m_motsSujets->item(i)->checkState() == Qt::Checked)
            choix.motsSujets << m_motsSujets->item(i)->text();
    choix.tousLesMots = m_tousLesMots->isChecked();
    choix.mot = m_mot->text().trimmed();
    for (int i = 0; i < 10; ++i)
        if (m_classes[i]->isChecked())
            choix.classes << i;
    choix.pretablesSeulement = m_pretables->isChecked();
    return choix;
}

void DialogueRequete::setChoix(const ChoixRequete &choix)
{
    m_remplit = true;
    for (int i = 0; i < m_motsSujets->count(); ++i) {
        QListWidgetItem *element = m_motsSujets->item(i);
        element->setCheckState(choix.motsSujets.contains(element->text()) ? Qt::Checked : Qt::Unchecked);
    }
    (choix.tousLesMots ? m_tousLesMots : m_unDesMots)->setChecked(true);
    m_mot->setText(choix.mot);
    for (int i = 0; i < 10; ++i)
        m_classes[i]->setChecked(choix.classes.contains(i));
    m_pretables->setChecked(choix.pretablesSeulement);
    m_remplit = false;
    changeChoix();
}

QString DialogueRequete::tete() const
{
    return m_tete->toPlainText().trimmed();
}

bool DialogueRequete::expert() const
{
    return m_expert;
}

void DialogueRequete::setExpert(bool expert)
{
    if (expert == m_expert)
        return;
    if (!expert) {
        // Back to the choices: a head they can give keeps them, any other
        // is lost once the teacher agrees.
        const std::optional<ChoixRequete> choix = choixDeTete(tete(), m_descripteurs);
        if (!choix && !tete().isEmpty() && tete() != teteDeChoix(this->choix()) &&
            QMessageBox::question(this, windowTitle(),
                                  QStringLiteral("La requête écrite ne correspond à aucun choix. La remplacer par "
                                                 "celle des choix ?")) != QMessageBox::Yes) {
            const QSignalBlocker bloque(m_modeExpert);
            m_modeExpert->setChecked(true);
            return;
        }
        m_expert = false;
        if (choix)
            setChoix(*choix);
    }
    m_expert = expert;
    {
        const QSignalBlocker bloque(m_modeExpert);
        m_modeExpert->setChecked(expert);
    }
    m_tete->setReadOnly(!expert);
    for (QWidget *w : std::initializer_list<QWidget *>{m_filtreMots, m_motsSujets, m_unDesMots, m_tousLesMots, m_mot,
                                                       m_pretables})
        w->setEnabled(!expert);
    for (QCheckBox *c : m_classes)
        c->setEnabled(!expert);
    if (expert)
        m_tete->setFocus();
    changeChoix();
}

void DialogueRequete::changeChoix()
{
    if (m_remplit)
        return;
    if (!m_expert)
        m_tete->setPlainText(teteDeChoix(choix()));
    m_attente->start();
}

void DialogueRequete::actualiseApercu()
{
    m_attente->stop();
    try {
        montreApercu(apercuRequete(tete(), m_bibliotheque.fichierCatalogue(), kCouvertures, m_bibliotheque.serveur()));
        m_probleme->clear();
    } catch (const AppError &erreur) {
        montreApercu({});
        m_nombre->clear();
        m_probleme->setText(erreur.description());
    }
}

void DialogueRequete::montreApercu(const ApercuRequete &apercu)
{
    while (QLayoutItem *element = m_couvertures->takeAt(0)) {
        delete element->widget();
        delete element;
    }
    m_nombre->setText(apercu.nombre == 0   ? QStringLiteral("Aucun livre : la LUMA dira « Aucun livre n'a été trouvé... »")
                      : apercu.nombre == 1 ? QStringLiteral("1 livre trouvé")
                                           : QStringLiteral("%1 livres trouvés").arg(apercu.nombre));
    const QString base = m_bibliotheque.dossiers().base;
    for (int i = 0; i < apercu.premiers.size(); ++i) {
        const auto &[inventaire, titre] = apercu.premiers[i];
        auto *case_ = new QLabel;
        case_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        case_->setWordWrap(true);
        case_->setFixedWidth(110);
        const QString fichier = fichierCouverture(base, inventaire);
        const QImage image = fichier.isEmpty() ? QImage() : Picture::readThumbnail(fichier, QSize(96, 96));
        QString texte = QStringLiteral("<b>%1</b><br>%2").arg(inventaire.toHtmlEscaped(), titre.left(40).toHtmlEscaped());
        if (!image.isNull()) {
            case_->setPixmap(QPixmap::fromImage(image));
            case_->setToolTip(inventaire + QStringLiteral(" — ") + titre);
        } else {
            case_->setText(texte);
            case_->setFrameShape(QFrame::Box);
            case_->setMinimumHeight(96);
        }
        m_couvertures->addWidget(case_, i / 4, i % 4);
    }
}

bool DialogueRequete::enregistre()
{
    const QString titre = m_titre->text().simplified();
    if (titre.isEmpty()) {
        avertit(QStringLiteral("Donnez un titre à la recherche : il est écrit sous son image, et la LUMA le dit "
                               "quand la recherche n'a pas de son."));
        m_titre->setFocus();
        return false;
    }
    try {
        apercuRequete(tete(), m_bibliotheque.fichierCatalogue(), 0, m_bibliotheque.serveur());
    } catch (const AppError &erreur) {
        avertit(erreur.description());
        return false;
    }
    ContenuRequete contenu;
    if (m_fiche)
        contenu = m_fiche->contenu;
    contenu.tete = tete();
    contenu.titre = titre;
    const FicheRequete *fiche = m_fiche ? &*m_fiche : nullptr;
    try {
        // The request's text first: a value no reader could read back is
        // refused before any file is written.
        encodeRequete(contenu);
        const QString base = m_bibliotheque.dossiers().base;
        if (m_imageEnAttente.changee) {
            const QString nom = m_requetes.nomImage(fiche, titre);
            DurableFile::makeFolder(base + QStringLiteral("/IMAGES"));
            if (!m_imageEnAttente.enregistre(kSorteImage, base + QStringLiteral("/IMAGES/") + nom, this))
                return false;
            contenu.image = nom;
        }
        const Son son = sonChoisi ? sonChoisi() : Son{};
        if (son.change) {
            contenu.son.clear();
            if (!son.wav.isEmpty()) {
                const QString nom = m_requetes.nomSon(fiche, titre);
                DurableFile::makeFolder(base + QStringLiteral("/SONS"));
                DurableFile::writeFileAtomically(base + QStringLiteral("/SONS/") + nom, son.wav);
                contenu.son = nom;
            }
        }
        m_resultat = m_fiche ? m_requetes.modifie(*m_fiche, contenu) : m_requetes.ajoute(contenu);
        if (m_fiche)
            m_requetes.retireInutilises(m_fiche->contenu);
    } catch (const AppError &erreur) {
        avertit(erreur.description());
        return false;
    }
    return true;
}
