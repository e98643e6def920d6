#include "gestion/choixson.h"

#include "platform/apperror.h"
#include "platform/datafile.h"

#include <QAudioDevice>
#include <QButtonGroup>
#include <QFile>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSoundEffect>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>

namespace {

QString duree(double secondes)
{
    return QLocale(QLocale::French).toString(secondes, 'f', 1) + QStringLiteral(" s");
}

// The synthesis of a title takes a tenth of a second or so: the pointer says
// it, rather than a thread.
struct Sablier
{
    Sablier() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Sablier() { QGuiApplication::restoreOverrideCursor(); }
};

} // namespace

ChoixSon::ChoixSon(QWidget *parent)
    : QWidget(parent), m_fabrique(sourceAudioSysteme), m_voix(SonRequete::voixDisponible()),
      m_groupe(new QButtonGroup(this)),
      m_choixMicro(new QRadioButton(QStringLiteral("Enregistrer avec le &micro"))),
      m_choixVoix(new QRadioButton(QStringLiteral("Faire dire par la &voix"))),
      m_choixAucun(new QRadioButton(QStringLiteral("&Pas de son (la LUMA dit le titre)"))),
      m_enregistrer(new QPushButton(QIcon::fromTheme(QStringLiteral("media-record")), QStringLiteral("&Enregistrer"))),
      m_arreter(new QPushButton(QIcon::fromTheme(QStringLiteral("media-playback-stop")), QStringLiteral("&Arrêter"))),
      m_niveau(new QProgressBar), m_etatMicro(new QLabel), m_texte(new QLineEdit),
      m_ecouter(new QPushButton(QIcon::fromTheme(QStringLiteral("media-playback-start")), QStringLiteral("É&couter"))),
      m_message(new QLabel), m_appareils(new QMediaDevices(this))
{
    m_groupe->addButton(m_choixMicro, int(Choix::Micro));
    m_groupe->addButton(m_choixVoix, int(Choix::Voix));
    m_groupe->addButton(m_choixAucun, int(Choix::Aucun));
    m_choixAucun->setChecked(true);
    m_enregistrer->setObjectName(QStringLiteral("enregistrer"));

    // The level from -60 dBFS (nothing) to 0 (the loudest a sample can be).
    m_niveau->setRange(-60, 0);
    m_niveau->setValue(-60);
    m_niveau->setTextVisible(false);
    m_niveau->setFixedWidth(120);
    m_niveau->setToolTip(QStringLiteral("Le niveau du micro"));
    m_texte->setPlaceholderText(QStringLiteral("Le texte que la voix dit"));
    m_texte->setClearButtonEnabled(true);
    m_message->setWordWrap(true);
    // Its text changes as the take goes on: it must not move the buttons.
    m_etatMicro->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_etatMicro->setMinimumWidth(m_etatMicro->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 36);
    m_enregistrer->setToolTip(QStringLiteral("Enregistrer au micro (%1 secondes au plus)").arg(Prise::kDureeMax));
    m_ecouter->setToolTip(QStringLiteral("Écouter ce que la LUMA fera entendre"));

    auto *grille = new QGridLayout(this);
    grille->setContentsMargins(0, 0, 0, 0);
    grille->setColumnMinimumWidth(0, 20);
    grille->addWidget(m_choixMicro, 0, 0, 1, 2);
    auto *boutons = new QHBoxLayout;
    boutons->addWidget(m_enregistrer);
    boutons->addWidget(m_arreter);
    boutons->addWidget(m_niveau);
    boutons->addWidget(m_etatMicro, 1);
    grille->addLayout(boutons, 1, 1);
    grille->addWidget(m_choixVoix, 2, 0, 1, 2);
    grille->addWidget(m_texte, 3, 1);
    grille->addWidget(m_choixAucun, 4, 0, 1, 2);
    auto *ligneEcoute = new QHBoxLayout;
    ligneEcoute->addWidget(m_ecouter);
    ligneEcoute->addWidget(m_message, 1);
    grille->addLayout(ligneEcoute, 5, 0, 1, 2);

    QObject::connect(m_groupe, &QButtonGroup::idClicked, this, [this] {
        m_message->clear();
        change();
    });
    QObject::connect(m_enregistrer, &QPushButton::clicked, this, [this] { enregistre(); });
    QObject::connect(m_arreter, &QPushButton::clicked, this, [this] { arrete(); });
    QObject::connect(m_ecouter, &QPushButton::clicked, this, [this] { ecoute(); });
    QObject::connect(m_texte, &QLineEdit::textEdited, this, [this] {
        m_texteEcrit = true;
        change();
    });
    // A microphone plugged in or out while the form is open.
    QObject::connect(m_appareils, &QMediaDevices::audioInputsChanged, this, [this] {
        if (!m_prise || !m_prise->enCours())
            nouvelleSource();
    });
    nouvelleSource();
}

ChoixSon::~ChoixSon() = default;

void ChoixSon::setFabriqueSource(std::function<std::unique_ptr<SourceAudio>()> fabrique)
{
    m_fabrique = std::move(fabrique);
    nouvelleSource();
}

void ChoixSon::nouvelleSource()
{
    m_prise = std::make_unique<Prise>(m_fabrique());
    m_prise->surProgres = [this] { montreProgres(); };
    m_prise->surFin = [this](const QString &raison) { finDePrise(raison); };
    montreEtat();
}

void ChoixSon::setSonActuel(const QString &nativePath)
{
    m_wavMicro.clear();
    if (!nativePath.isEmpty() && QFile::exists(nativePath)) {
        try {
            m_wavMicro = DataFile::readAll(nativePath, DataFile::kMediaLimit);
        } catch (const AppError &) {
            m_wavMicro.clear(); // a pipe, a huge file, a file gone: no sound
        }
    }
    m_prisePropre = false;
    m_modifie = false;
    m_message->clear();
    setChoix(m_wavMicro.isEmpty() ? Choix::Aucun : Choix::Micro);
}

void ChoixSon::setTitre(const QString &titre)
{
    m_titre = titre.simplified();
    if (!m_texteEcrit)
        m_texte->setText(titre.simplified());
}

ChoixSon::Choix ChoixSon::choix() const
{
    return Choix(m_groupe->checkedId());
}

void ChoixSon::setChoix(Choix choix)
{
    m_groupe->button(int(choix))->setChecked(true);
    montreEtat();
}

bool ChoixSon::aUnSon() const
{
    switch (choix()) {
    case Choix::Micro:
        return !m_wavMicro.isEmpty();
    case Choix::Voix:
        return !wavVoix().isEmpty(); // a text of punctuation alone says nothing
    case Choix::Aucun:
        break;
    }
    return false;
}

QByteArray ChoixSon::wav() const
{
    switch (choix()) {
    case Choix::Micro:
        return m_wavMicro;
    case Choix::Voix:
        return wavVoix();
    case Choix::Aucun:
        break;
    }
    return {};
}

QByteArray ChoixSon::wavVoix() const
{
    if (!m_voix)
        return {};
    const QString texte = m_texte->text().simplified();
    if (texte != m_texteSynthetise || m_wavVoix.isEmpty()) {
        const Sablier sablier;
        m_wavVoix = SonRequete::wavDeLaVoix(texte);
        m_texteSynthetise = texte;
    }
    return m_wavVoix;
}

void ChoixSon::enregistre()
{
    if (!m_prise || m_prise->enCours() || !m_prise->indisponible().isEmpty())
        return;
    if (m_lecteur)
        m_lecteur->stop();
    m_choixMicro->setChecked(true);
    m_message->clear();
    m_prise->demarre();
    montreEtat();
    montreProgres();
    m_arreter->setFocus(); // the space bar stops it
}

void ChoixSon::arrete()
{
    finDePrise(QString());
}

void ChoixSon::finDePrise(const QString &raison)
{
    if (!m_prise || !m_prise->enCours())
        return;
    const bool auClavier = m_arreter->hasFocus();
    const bool complete = raison.isEmpty() && m_prise->secondes() >= Prise::kDureeMax;
    const QByteArray prise = m_prise->arrete();
    if (prise.isEmpty()) {
        dit(raison.isEmpty() ? QStringLiteral("Aucun son n'a été entendu : parlez plus près du micro et recommencez.")
                             : raison,
            true);
    } else {
        m_wavMicro = prise;
        m_prisePropre = true;
        dit(!raison.isEmpty() ? raison + QStringLiteral(" Le début est gardé.")
            : complete        ? QStringLiteral("L'enregistrement s'est arrêté au bout de %1 secondes.").arg(Prise::kDureeMax)
                              : QString(),
            !raison.isEmpty() || complete);
        change();
    }
    montreEtat();
    if (auClavier) // the stop button is gone: the next step gets the keyboard
        (prise.isEmpty() ? m_enregistrer : m_ecouter)->setFocus();
}

void ChoixSon::ecoute()
{
    if (m_prise && m_prise->enCours())
        return;
    QByteArray octets = wav();
    if (octets.isEmpty() && choix() == Choix::Aucun && m_voix) {
        // What the kiosk will do: say the title.
        const Sablier sablier;
        octets = SonRequete::wavDeLaVoix(m_titre);
    }
    if (octets.isEmpty()) {
        dit(QStringLiteral("Il n'y a rien à écouter."), false);
        return;
    }
    if (!m_dossierEcoute)
        m_dossierEcoute = std::make_unique<QTemporaryDir>();
    // A new name for each: the effect would keep the old sound of a name it knows.
    const QString fichier = m_dossierEcoute->filePath(QStringLiteral("ecoute-%1.wav").arg(++m_ecoutes));
    QFile sortie(fichier);
    if (!m_dossierEcoute->isValid() || !sortie.open(QIODevice::WriteOnly) || sortie.write(octets) != octets.size()) {
        dit(QStringLiteral("Le son ne peut pas être préparé pour l'écoute (dossier temporaire plein ?)."), true);
        return;
    }
    sortie.close();
    m_lecteur = std::make_unique<QSoundEffect>();
    QSoundEffect *lecteur = m_lecteur.get();
    QObject::connect(lecteur, &QSoundEffect::statusChanged, this, [this, lecteur] {
        if (lecteur->status() == QSoundEffect::Error)
            dit(QStringLiteral("Ce son ne peut pas être lu : la LUMA ne pourra pas le faire entendre."), true);
    });
    lecteur->setSource(QUrl::fromLocalFile(fichier));
    lecteur->play(); // once loaded
    QFile::remove(m_dossierEcoute->filePath(QStringLiteral("ecoute-%1.wav").arg(m_ecoutes - 1)));
}

QString ChoixSon::message() const
{
    return m_message->text();
}

void ChoixSon::montreProgres()
{
    if (!m_prise || !m_prise->enCours())
        return;
    m_niveau->setValue(std::clamp(int(m_prise->niveauDbfs()), -60, 0));
    m_etatMicro->setText(QStringLiteral("<span style='color:#c00000'>●</span> Enregistrement… %1 sur %2")
                             .arg(duree(m_prise->secondes()), duree(Prise::kDureeMax)));
}

void ChoixSon::montreEtat()
{
    const bool enCours = m_prise && m_prise->enCours();
    const QString indisponible = m_prise ? m_prise->indisponible() : QString();
    m_enregistrer->setEnabled(!enCours && indisponible.isEmpty());
    m_enregistrer->setToolTip(indisponible.isEmpty()
                                  ? QStringLiteral("Enregistrer au micro (%1 secondes au plus)").arg(Prise::kDureeMax)
                                  : indisponible);
    m_arreter->setEnabled(enCours);
    m_niveau->setEnabled(enCours);
    if (!enCours)
        m_niveau->setValue(-60);
    for (QAbstractButton *bouton : m_groupe->buttons())
        bouton->setEnabled(!enCours);
    m_choixVoix->setEnabled(!enCours && m_voix);
    m_choixVoix->setToolTip(m_voix ? QString()
                                   : QStringLiteral("La voix de la LUMA (espeak-ng et sa voix française) n'est pas "
                                                    "installée sur cet ordinateur."));
    m_texte->setEnabled(!enCours && m_voix && choix() == Choix::Voix);
    m_ecouter->setEnabled(!enCours);
    if (!enCours) {
        QString etat = indisponible.isEmpty() ? QStringLiteral("Pas encore de son enregistré") : indisponible;
        if (!m_wavMicro.isEmpty()) {
            etat = m_prisePropre ? QStringLiteral("Son enregistré") : QStringLiteral("Son actuel");
            try {
                etat += QStringLiteral(" : ") + duree(SonRequete::lis(m_wavMicro).secondes());
            } catch (const AppError &) {
                // A sound of a kind this reader does not know: the kiosk may still play it.
            }
        }
        m_etatMicro->setText(etat);
        m_etatMicro->setToolTip(etat);
    }
}

void ChoixSon::dit(const QString &message, bool erreur)
{
    m_message->setStyleSheet(erreur ? QStringLiteral("color: #b00000") : QString());
    m_message->setText(message);
}

void ChoixSon::change()
{
    m_modifie = true;
    montreEtat();
    if (m_quandChange)
        m_quandChange();
}
