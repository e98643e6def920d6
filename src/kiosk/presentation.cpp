#include "kiosk/presentation.h"

#include "kiosk/kioskcontext.h"
#include "kiosk/feuillechoix.h"
#include "folder/baseini.h"
#include "folder/intentionpret.h"
#include "folder/pretsserveur.h"
#include "module/lumascreen.h"
#include "kiosk/version.h"
#include "lending/feuilleclasse.h"
#include "lending/feuilleecole.h"
#include "platform/paths.h"
#include "search/feuilledescripteurs.h"
#include "search/requetes.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <algorithm>
#include <cmath>

namespace {

QLabel *makeLabel(présentation *screen, const Geometry &geo, const char *name, const QString &text,
                  const QFont &font, const QColor &color, Qt::Alignment alignment, QRect twips)
{
    auto *label = new QLabel(text, screen);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->setAlignment(alignment);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
    geo.place(label, twips.x(), twips.y(), twips.width(), twips.height());
    return label;
}

const QString kRequeteEnfants = QStringLiteral("SELECT * FROM enfants");
const QString kRequeteClasses =
    QStringLiteral("SELECT équipenuméro, équipeinstituteur FROM équipe ORDER BY équipenuméro ASC");
const QString kRequeteCatalogue = QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC");

} // namespace

présentation::présentation(KioskContext &context) : QWidget(nullptr, Qt::Window), m_context(context)
{
    setObjectName(QStringLiteral("présentation"));
    // No caption. Qt shows the program's name in place of an empty title, so
    // the title is one blank.
    setWindowTitle(QStringLiteral(" "));
    setWindowIcon(QIcon(asset(QStringLiteral("chick"))));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0, 192, 192));
    setPalette(pal);

    const Geometry &geo = context.geometry();
    setFixedSize(geo.px(4335), geo.px(1695));
    const QString serif = QStringLiteral("Times New Roman");
    makeLabel(this, geo, "Etiquette5", QStringLiteral("Complément au programme La LUMA"), geo.font(serif, 12, true),
              QColor(255, 0, 0), Qt::AlignHCenter | Qt::AlignTop, QRect(0, 60, 4335, 360));
    makeLabel(this, geo, "Etiquette3", QStringLiteral("La LUMA"), geo.font(serif, 30, true), QColor(0, 0, 255),
              Qt::AlignLeft | Qt::AlignVCenter, QRect(150, 400, 2700, 780));
    makeLabel(this, geo, "Etiquette6", QStringLiteral("Cycle 1"), geo.font(serif, 19.5, true), QColor(255, 0, 0),
              Qt::AlignRight | Qt::AlignVCenter, QRect(2550, 480, 1650, 600));
    makeLabel(this, geo, "Etiquette4", QStringLiteral("Version"), geo.font(serif, 9.75, true), Qt::black,
              Qt::AlignHCenter | Qt::AlignVCenter, QRect(0, 1150, 4335, 270));
    makeLabel(this, geo, "Etiquette2", QStringLiteral("Pour les petits lecteurs de l'école maternelle"),
              geo.font(QStringLiteral("Arial"), 9), Qt::black, Qt::AlignHCenter | Qt::AlignVCenter,
              QRect(0, 1410, 4335, 255));
}

QLabel *présentation::Etiquette(int number) const
{
    return findChild<QLabel *>(QStringLiteral("Etiquette%1").arg(number));
}

QString présentation::Répertoire1Path() const
{
    return QDir::currentPath();
}

void présentation::Form_Load()
{
    Module11 &m = m_context.module();
    MousePointer &pointer = m_context.services().pointer;
    Feuilleenfant &d = m_context.données();

    // Each step runs under the error trap: a failure is reported and the
    // start-up goes on with the next step, unless the report ended the program.
    m.trapped([&] { pointer.hourglass(); });
    m.trapped([&] { Etiquette(4)->setText(versionText()); });
    m.trapped([&] { m.CentreFeuille(*this); });
    m.trapped([&] {
        show();
        repaint();
        QApplication::processEvents();
    });
    m.trapped([&] { trouverDossiers(); });
    m.trapped([&] { vérifieHorloge(); });

    // Children: without any, the module cannot be used.
    m.trapped([&] {
        d.Donnée1().setDatabaseName(nativePath(m.CheminEcole() + QStringLiteral("\\ALTEMARE.MDB")));
        d.Donnée1().setRecordSource(kRequeteEnfants);
        d.Donnée1().refresh();
    });
    bool aucun = true;
    m.trapped([&] { aucun = d.Donnée1().eof() && d.Donnée1().bof(); });
    if (m.programEnded())
        return;
    if (aucun) {
        pointer.arrow();
        m.services().messages.show(QStringLiteral("Aucune fiche d'enfant n'a été créée...\n\n"
                                                  "L'exploitation du module Cycle 1 n'est pas possible..."),
                                   Module11::titreErreur(), MsgIcon::Exclamation, MsgButtons::Ok);
        m.endProgram();
        return;
    }

    m.trapped([&] {
        d.Donnée2().setDatabaseName(nativePath(m.CheminBase() + QStringLiteral("\\LUMA.MDB")));
        d.Donnée2().refresh();
    });
    m.trapped([&] {
        d.Donnée3().setDatabaseName(nativePath(m.CheminBase() + QStringLiteral("\\COTATION.MDB")));
        d.Donnée3().refresh();
    });

    // Classes: without any, the module cannot be used either.
    m.trapped([&] {
        d.Donnée4().setDatabaseName(nativePath(m.CheminEcole() + QStringLiteral("\\ALTEMARE.MDB")));
        d.Donnée4().setRecordSource(kRequeteClasses);
        d.Donnée4().refresh();
    });
    aucun = true;
    m.trapped([&] { aucun = d.Donnée4().eof() && d.Donnée4().bof(); });
    if (m.programEnded())
        return;
    if (aucun) {
        pointer.arrow();
        m.services().messages.show(QStringLiteral("Aucune classe n'a été créée...\n\n"
                                                  "L'exploitation du module Cycle 1 n'est pas possible..."),
                                   Module11::titreErreur(), MsgIcon::Exclamation, MsgButtons::Ok);
        m.endProgram();
        return;
    }

    m.trapped([&] {
        m_context.FeuilleÉcole();
        m_context.FeuilleClasse();
    });
    m.trapped([&] {
        d.Donnée4().setDatabaseName(nativePath(m.CheminEcole() + QStringLiteral("\\ALTEMARE.MDB")));
        d.Donnée4().setRecordSource(kRequeteClasses);
        d.Donnée4().refresh();
        d.Donnée4().moveFirst();
    });
    m.trapped([&] { remplirClasses(); });
    m.trapped([&] {
        Feuilleécole &école = m_context.FeuilleÉcole();
        for (int i = 1; i <= 15; ++i) {
            const Picture picture = Picture::fromFile(fichierImageClasse(m.CheminEcole(), i),
                                                      école.Dessin1(i - 1)->displaySize());
            if (!picture.isNull()) {
                école.Dessin1(i - 1)->setPicture(picture);
                école.Dessin1(i - 1)->show();
            }
        }
    });
    m.trapped([&] {
        d.Donnée2().setDatabaseName(nativePath(m.CheminBase() + QStringLiteral("\\LUMA.MDB")));
        d.Donnée2().setRecordSource(kRequeteCatalogue);
        d.Donnée2().refresh();
    });
    m.trapped([&] { m_context.requêtes().ListeRequetes(m); });
    m.trapped([&] { m.LitCouleurs(); });
    // Loans a kiosk saved but could not journal before it stopped.
    m.trapped([&] {
        if (const auto serveur = d.serveur())
            reprendPretsServeur(m, *serveur);
        else
            reprendIntentions(m);
    });
    m.trapped([&] { m_context.FeuilleDescripteurs().ChargeDescripteurs(); });
    m.trapped([&] { hide(); });
    m.trapped([&] { pointer.arrow(); });
    m.trapped([&] { m_context.FeuilleChoix().exec(); });
}

void présentation::trouverDossiers()
{
    Module11 &m = m_context.module();
    const DossiersLuma dossiers = trouveDossiers(Répertoire1Path());
    m.setCheminBase(dossiers.base);
    m.setCheminEcole(dossiers.ecole);
    m_context.données().setServeur(serveurDuDossier(dossiers.base));
}

// The day's journal is named by this computer's date: a kiosk whose clock is
// days off would write into another day's journal. Said once, then the
// start-up goes on; nothing is said when the folder cannot be written.
void présentation::vérifieHorloge()
{
    constexpr qint64 kÉcartToléré = 12 * 3600;
    Module11 &m = m_context.module();
    const std::optional<QDateTime> serveur = m_context.horlogeDossier(m.CheminBase());
    if (!serveur)
        return;
    const QDateTime ici = m.services().clock.now();
    if (std::abs(ici.secsTo(*serveur)) <= kÉcartToléré)
        return;
    const QString format = QStringLiteral("dd/MM/yyyy 'à' hh:mm");
    m_context.services().pointer.arrow();
    m.services().messages.show(
        QStringLiteral("La date de cet ordinateur n'est pas celle du serveur du dossier de données.\n\n"
                       "Cet ordinateur : le %1\nLe serveur : le %2\n\n"
                       "Les journaux des prêts sont nommés d'après la date : faites mettre cet ordinateur à "
                       "l'heure.")
            .arg(ici.toString(format), serveur->toLocalTime().toString(format)),
        Module11::titreErreur(), MsgIcon::Exclamation, MsgButtons::Ok);
}

void présentation::remplirClasses()
{
    Feuilleenfant &d = m_context.données();
    Feuilleécole &école = m_context.FeuilleÉcole();
    while (!d.Donnée4().eof()) {
        const double n = valeurNumerique(d.Etiquette19().text());
        if (n > 0 && n <= 15) {
            // An index of an array of controls was rounded to the nearest, ties to even.
            const int slot = std::clamp(static_cast<int>(std::nearbyint(n - 1)), 0, 14);
            école.Etiquette2(slot)->setText(d.Etiquette18().text());
            école.Etiquette2(slot)->show();
            école.Dessin1(slot)->show();
        }
        d.Donnée4().moveNext();
    }
}
