// The screen form: one self-contained HTML file, the pictures in it as small
// PNG images, so that it can be mailed or put on a stick as it is.

#include "rapport.h"

#include "platform/apperror.h"

#include <QBuffer>
#include <QDir>
#include <QSaveFile>

namespace {

// Long side of the pictures in the page, in pixels: shown at half that size,
// sharp on a high-density screen.
constexpr int kVignetteEcran = 96;

QString echappe(const QString &text)
{
    return text.toHtmlEscaped();
}

QString image(const QImage &picture, const QString &alt, const QString &classe, const QString &absent)
{
    if (picture.isNull())
        return QStringLiteral("<div class=\"%1 absent\">%2</div>").arg(classe, echappe(absent));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.scaled(kVignetteEcran, kVignetteEcran, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB888)
        .save(&buffer, "PNG");
    return QStringLiteral("<img class=\"%1\" alt=\"%2\" src=\"data:image/png;base64,%3\">")
        .arg(classe, echappe(alt), QString::fromLatin1(png.toBase64()));
}

QString ligne(const QString &nom, const QString &detail, const QImage &photo, const QString &sansPhoto,
              const PretRapport &pret)
{
    QString html = pret.enRetard ? QStringLiteral("<tr class=\"retard\">") : QStringLiteral("<tr>");
    html += QStringLiteral("<td class=\"vignette\">") + image(photo, nom, QStringLiteral("photo"), sansPhoto) +
            QStringLiteral("</td>");
    html += QStringLiteral("<td><strong>%1</strong><br><span class=\"discret\">%2</span></td>")
                .arg(echappe(nom), echappe(detail));
    html += QStringLiteral("<td class=\"vignette\">") +
            image(pret.couverture, pret.titre, QStringLiteral("couverture"), QStringLiteral("pas de couverture")) +
            QStringLiteral("</td>");
    const QString numero = pret.inventaire.trimmed().isEmpty() ? QStringLiteral("sans numéro")
                                                               : QStringLiteral("n° ") + pret.inventaire;
    const QString titre = pret.titre.trimmed().isEmpty() ? QStringLiteral("(sans titre)") : pret.titre;
    html += QStringLiteral("<td><span class=\"discret\">%1</span><br>%2</td>").arg(echappe(numero), echappe(titre));
    const QString date = pret.date.isValid() ? QStringLiteral("prêté le ") + TexteRapport::datePret(pret)
                                             : TexteRapport::datePret(pret);
    html += QStringLiteral("<td class=\"duree\"><span class=\"discret\">%1</span><br><strong>%2</strong>")
                .arg(echappe(date), echappe(TexteRapport::duree(pret)));
    if (pret.enRetard)
        html += QStringLiteral(" <span class=\"marque\">%1</span>").arg(TexteRapport::motRetard());
    return html + QStringLiteral("</td></tr>\n");
}

const char *const kStyle = R"(
body { font-family: "Liberation Sans", Arial, sans-serif; color: #222a35; margin: 2em auto; max-width: 60em; padding: 0 1em; }
h1 { color: #1f4e8c; margin-bottom: .2em; }
h2 { color: #1f4e8c; margin: 0; }
.discret { color: #6b7280; font-size: .85em; }
.resume { background: #e8f0fa; border-radius: .5em; padding: .6em 1em; font-weight: bold; }
.classe { display: flex; gap: 1em; align-items: center; background: #e8f0fa; border-left: .4em solid #1f4e8c;
          border-radius: .5em; padding: .6em; margin-top: 2em; }
.classe img, .classe .absent { width: 96px; height: 72px; object-fit: contain; }
.classe .absent { font-size: 1.6em; font-weight: bold; color: #1f4e8c; background: white; }
.inconnus h2 { color: #b42318; }
table { border-collapse: collapse; width: 100%; }
td { border-bottom: 1px solid #d5dae1; padding: .35em .5em; vertical-align: middle; }
td.vignette { width: 3.5em; text-align: center; }
img.photo, img.couverture { max-width: 3em; max-height: 4em; border: 1px solid #d5dae1; }
div.absent { width: 3em; height: 4em; font-size: .6em; color: #6b7280; background: #f1f3f5; border: 1px dashed #d5dae1;
             display: flex; align-items: center; justify-content: center; text-align: center; border-radius: .3em; }
td.duree { text-align: right; white-space: nowrap; }
tr.retard { background: #fde8e6; }
tr.retard td.duree strong { color: #b42318; }
tr.retard td:first-child { border-left: .3em solid #b42318; }
.marque { background: #b42318; color: white; border-radius: 1em; padding: .1em .6em; font-size: .75em; font-weight: bold; }
.vide { color: #6b7280; font-style: italic; padding: .6em 1em; }
.totaux { display: flex; gap: 1em; margin: 1em 0 2em; }
.totaux div { flex: 1; background: #e8f0fa; border-radius: .5em; padding: .6em; text-align: center; }
.totaux div.alerte { background: #fde8e6; color: #b42318; }
.totaux b { display: block; font-size: 2em; color: inherit; }
table.populaires td.rang { font-weight: bold; color: #1f4e8c; width: 2em; text-align: center; }
)";

} // namespace

void ecrisHtml(const RapportPrets &rapport, const QString &fichier)
{
    const QString date = rapport.maintenant.date().toString(QStringLiteral("dd/MM/yyyy"));
    QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"fr\">\n<head>\n<meta charset=\"utf-8\">\n"
                                  "<title>%1 – %2</title>\n<style>%3</style>\n</head>\n<body>\n")
                       .arg(TexteRapport::titre(), date, QString::fromUtf8(kStyle));
    html += QStringLiteral("<h1>%1</h1>\n<p>Prêts en cours le %2<br><span class=\"discret\">"
                           "Bibliothèque : %3</span></p>\n")
                .arg(TexteRapport::titre(), echappe(TexteRapport::dateLongue(rapport.maintenant)),
                     echappe(QDir::toNativeSeparators(rapport.dossiers.base)));
    html += QStringLiteral("<p class=\"resume\">%1 <span class=\"marque\">%2</span> <span class=\"discret\">"
                           "plus de %3 jours</span></p>\n")
                .arg(echappe(TexteRapport::resumeGeneral(rapport)), TexteRapport::motRetard(),
                     QString::number(rapport.retard));

    for (const ClasseRapport &classe : rapport.classes) {
        const QString enseignant = classe.connue
            ? (classe.instituteur.trimmed().isEmpty() ? QStringLiteral("Enseignant non indiqué") : classe.instituteur)
            : QStringLiteral("Absente de la liste des classes");
        html += QStringLiteral("<section>\n<div class=\"classe\">") +
                image(classe.image, TexteRapport::titreClasse(classe), QStringLiteral("image"), classe.numero) +
                QStringLiteral("<div><h2>%1</h2>%2<br><span class=\"discret\">%3</span></div></div>\n")
                    .arg(echappe(TexteRapport::titreClasse(classe)), echappe(enseignant),
                         echappe(TexteRapport::resumeClasse(classe)));
        if (classe.enfants.isEmpty()) {
            html += QStringLiteral("</section>\n");
            continue;
        }
        html += QStringLiteral("<table>\n");
        for (const EnfantRapport &enfant : classe.enfants) {
            const QString detail = enfant.niveau.trimmed().isEmpty() ? QString()
                                                                     : QStringLiteral("niveau ") + enfant.niveau;
            for (const PretRapport &pret : enfant.prets)
                html += ligne(TexteRapport::nomEnfant(enfant), detail, enfant.photo, QStringLiteral("pas de photo"),
                              pret);
        }
        html += QStringLiteral("</table>\n</section>\n");
    }

    if (!rapport.inconnus.isEmpty()) {
        html += QStringLiteral("<section class=\"inconnus\">\n<h2 style=\"margin-top:2em\">Emprunteurs inconnus</h2>\n"
                               "<p class=\"discret\">Ces livres sont prêtés à un matricule qu'aucun enfant du fichier "
                               "des élèves ne porte (un enfant parti de l'école, une fiche modifiée) : à vérifier.</p>\n"
                               "<table>\n");
        for (const PretRapport &pret : rapport.inconnus) {
            const QString nom = pret.emprunteur.trimmed().isEmpty()
                ? QStringLiteral("Emprunteur non indiqué")
                : QStringLiteral("Matricule ") + pret.emprunteur.trimmed();
            html += ligne(nom, QStringLiteral("absent du fichier des élèves"), QImage(), QStringLiteral("?"), pret);
        }
        html += QStringLiteral("</table>\n</section>\n");
    }

    html += QStringLiteral("<h2 style=\"margin-top:2em\">Bilan</h2>\n<div class=\"totaux\">");
    const auto total = [&](int n, const QString &libelle, bool alerte) {
        html += QStringLiteral("<div%1><b>%2</b>%3</div>")
                    .arg(alerte ? QStringLiteral(" class=\"alerte\"") : QString())
                    .arg(n)
                    .arg(echappe(libelle));
    };
    total(rapport.enfants, QStringLiteral("enfants inscrits"), false);
    total(rapport.enfantsAvecPret, QStringLiteral("enfants avec un livre"), false);
    total(rapport.prets, QStringLiteral("livres prêtés"), false);
    total(rapport.retards, QStringLiteral("en retard (plus de %1 jours)").arg(rapport.retard), rapport.retards > 0);
    html += QStringLiteral("</div>\n<h2>Les dix livres les plus empruntés</h2>\n");
    if (rapport.plusEmpruntes.isEmpty()) {
        html += QStringLiteral("<p class=\"vide\">Aucun livre n'a encore été emprunté.</p>\n");
    } else {
        html += QStringLiteral("<table class=\"populaires\">\n");
        int rang = 0;
        for (const LivreEmprunte &livre : rapport.plusEmpruntes) {
            html += QStringLiteral("<tr><td class=\"rang\">%1</td><td class=\"vignette\">").arg(++rang) +
                    image(livre.couverture, livre.titre, QStringLiteral("couverture"),
                          QStringLiteral("pas de couverture")) +
                    QStringLiteral("</td><td><span class=\"discret\">n° %1</span><br>%2</td>"
                                   "<td class=\"duree\"><strong>%3 prêt%4</strong>%5</td></tr>\n")
                        .arg(echappe(livre.inventaire),
                             echappe(livre.titre.trimmed().isEmpty() ? QStringLiteral("(sans titre)") : livre.titre),
                             QString::number(livre.cumul, 'f', 0), livre.cumul > 1 ? QStringLiteral("s") : QString(),
                             livre.enPret ? QStringLiteral("<br><span class=\"discret\">en prêt</span>") : QString());
        }
        html += QStringLiteral("</table>\n");
    }
    html += QStringLiteral("</body>\n</html>\n");

    QSaveFile sortie(fichier);
    if (!sortie.open(QIODevice::WriteOnly) || sortie.write(html.toUtf8()) < 0 || !sortie.commit())
        throw AppError(ErrorNumber::PathFileAccessError, QStringLiteral("Impossible d'écrire le fichier « %1 » : %2.")
                               .arg(QDir::toNativeSeparators(fichier), sortie.errorString()));
}
