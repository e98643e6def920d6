#include "folder/baseini.h"

#include "data/pgbase.h"

#include "platform/apperror.h"
#include "platform/paths.h"
#include "platform/textfile.h"

#include <QDir>
#include <QRegularExpression>

namespace {

[[noreturn]] void refuse(const QString &fichier, const QString &raison)
{
    throw AppError(ErrorNumber::InvalidArgument,
                   QStringLiteral("Le fichier « %1 » ne peut pas être utilisé : %2.").arg(fichier, raison));
}

// A password in a connection string: any key ending in "password"
// (password, sslpassword) in key=value form or in a URI's parameters, or
// the user:password part of a URI.
bool nommeUnMotDePasse(const QString &conninfo)
{
    static const QRegularExpression cle(QStringLiteral("password\\s*="),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression uri(QStringLiteral("^\\s*postgres(ql)?://([^/?#]*)@"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (cle.match(conninfo).hasMatch())
        return true;
    const QRegularExpressionMatch m = uri.match(conninfo);
    return m.hasMatch() && m.captured(2).contains(QLatin1Char(':'));
}

} // namespace

std::optional<ServeurPostgresql> lisBaseIni(const QString &dossierBase)
{
    const QString chemin = presentFilePath(QDir(dossierBase).filePath(QStringLiteral("BASE.INI")));
    if (chemin.isEmpty())
        return std::nullopt;
    return serveurDeBaseIni(TextFile::readWritten(chemin), chemin);
}

std::optional<ServeurPostgresql> serveurDeBaseIni(const QString &texte, const QString &chemin)
{
    bool dansSection = false, sectionVue = false;
    std::optional<QString> service, conninfo;
    for (QString ligne : texte.split(QLatin1Char('\n'))) {
        ligne = ligne.trimmed();
        if (ligne.isEmpty() || ligne.startsWith(QLatin1Char(';')) || ligne.startsWith(QLatin1Char('#')))
            continue;
        if (ligne.startsWith(QLatin1Char('[')) && ligne.endsWith(QLatin1Char(']'))) {
            dansSection = ligne.mid(1, ligne.size() - 2).trimmed().compare(QLatin1String("postgresql"),
                                                                           Qt::CaseInsensitive) == 0;
            sectionVue = sectionVue || dansSection;
            continue;
        }
        if (!dansSection)
            continue;
        const qsizetype egal = ligne.indexOf(QLatin1Char('='));
        if (egal < 0)
            continue;
        const QString cle = ligne.left(egal).trimmed().toLower();
        const QString valeur = ligne.mid(egal + 1).trimmed();
        if (cle == QLatin1String("service"))
            service = valeur;
        else if (cle == QLatin1String("conninfo"))
            conninfo = valeur;
        else if (cle.contains(QLatin1String("password")))
            refuse(chemin, QStringLiteral("un mot de passe ne doit jamais y être écrit (utilisez le fichier de mots "
                                          "de passe de PostgreSQL)"));
    }
    if (!sectionVue)
        return std::nullopt;

    if (service && conninfo)
        refuse(chemin, QStringLiteral("la section [postgresql] donne à la fois « service » et « conninfo »"));
    if ((!service || service->isEmpty()) && (!conninfo || conninfo->isEmpty()))
        refuse(chemin, QStringLiteral("la section [postgresql] ne donne ni « service » ni « conninfo »"));
    if (conninfo && nommeUnMotDePasse(*conninfo))
        refuse(chemin, QStringLiteral("un mot de passe ne doit jamais y être écrit (utilisez le fichier de mots de "
                                      "passe de PostgreSQL)"));
    static const QRegularExpression nomDeService(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    if (service && !nomDeService.match(*service).hasMatch())
        refuse(chemin, QStringLiteral("« %1 » n'est pas un nom de service").arg(*service));

    ServeurPostgresql serveur;
    serveur.service = service.value_or(QString());
    serveur.conninfo = conninfo.value_or(QString());
    return serveur;
}

std::shared_ptr<BaseServeur> serveurDuDossier(const QString &dossierBase)
{
    try {
        const std::optional<ServeurPostgresql> serveur = lisBaseIni(dossierBase);
        return serveur ? std::make_shared<BaseServeur>(*serveur) : nullptr;
    } catch (const AppError &erreur) {
        return std::make_shared<BaseServeur>(erreur);
    }
}

QByteArray texteBaseIni(const ServeurPostgresql &serveur)
{
    QString texte = QStringLiteral("; Les bases de ce dossier sont sur ce serveur PostgreSQL (luma-import --vers-sqlite "
                                   "les remet dans des fichiers .MDB).\r\n[postgresql]\r\n");
    texte += serveur.service.isEmpty() ? QStringLiteral("conninfo=%1\r\n").arg(serveur.conninfo)
                                       : QStringLiteral("service=%1\r\n").arg(serveur.service);
    // Windows-1252 as the folder's other files, unless a character does
    // not fit: then UTF-8, which the reader takes too.
    const QByteArray ancien = TextFile::encode1252(texte);
    return TextFile::decode1252(ancien) == texte ? ancien : texte.toUtf8();
}
