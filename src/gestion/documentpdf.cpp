#include "gestion/documentpdf.h"

#include "platform/apperror.h"
#include "platform/durablefile.h"

#include <QBuffer>
#include <QDir>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

namespace DocumentPdf {

QFont police(double hauteurMm, bool gras)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(hauteurMm * 72 / 25.4);
    font.setBold(gras);
    return font;
}

void ecris(const QString &fichier, const QString &titre,
           const std::function<void(QPdfWriter &pdf, QPainter &painter)> &dessine)
{
    // Drawn in memory, then written beside the file and renamed over it.
    // QSaveFile is not enough here: it commits a file cut short when the disk
    // fills up in the middle of a write.
    QBuffer octets;
    octets.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&octets);
        pdf.setResolution(kResolution);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                      QPageLayout::Millimeter));
        pdf.setTitle(titre);
        pdf.setCreator(QStringLiteral("La LUMA – Gestion"));
        QPainter painter;
        if (!painter.begin(&pdf))
            throw AppError(ErrorNumber::InternalError,
                           QStringLiteral("Impossible de préparer le PDF « %1 ».").arg(QDir::toNativeSeparators(fichier)));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        dessine(pdf, painter);
        painter.end();
    }
    DurableFile::writeFileAtomically(QDir::toNativeSeparators(fichier), octets.data());
}

} // namespace DocumentPdf
