#include "gestion/choiximage.h"

#include "platform/apperror.h"
#include "platform/datafile.h"
#include "platform/paths.h"
#include "platform/picture.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QSize tailleApercu(ImagesBmp::Sorte sorte)
{
    switch (sorte) {
    case ImagesBmp::Sorte::Photo:
        return {150, 150};
    case ImagesBmp::Sorte::Couverture:
        return {150, 200};
    case ImagesBmp::Sorte::Classe:
        return {200, 150};
    case ImagesBmp::Sorte::Requete:
        return {200, 147};
    }
    return {150, 150};
}

// The pictures Qt can read here, for the file dialog: every suffix in both
// cases, since the dialog may tell them apart.
QString filtreImages()
{
    QStringList motifs;
    for (const QByteArray &suffixe : QImageReader::supportedImageFormats()) {
        const QString s = QString::fromLatin1(suffixe);
        motifs << QStringLiteral("*.") + s << QStringLiteral("*.") + s.toUpper();
    }
    return QStringLiteral("Images (%1);;Tous les fichiers (*)").arg(motifs.join(u' '));
}

bool porteUneImage(const QMimeData *donnees)
{
    if (!donnees)
        return false;
    if (donnees->hasUrls() || donnees->hasImage())
        return true;
    const QStringList formats = donnees->formats();
    return std::any_of(formats.begin(), formats.end(),
                       [](const QString &format) { return format.startsWith(QLatin1String("image/")); });
}

// The wait cursor for as long as a picture is read and written.
struct CurseurAttente
{
    CurseurAttente() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CurseurAttente() { QApplication::restoreOverrideCursor(); }
};

} // namespace

ChoixImage::ChoixImage(ImagesBmp::Sorte sorte, QWidget *parent)
    : QWidget(parent), m_sorte(sorte), m_apercu(new QLabel), m_fichier(new QPushButton(QStringLiteral("Fic&hier…"))),
      m_camera(new QPushButton(QStringLiteral("Ca&méra…"))), m_coller(new QPushButton(QStringLiteral("C&oller"))),
      m_bibliotheque(new QPushButton(QStringLiteral("&Bibliothèque…"))),
      m_dossierBibliotheque(BibliothequeImages::dossierSysteme())
{
    setAcceptDrops(true);
    m_apercu->setObjectName(QStringLiteral("apercu"));
    m_apercu->setFixedSize(tailleApercu(sorte));
    m_apercu->setAlignment(Qt::AlignCenter);
    m_apercu->setToolTip(QStringLiteral("Déposez ici une image ou un fichier d'image"));
    m_fichier->setToolTip(QStringLiteral("Choisir un fichier d'image"));
    m_camera->setToolTip(QStringLiteral("Prendre une photo avec la caméra"));
    m_coller->setToolTip(QStringLiteral("Coller l'image copiée (Ctrl+V)"));

    auto *coller = new QAction(QStringLiteral("Coller"), this);
    coller->setShortcut(QKeySequence::Paste);
    coller->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(coller);
    connect(coller, &QAction::triggered, this, [this] { colle(); });
    connect(m_coller, &QPushButton::clicked, this, [this] { colle(); });
    connect(m_fichier, &QPushButton::clicked, this, [this] { ouvreFichier(); });
    connect(m_camera, &QPushButton::clicked, this, [this] { ouvreCamera(); });
    connect(m_bibliotheque, &QPushButton::clicked, this, [this] { ouvreBibliotheque(); });
    m_bibliotheque->setVisible(sorte == ImagesBmp::Sorte::Requete);

    auto *boutons = new QVBoxLayout;
    boutons->addWidget(m_fichier);
    boutons->addWidget(m_camera);
    boutons->addWidget(m_coller);
    boutons->addWidget(m_bibliotheque);
    boutons->addStretch(1);
    auto *disposition = new QHBoxLayout(this);
    disposition->setContentsMargins(0, 0, 0, 0);
    disposition->addWidget(m_apercu, 0, Qt::AlignTop);
    disposition->addLayout(boutons);
    disposition->addStretch(1);
    rafraichit();
}

void ChoixImage::setCible(const QString &cible)
{
    m_cible = cible;
    rafraichit();
}

void ChoixImage::rafraichit()
{
    const QString chemin = m_cible.isEmpty() ? QString() : presentFilePath(m_cible);
    const qreal ratio = devicePixelRatioF();
    QImage image = chemin.isEmpty() ? QImage() : Picture::readThumbnail(chemin, m_apercu->size() * ratio);
    if (image.isNull()) {
        m_apercu->setPixmap({});
        m_apercu->setText(chemin.isEmpty() ? QStringLiteral("Pas d'image") : QStringLiteral("Image illisible"));
        m_apercu->setStyleSheet(QStringLiteral("QLabel { background: #d0d0d0; color: #505050; }"));
    } else {
        image.setDevicePixelRatio(ratio);
        m_apercu->setStyleSheet({});
        m_apercu->setPixmap(QPixmap::fromImage(image));
    }
    m_apercu->setProperty("aUneImage", !image.isNull());
    montreEtat();
}

void ChoixImage::montreEtat()
{
    const bool actif = !m_cible.isEmpty();
    m_fichier->setEnabled(actif);
    m_camera->setEnabled(actif);
    m_coller->setEnabled(actif);
    const bool installee = BibliothequeImages::disponible(m_dossierBibliotheque);
    m_bibliotheque->setEnabled(actif && installee);
    m_bibliotheque->setToolTip(installee ? QStringLiteral("Choisir un dessin parmi ceux de Tux Paint")
                                         : QStringLiteral("Installez le paquet tuxpaint-stamps-default pour choisir "
                                                          "parmi les dessins de Tux Paint"));
}

void ChoixImage::setBibliotheque(bool montree, const QString &dossier)
{
    m_dossierBibliotheque = dossier;
    m_bibliotheque->setVisible(montree);
    montreEtat();
}

template<typename Lecture>
bool ChoixImage::enregistre(Lecture lecture)
{
    if (m_cible.isEmpty())
        return false;
    QString ecrit;
    try {
        CurseurAttente attente;
        ecrit = ImagesBmp::enregistre(ImagesBmp::prepare(lecture(), m_sorte), m_cible);
    } catch (const AppError &erreur) {
        signale(erreur.description());
        return false;
    }
    rafraichit();
    if (m_quandEnregistree)
        m_quandEnregistree(ecrit);
    return true;
}

bool ChoixImage::prendsFichier(const QString &chemin)
{
    return enregistre([&] { return ImagesBmp::litFichier(chemin, m_sorte); });
}

bool ChoixImage::prendsImage(const QImage &image)
{
    return enregistre([&] { return image; });
}

bool ChoixImage::prendsDonnees(const QMimeData *donnees)
{
    if (!donnees || m_cible.isEmpty())
        return false;
    // A file of this computer first, then the picture itself; a browser's
    // drag carries both a web address and the picture.
    const QList<QUrl> liens = donnees->urls();
    for (const QUrl &lien : liens) {
        if (lien.isLocalFile())
            return prendsFichier(lien.toLocalFile());
    }
    if (donnees->hasImage()) {
        const QImage image = qvariant_cast<QImage>(donnees->imageData());
        if (!image.isNull())
            return prendsImage(image);
    }
    for (const QString &format : donnees->formats()) {
        if (format.startsWith(QLatin1String("image/")))
            return enregistre([&] {
                return ImagesBmp::litDonnees(donnees->data(format), m_sorte, QStringLiteral("collée ou déposée"));
            });
    }
    signale(liens.isEmpty() ? QStringLiteral("Ce qui a été collé ou déposé n'est pas une image.")
                            : QStringLiteral("Seules les images enregistrées sur cet ordinateur peuvent être déposées "
                                             "ici : enregistrez d'abord l'image, puis déposez le fichier."));
    return false;
}

void ChoixImage::colle()
{
    const QClipboard *pressePapiers = QGuiApplication::clipboard();
    if (!porteUneImage(pressePapiers->mimeData())) {
        signale(QStringLiteral("Le presse-papiers ne contient pas d'image."));
        return;
    }
    prendsDonnees(pressePapiers->mimeData());
}

void ChoixImage::ouvreFichier()
{
    static QString dernierDossier = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString chemin =
        QFileDialog::getOpenFileName(this, QStringLiteral("Choisir une image"), dernierDossier, filtreImages());
    if (chemin.isEmpty())
        return;
    dernierDossier = QFileInfo(chemin).absolutePath();
    prendsFichier(chemin);
}

void ChoixImage::ouvreCamera()
{
    if (m_cible.isEmpty())
        return;
    auto *dialogue = new DialogueCamera(m_fabriqueCamera ? m_fabriqueCamera() : cameraSysteme(), m_sorte, this);
    dialogue->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialogue, &QDialog::accepted, this, [this, dialogue] { prendsImage(dialogue->photo()); });
    dialogue->open();
}

void ChoixImage::ouvreBibliotheque()
{
    if (m_cible.isEmpty())
        return;
    auto *dialogue = new DialogueBibliothequeImages(this, m_dossierBibliotheque);
    dialogue->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialogue, &QDialog::accepted, this, [this, dialogue] { prendsFichier(dialogue->chemin()); });
    dialogue->open();
}

void ChoixImage::dragEnterEvent(QDragEnterEvent *event)
{
    if (!m_cible.isEmpty() && porteUneImage(event->mimeData()))
        event->acceptProposedAction();
}

void ChoixImage::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    prendsDonnees(event->mimeData());
}

void ChoixImage::signale(const QString &message)
{
    auto *boite = new QMessageBox(QMessageBox::Warning, QStringLiteral("Image non enregistrée"), message,
                                  QMessageBox::Ok, this);
    boite->setAttribute(Qt::WA_DeleteOnClose);
    boite->open();
}

ChoixImage *ImageEnAttente::prepare(ImagesBmp::Sorte sorte, const QString &actuelle)
{
    dossier = std::make_unique<QTemporaryDir>();
    changee = false;
    const QString provisoire = dossier->filePath(QStringLiteral("IMAGE.BMP"));
    if (!actuelle.isEmpty()) {
        try {
            const QByteArray octets = DataFile::readAll(actuelle, DataFile::kMediaLimit);
            QFile copie(provisoire);
            if (copie.open(QIODevice::WriteOnly))
                copie.write(octets);
        } catch (const AppError &) {
        }
    }
    auto *choix = new ChoixImage(sorte);
    choix->setCible(provisoire);
    choix->setQuandEnregistree([this](const QString &) { changee = true; });
    return choix;
}

bool ImageEnAttente::enregistre(ImagesBmp::Sorte sorte, const QString &cible, QWidget *fenetre)
{
    if (!changee || !dossier)
        return false;
    bool ecrite = false;
    try {
        ImagesBmp::enregistreFichier(dossier->filePath(QStringLiteral("IMAGE.BMP")), sorte, cible);
        ecrite = true;
    } catch (const AppError &erreur) {
        QMessageBox::warning(fenetre, QStringLiteral("La LUMA – Gestion"), erreur.description());
        return false; // kept for another try
    }
    dossier.reset();
    changee = false;
    return ecrite;
}
