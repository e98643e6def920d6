#include "gestion/imagesbmp.h"

#include "platform/apperror.h"
#include "platform/datafile.h"
#include "platform/durablefile.h"
#include "platform/paths.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ImagesBmp {

namespace {

// A teacher's file: a camera's JPEG is a few megabytes, a scan or a PNG
// export may be tens of them; past this it is no picture anyone means.
constexpr qint64 kMaxFileBytes = 200 * 1024 * 1024;
// Pixels decoded at once (four bytes each): 48 megapixels. A larger JPEG
// passes, being decoded at a fraction of its size.
constexpr qint64 kMaxDecodedPixels = 48 * 1024 * 1024;

// A request's picture: the kiosk's slot is 1365 x 1005 twips, about 400 x 295
// points on the largest screens; the height is the nearest to the slot's
// proportions.
constexpr int kLargeurRequete = 400;
constexpr int kHauteurRequete = (kLargeurRequete * 1005 + 1365 / 2) / 1365;

QSize boite(Sorte sorte)
{
    switch (sorte) {
    case Sorte::Photo:
        return {300, 300};
    case Sorte::Couverture:
        // A cover is about 480 high; a very wide one is kept within twice that.
        return {960, 480};
    case Sorte::Classe:
        return {900, 300};
    case Sorte::Requete:
        return {kLargeurRequete, kHauteurRequete};
    }
    return {300, 300};
}

// The size a drawing (SVG) of that default size is drawn at: what the kind
// needs, whatever size its author gave it.
QSize tailleDessin(QSize defaut, Sorte sorte)
{
    if (sorte == Sorte::Photo)
        return defaut.scaled(boite(sorte), Qt::KeepAspectRatioByExpanding).expandedTo(QSize(1, 1));
    return defaut.scaled(boite(sorte), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QString nomDe(const QString &chemin)
{
    const QString nom = QFileInfo(chemin).fileName();
    return nom.isEmpty() ? chemin : nom;
}

// How many times smaller a picture of that size (upright) may be decoded and
// still give taillePreparee() without enlarging: 1, 2, 4 or 8, the fractions
// a JPEG decoder gives for almost nothing.
int reduction(QSize upright, Sorte sorte)
{
    const QSize fin = taillePreparee(upright, sorte);
    if (fin.isEmpty())
        return 1;
    int facteur = 1;
    while (facteur < 8 && upright.width() / (2 * facteur) >= fin.width() &&
           upright.height() / (2 * facteur) >= fin.height())
        facteur *= 2;
    return facteur;
}

QImage decode(QIODevice &device, Sorte sorte, const QString &nom)
{
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("Le fichier « %1 » n'est pas une image reconnue.").arg(nom));
    const QSize stockee = reader.size();
    if (stockee.isValid() && !stockee.isEmpty()) {
        QSize droite = stockee;
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            droite.transpose();
        const bool dessin = reader.format().startsWith("svg");
        int facteur = 1;
        if (reader.format() == "jpeg" && reader.supportsOption(QImageIOHandler::ScaledSize))
            facteur = reduction(droite, sorte);
        if (dessin)
            reader.setScaledSize(tailleDessin(stockee, sorte));
        else if (qint64(stockee.width() / facteur) * (stockee.height() / facteur) > kMaxDecodedPixels)
            throw AppError(ErrorNumber::InvalidArgument,
                           QStringLiteral("L'image « %1 » est trop grande (%2 × %3 points).")
                               .arg(nom)
                               .arg(stockee.width())
                               .arg(stockee.height()));
        if (facteur > 1)
            reader.setScaledSize(stockee / facteur);
    }
    QImage image = reader.read();
    if (image.isNull())
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("L'image « %1 » ne peut pas être lue (%2).").arg(nom, reader.errorString()));
    image.setDevicePixelRatio(1);
    return image;
}

bool memeNom(const QString &a, const QString &b)
{
    return a.normalized(QString::NormalizationForm_C).toCaseFolded() ==
           b.normalized(QString::NormalizationForm_C).toCaseFolded();
}

// Other spellings of the file just written, left by a copy from Windows or
// another program: the readers would pick one of them at random. Plain files
// only; a failure leaves them (the new picture is written already). The
// folder may hold a hundred thousand covers: names are read, and only the
// few that match are looked at.
void retireAutresCasses(const QString &dossier, const QString &nom)
{
    DIR *liste = ::opendir(QFile::encodeName(dossier).constData());
    if (!liste)
        return;
    const QByteArray nomLocal = QFile::encodeName(nom);
    const auto ascii = [](const char *debut, const char *fin) {
        return std::all_of(debut, fin, [](char c) { return quint8(c) < 0x80; });
    };
    const bool nomAscii = ascii(nomLocal.cbegin(), nomLocal.cend());
    QStringList autres;
    while (const dirent *entree = ::readdir(liste)) {
        // Two plain ASCII names of different lengths never match; others
        // may, once folded (accents, the Kelvin sign).
        const std::size_t longueur = std::strlen(entree->d_name);
        if (nomAscii && longueur != std::size_t(nomLocal.size()) && ascii(entree->d_name, entree->d_name + longueur))
            continue;
        const QString candidat = QFile::decodeName(entree->d_name);
        if (candidat != nom && memeNom(candidat, nom))
            autres << candidat;
    }
    ::closedir(liste);
    for (const QString &autre : std::as_const(autres)) {
        const QByteArray chemin = QFile::encodeName(dossier + u'/' + autre);
        struct stat etat {};
        if (::lstat(chemin.constData(), &etat) == 0 && S_ISREG(etat.st_mode))
            ::unlink(chemin.constData());
    }
}

// The picture without transparency: what shows through is white.
QImage surBlanc(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    QImage opaque(image.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    QPainter peintre(&opaque);
    peintre.drawImage(0, 0, image);
    return opaque;
}

} // namespace

QSize taillePreparee(QSize source, Sorte sorte)
{
    if (!source.isValid() || source.isEmpty())
        return {};
    const QSize max = boite(sorte);
    if (sorte == Sorte::Photo) {
        const int cote = std::min({source.width(), source.height(), max.width()});
        return {cote, cote};
    }
    if (sorte == Sorte::Requete)
        return max;
    if (source.width() <= max.width() && source.height() <= max.height())
        return source;
    return source.scaled(max, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QImage litFichier(const QString &chemin, Sorte sorte)
{
    std::unique_ptr<QFile> fichier;
    try {
        fichier = DataFile::open(chemin, kMaxFileBytes);
    } catch (const AppError &erreur) {
        throw AppError(erreur.number(), QStringLiteral("L'image « %1 » ne peut pas être ouverte : %2")
                                            .arg(nomDe(chemin), erreur.description()));
    }
    return decode(*fichier, sorte, nomDe(chemin));
}

QImage litDonnees(const QByteArray &octets, Sorte sorte, const QString &nom)
{
    QByteArray copie = octets;
    QBuffer tampon(&copie);
    tampon.open(QIODevice::ReadOnly);
    return decode(tampon, sorte, nom);
}

QImage prepare(const QImage &source, Sorte sorte)
{
    if (source.isNull())
        return {};
    QImage image = source;
    if (sorte == Sorte::Photo) {
        const int cote = std::min(image.width(), image.height());
        image = image.copy((image.width() - cote) / 2, (image.height() - cote) / 2, cote, cote);
    }
    const QSize fin = taillePreparee(image.size(), sorte);
    // Scaled before being flattened: fewer points to paint, and the
    // premultiplied format keeps the edges of a transparent shape clean.
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                          : QImage::Format_RGB32);
    if (sorte == Sorte::Requete) {
        // Fitted, a small drawing enlarged too: the Windows programs stretch
        // the file to the slot without smoothing, a 64-point stamp would
        // come out in blocks there. The rest of the slot is white.
        const QSize dedans = image.size().scaled(fin, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        if (image.size() != dedans)
            image = image.scaled(dedans, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QImage cadre(fin, QImage::Format_RGB32);
        cadre.fill(Qt::white);
        QPainter peintre(&cadre);
        peintre.drawImage((fin.width() - dedans.width()) / 2, (fin.height() - dedans.height()) / 2, image);
        peintre.end();
        image = cadre;
    } else if (image.size() != fin) {
        image = image.scaled(fin, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    image = surBlanc(image);
    image.setDevicePixelRatio(1);
    return image;
}

QByteArray bmp24(const QImage &image)
{
    // Qt writes 24 bits a pixel for any opaque picture deeper than 8 bits.
    const QImage opaque = surBlanc(image);
    QByteArray octets;
    QBuffer tampon(&octets);
    tampon.open(QIODevice::WriteOnly);
    QImageWriter ecrivain(&tampon, "bmp");
    if (!ecrivain.write(opaque))
        throw AppError(ErrorNumber::InternalError,
                       QStringLiteral("L'image ne peut pas être convertie en BMP (%1).").arg(ecrivain.errorString()));
    return octets;
}

QString enregistre(const QImage &image, const QString &cible)
{
    if (image.isNull())
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("Aucune image à enregistrer dans %1.").arg(cible));
    const QString chemin = nativePath(cible);
    const QFileInfo info(chemin);
    const QString dossier = info.absolutePath();
    try {
        const QByteArray octets = bmp24(image);
        if (!QFileInfo(dossier).isDir())
            DurableFile::makeFolder(dossier);
        DurableFile::writeFileAtomically(chemin, octets);
    } catch (const AppError &erreur) {
        throw AppError(erreur.number(), QStringLiteral("L'image %1 n'a pas pu être enregistrée : %2")
                                            .arg(info.fileName(), erreur.description()));
    }
    retireAutresCasses(dossier, info.fileName());
    return chemin;
}

QString enregistreFichier(const QString &source, Sorte sorte, const QString &cible)
{
    return enregistre(prepare(litFichier(source, sorte), sorte), cible);
}

} // namespace ImagesBmp
