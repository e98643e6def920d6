#include "gestion/camera.h"

#include <QCamera>
#include <QCameraDevice>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVideoFrame>
#include <QVideoSink>

#include <algorithm>

namespace {

class CameraQt : public Camera
{
public:
    QList<Appareil> appareils() override
    {
        QList<Appareil> liste;
        const QCameraDevice parDefaut = QMediaDevices::defaultVideoInput();
        for (const QCameraDevice &appareil : QMediaDevices::videoInputs()) {
            const Appareil a{appareil.id(), appareil.description()};
            if (appareil == parDefaut)
                liste.prepend(a);
            else
                liste.append(a);
        }
        return liste;
    }

    void demarre(const QByteArray &id) override
    {
        arrete();
        QCameraDevice choisi;
        for (const QCameraDevice &appareil : QMediaDevices::videoInputs()) {
            if (appareil.id() == id)
                choisi = appareil;
        }
        if (choisi.isNull()) {
            signale(QStringLiteral("Cette caméra n'est plus branchée."));
            return;
        }
        m_camera = std::make_unique<QCamera>(choisi);
        m_puits = std::make_unique<QVideoSink>();
        m_session.setCamera(m_camera.get());
        m_session.setVideoSink(m_puits.get());
        // The sink may be fed from another thread: the frames come here queued.
        QObject::connect(m_puits.get(), &QVideoSink::videoFrameChanged, m_camera.get(), [this](const QVideoFrame &trame) {
            if (!surImage || !trame.isValid())
                return;
            const QImage image = trame.toImage();
            if (!image.isNull())
                surImage(image);
        });
        QObject::connect(m_camera.get(), &QCamera::errorOccurred, m_camera.get(),
                         [this](QCamera::Error erreur, const QString &texte) {
                             if (erreur != QCamera::NoError)
                                 signale(QStringLiteral("La caméra ne répond pas (%1).").arg(texte));
                         });
        m_camera->start();
    }

    void arrete() override
    {
        if (m_camera)
            m_camera->stop();
        m_session.setCamera(nullptr);
        m_session.setVideoSink(nullptr);
        m_camera.reset();
        m_puits.reset();
    }

    ~CameraQt() override { arrete(); }

private:
    void signale(const QString &message)
    {
        if (surErreur)
            surErreur(message);
    }

    QMediaCaptureSession m_session;
    std::unique_ptr<QCamera> m_camera;
    std::unique_ptr<QVideoSink> m_puits;
};

} // namespace

std::unique_ptr<Camera> cameraSysteme()
{
    return std::make_unique<CameraQt>();
}

// The live picture or the still, fitted in the widget; for a photograph, the
// outside of the centred square that will be kept is dimmed.
class VueCamera : public QWidget
{
public:
    explicit VueCamera(bool carre) : m_carre(carre)
    {
        setMinimumSize(480, 360);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

    void montre(const QImage &image)
    {
        m_image = image;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter peintre(this);
        peintre.fillRect(rect(), QColor(48, 48, 48));
        if (m_image.isNull())
            return;
        const QSize taille = m_image.size().scaled(size(), Qt::KeepAspectRatio);
        const QRect cadre(QPoint((width() - taille.width()) / 2, (height() - taille.height()) / 2), taille);
        peintre.setRenderHint(QPainter::SmoothPixmapTransform);
        peintre.drawImage(cadre, m_image);
        if (!m_carre)
            return;
        const int cote = std::min(cadre.width(), cadre.height());
        const QRect garde(cadre.center().x() - cote / 2 + 1, cadre.center().y() - cote / 2 + 1, cote, cote);
        QPainterPath dehors;
        dehors.addRect(cadre);
        dehors.addRect(garde);
        peintre.fillPath(dehors, QColor(0, 0, 0, 140));
        peintre.setPen(QPen(Qt::white, 2));
        peintre.drawRect(garde.adjusted(1, 1, -1, -1));
    }

private:
    bool m_carre;
    QImage m_image;
};

DialogueCamera::DialogueCamera(std::unique_ptr<Camera> camera, ImagesBmp::Sorte sorte, QWidget *parent)
    : QDialog(parent), m_camera(std::move(camera)), m_choix(new QComboBox), m_vue(new VueCamera(sorte == ImagesBmp::Sorte::Photo)),
      m_message(new QLabel), m_prendre(new QPushButton(QStringLiteral("&Prendre la photo"))),
      m_reprendre(new QPushButton(QStringLiteral("&Reprendre"))),
      m_utiliser(new QPushButton(QStringLiteral("&Utiliser cette photo")))
{
    setWindowTitle(QStringLiteral("Prendre une photo"));
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignCenter);
    m_prendre->setObjectName(QStringLiteral("prendre"));
    m_reprendre->setObjectName(QStringLiteral("reprendre"));
    m_utiliser->setObjectName(QStringLiteral("utiliser"));
    m_choix->setObjectName(QStringLiteral("choixCamera"));
    m_prendre->setShortcut(Qt::Key_Space);
    m_prendre->setToolTip(QStringLiteral("Prendre la photo (Espace)"));
    m_utiliser->setDefault(true);

    auto *boutons = new QDialogButtonBox;
    boutons->addButton(m_prendre, QDialogButtonBox::ActionRole);
    boutons->addButton(m_reprendre, QDialogButtonBox::ActionRole);
    boutons->addButton(m_utiliser, QDialogButtonBox::AcceptRole);
    boutons->addButton(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
    connect(m_prendre, &QPushButton::clicked, this, [this] { prend(); });
    connect(m_reprendre, &QPushButton::clicked, this, [this] { reprend(); });
    connect(boutons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *ligneChoix = new QHBoxLayout;
    auto *etiquette = new QLabel(QStringLiteral("&Caméra :"));
    etiquette->setBuddy(m_choix);
    ligneChoix->addWidget(etiquette);
    ligneChoix->addWidget(m_choix, 1);
    auto *disposition = new QVBoxLayout(this);
    disposition->addLayout(ligneChoix);
    disposition->addWidget(m_vue, 1);
    disposition->addWidget(m_message);
    disposition->addWidget(boutons);

    if (m_camera) {
        m_camera->surImage = [this](const QImage &image) { recoitImage(image); };
        m_camera->surErreur = [this](const QString &message) { montreErreur(message); };
        m_appareils = m_camera->appareils();
    }
    for (const Camera::Appareil &appareil : std::as_const(m_appareils))
        m_choix->addItem(appareil.nom);
    // The choice is shown only when there is one to make.
    etiquette->setVisible(m_appareils.size() > 1);
    m_choix->setVisible(m_appareils.size() > 1);
    connect(m_choix, &QComboBox::currentIndexChanged, this, [this](int index) { choisitAppareil(index); });

    // Without a camera there is nothing to look at: the message alone.
    m_vue->setVisible(!m_appareils.isEmpty());
    setMinimumWidth(420);
    if (m_appareils.isEmpty())
        montreErreur(QStringLiteral("Aucune caméra n'a été trouvée sur cet ordinateur. "
                                    "Branchez-en une, puis rouvrez cette fenêtre."));
    else
        choisitAppareil(0);
}

DialogueCamera::~DialogueCamera()
{
    if (m_camera) {
        m_camera->arrete();
        m_camera->surImage = nullptr;
        m_camera->surErreur = nullptr;
    }
}

void DialogueCamera::done(int resultat)
{
    if (resultat == QDialog::Accepted && (!m_fige || m_photo.isNull()))
        return;
    if (m_camera)
        m_camera->arrete();
    QDialog::done(resultat);
}

void DialogueCamera::choisitAppareil(int index)
{
    if (!m_camera || index < 0 || index >= m_appareils.size())
        return;
    m_enErreur = false;
    m_fige = false;
    m_photo = QImage();
    m_vue->montre({});
    m_message->setText(QStringLiteral("Démarrage de la caméra…"));
    montreEtat();
    m_camera->demarre(m_appareils.at(index).id);
}

void DialogueCamera::recoitImage(const QImage &image)
{
    if (m_fige || m_enErreur)
        return;
    m_photo = image;
    m_vue->montre(image);
    if (!m_message->text().isEmpty())
        m_message->clear();
    montreEtat();
}

void DialogueCamera::montreErreur(const QString &message)
{
    m_enErreur = true;
    if (!m_fige) {
        m_photo = QImage();
        m_vue->montre({});
    }
    m_message->setText(message);
    montreEtat();
}

void DialogueCamera::prend()
{
    if (m_fige || m_photo.isNull())
        return;
    m_fige = true;
    m_vue->montre(m_photo);
    montreEtat();
    m_utiliser->setFocus();
}

void DialogueCamera::reprend()
{
    m_fige = false;
    if (m_enErreur)
        choisitAppareil(m_choix->currentIndex());
    montreEtat();
}

void DialogueCamera::montreEtat()
{
    m_prendre->setVisible(!m_fige);
    m_prendre->setEnabled(!m_fige && !m_photo.isNull());
    m_reprendre->setVisible(m_fige);
    m_utiliser->setVisible(m_fige);
    m_utiliser->setEnabled(m_fige && !m_photo.isNull());
    m_choix->setEnabled(!m_fige);
}
