#include "folder/requete.h"

#include "platform/apperror.h"
#include "platform/paths.h"
#include "platform/textfile.h"

#include <QStringConverter>

ContenuRequete LitRequete(const QString &windowsPath)
{
    const QStringList values = TextFile::readValues(TextFile::readWritten(nativePath(windowsPath)), 4);
    return {values[0], values[1], values[2], values[3]};
}

ContenuRequete decodeRequete(const QByteArray &octets)
{
    const QStringList values = TextFile::readValues(TextFile::decodeWritten(octets), 4);
    return {values[0], values[1], values[2], values[3]};
}

namespace {

[[noreturn]] void refuse(const QString &message)
{
    throw AppError(ErrorNumber::InvalidArgument, message);
}

bool tientEn1252(const QString &texte)
{
    return TextFile::decode1252(TextFile::encode1252(texte)) == texte;
}

} // namespace

QByteArray encodeRequete(const ContenuRequete &contenu)
{
    if (contenu.tete.trimmed().isEmpty())
        refuse(QStringLiteral("La recherche n'a pas de condition."));
    const QString valeurs[] = {contenu.tete, contenu.titre, contenu.image, contenu.son};
    for (const QString &valeur : valeurs)
        if (valeur.contains(u'"'))
            refuse(QStringLiteral("Un guillemet droit (\") ne peut pas être enregistré dans une recherche : il "
                                  "finirait la valeur. Écrivez les textes entre apostrophes ('chat') ou utilisez "
                                  "les guillemets « »."));
    for (const QString &valeur : {contenu.titre, contenu.image, contenu.son})
        if (valeur.contains(u'\r') || valeur.contains(u'\n'))
            refuse(QStringLiteral("Le titre et les noms de fichiers tiennent sur une ligne."));
    QString texte;
    for (const QString &valeur : valeurs)
        texte += (texte.isEmpty() ? QStringLiteral("\"") : QStringLiteral(",\"")) + valeur + u'"';
    texte += QStringLiteral("\r\n");

    // Readers take valid UTF-8 for UTF-8: Windows-1252 bytes that happen to
    // form it ("Ã©") would be read wrong, so such a text goes in UTF-8 too.
    if (tientEn1252(texte)) {
        const QByteArray octets = TextFile::encode1252(texte);
        if (TextFile::decodeWritten(octets) == texte)
            return octets;
    }
    return QByteArray("\xEF\xBB\xBF") + texte.toUtf8();
}

QString filtreDewey(const QList<int> &classes)
{
    QString filtre;
    for (int classe = 0; classe < 10; ++classe) {
        if (!classes.contains(classe))
            continue;
        filtre += (filtre.isEmpty() ? QStringLiteral("dewey LIKE '") : QStringLiteral(" OR dewey LIKE '")) +
                  QString::number(classe) + QStringLiteral("*'");
    }
    return filtre.isEmpty() ? QStringLiteral("dewey LIKE '*'") : filtre;
}

QString sourceRequete(const QString &tete, const QString &filtreDewey)
{
    return tete + QStringLiteral(" AND (") + filtreDewey + QStringLiteral(") ORDER BY inventaire ASC");
}
