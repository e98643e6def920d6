#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// The pictures the teachers give to the folders: a child's photograph
// (<matricule>.BMP), a class picture (CLASSEnn.BMP) and a book's cover
// (LIVRES\<inventaire>.BMP), and the picture of a saved request
// (IMAGES\<nom>.BMP). The Windows programs on the same folder read
// them too, so they are plain 24-bit BMP files of a modest size, whatever the
// teacher's file was (a camera's JPEG turned on its side, a PNG with
// transparency, a scan of 6000 points).
//
// Errors are thrown as AppError with a French description naming the file.
namespace ImagesBmp {

enum class Sorte {
    Photo,      // a centred square, about 300 x 300
    Couverture, // about 480 high
    Classe,     // about 300 high
    // 400 x 295, the proportions of the kiosk's request slot (1365 x 1005
    // twips, which the kiosk fills stretching): the picture fitted inside,
    // enlarged when smaller, on white.
    Requete,
};

// The size the picture of a source of that size (upright) is saved at: a
// photograph's square crop or the whole picture fitted in the kind's box,
// never larger than the source; a request's picture is always the slot's box.
QSize taillePreparee(QSize source, Sorte sorte);

// A picture file (any format Qt reads, told by its content), turned upright
// by its EXIF orientation; a large JPEG is decoded at a fraction of its size,
// never smaller than what the kind needs; a drawing (SVG) is drawn at the
// size the kind needs. Throws when it is not a picture or
// cannot be read.
QImage litFichier(const QString &chemin, Sorte sorte);
// The same for a picture's bytes (dropped or pasted data); `nom` names it in
// the message.
QImage litDonnees(const QByteArray &octets, Sorte sorte, const QString &nom);

// The picture as it is saved: cropped for a photograph, scaled smoothly to
// taillePreparee() (a request's picture: fitted in it and centred on
// white), transparency flattened on white, opaque. A null image
// stays null.
QImage prepare(const QImage &source, Sorte sorte);

// A 24-bit BMP of the picture (without alpha).
QByteArray bmp24(const QImage &image);

// Writes the picture as a 24-bit BMP at the path (a native path or one
// written the Windows way), atomically: readers see the old file or the new
// one, never half of one, and a failed write leaves the old file as it was.
// A file of the same name in another case ("Photo.bmp" for "PHOTO.BMP") is
// the one replaced, and any other spelling of it is then removed, so that
// one file remains. The folder is created when missing (its own folder must
// exist). Returns the native path written.
QString enregistre(const QImage &image, const QString &cible);

// litFichier, prepare and enregistre in one go.
QString enregistreFichier(const QString &source, Sorte sorte, const QString &cible);

} // namespace ImagesBmp
