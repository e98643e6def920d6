#include "folder/couleurs.h"

#include "folder/descriptionerreur.h"
#include "platform/apperror.h"
#include "platform/datafile.h"
#include "platform/errornumbers.h"
#include "platform/paths.h"
#include "platform/textfile.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

// One value of the colour file, as the sequential-file input read a number
// into a 16-bit integer: blanks ignored, empty reads as 0.
short colourValue(const QString &text)
{
    const QString value = text.trimmed();
    if (value.isEmpty())
        return 0;
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        throw AppError(ErrorNumber::TypeMismatch, descriptionErreur(ErrorNumber::TypeMismatch));
    const double rounded = std::nearbyint(number);
    if (rounded < -32768 || rounded > 32767)
        throw AppError(ErrorNumber::Overflow, descriptionErreur(ErrorNumber::Overflow));
    return static_cast<short>(rounded);
}

} // namespace

QColor CouleursClasses::couleur(int i) const
{
    const auto component = [](short v) { return std::clamp<int>(v, 0, 255); };
    return QColor(component(rouge.at(i)), component(vert.at(i)), component(bleu.at(i)));
}

CouleursClasses couleursParDefaut()
{
    // Written as they stand into a new colour file: 256 and not 255.
    return {{0, 128, 256, 256, 256, 0, 0, 128, 128, 256},
            {0, 64, 0, 128, 256, 256, 0, 0, 128, 256},
            {0, 0, 0, 0, 0, 0, 256, 128, 128, 256}};
}

QString fichierCouleurs(const QString &cheminBase)
{
    return cheminBase + QStringLiteral("\\COULEURS.INI");
}

void litCouleurs(const QString &texte, CouleursClasses &couleurs)
{
    // Values are separated by commas or line ends; blank lines separate nothing.
    QStringList values;
    for (const QString &line : texte.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        if (line.trimmed().isEmpty())
            continue;
        values += line.split(QLatin1Char(','));
    }
    for (int k = 0; k < 30; ++k) {
        if (k >= values.size())
            throw AppError(ErrorNumber::InputPastEnd, descriptionErreur(ErrorNumber::InputPastEnd));
        const short value = colourValue(values[k]);
        std::array<short, 10> &component = (k % 3 == 0) ? couleurs.rouge : (k % 3 == 1) ? couleurs.vert : couleurs.bleu;
        component[k / 3] = value;
    }
}

QByteArray texteCouleurs(const CouleursClasses &couleurs)
{
    QByteArray bytes;
    for (int i = 0; i < 10; ++i)
        for (short v : {couleurs.rouge[i], couleurs.vert[i], couleurs.bleu[i]})
            bytes += QByteArray::number(v) + "\r\n";
    return bytes;
}

CouleursClasses couleursDuDossier(const QString &cheminBase)
{
    const QString path = presentFilePath(fichierCouleurs(cheminBase));
    if (path.isEmpty())
        return couleursParDefaut();
    try {
        CouleursClasses couleurs;
        litCouleurs(TextFile::decode1252(DataFile::readAll(path, DataFile::kTextLimit)), couleurs);
        return couleurs;
    } catch (const AppError &) {
        return couleursParDefaut();
    }
}
