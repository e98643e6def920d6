#include "module/module11.h"

#include "data/database.h"
#include "data/feuilleenfant.h"
#include "data/repair.h"
#include "folder/couleurs.h"
#include "folder/descriptionerreur.h"
#include "folder/dossiers.h"
#include "platform/datafile.h"
#include "platform/durablefile.h"
#include "platform/geometry.h"
#include "platform/paths.h"
#include "platform/textfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// An error's description, where it names the command that converts an Access
// file, with this data folder in place of the placeholder.
QString withDataFolder(const AppError &error, const QString &dataFolder)
{
    QString description = error.description();
    if (error.number() == ErrorNumber::AccessFormat && !dataFolder.isEmpty())
        description.replace(accessImportCommand(), accessImportCommand(dataFolder));
    return description;
}

} // namespace

Module11::Module11(const PlatformServices &services, Feuilleenfant &données, Geometry &geometry)
    : m_services(services), m_données(données), m_geometry(geometry)
{
    setDélaiVerrou(m_délaiVerrou);
}

LockWait Module11::attenteVerrou()
{
    LockWait wait;
    wait.deadline = m_délaiVerrou;
    wait.waiting = [this] {
        m_services.pointer.hourglass();
        // Paints, without taking a touch: the child waits.
        ++m_attentesVerrou;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        --m_attentesVerrou;
    };
    wait.finished = [this] { m_services.pointer.arrow(); };
    return wait;
}

void Module11::setDélaiVerrou(std::chrono::milliseconds délai)
{
    m_délaiVerrou = délai;
    for (Cursor *cursor : {&m_données.Donnée1(), &m_données.Donnée2(), &m_données.Donnée3(), &m_données.Donnée4()})
        cursor->setLockWait(attenteVerrou());
}

void Module11::setCouleur(int i, short rouge, short vert, short bleu)
{
    m_couleurs.rouge.at(i) = rouge;
    m_couleurs.vert.at(i) = vert;
    m_couleurs.bleu.at(i) = bleu;
}

void Module11::LitCouleurs()
{
    const QString path = presentFilePath(fichierCouleurs(CheminBase()));
    if (path.isEmpty()) {
        m_couleurs = couleursParDefaut();
        EcritCouleurs();
        return;
    }
    QString content;
    try {
        content = TextFile::decode1252(DataFile::readAll(path, DataFile::kTextLimit));
    } catch (const AppError &) {
        // A pipe, a device or a huge file in its place is left as it is, and
        // reported; the classes still get their colours.
        m_couleurs = couleursParDefaut();
        throw;
    }
    litCouleurs(content, m_couleurs);
}

void Module11::EcritCouleurs()
{
    DurableFile::writeFileAtomically(nativePath(fichierCouleurs(CheminBase())), texteCouleurs(m_couleurs));
}

Picture Module11::couverture(const QString &inventaire, QSize taille) const
{
    return Picture::fromFile(fichierCouverture(CheminBase(), inventaire), taille);
}

namespace {

// The native path of a sound the player may be given: a regular file of sane
// size, checked just before the player opens it itself. Empty when there is
// none; a pipe, a device or a huge file there is told once on the standard
// error, never to the child.
QString sonJouable(const QString &windowsPath)
{
    const QString native = presentFilePath(windowsPath);
    if (native.isEmpty())
        return {};
    try {
        DataFile::check(native, DataFile::kMediaLimit);
        return native;
    } catch (const AppError &error) {
        DataFile::reportSkipped(native, error.description());
        return {};
    }
}

} // namespace

void Module11::JoueSon(const QString &windowsPath)
{
    try {
        const QString native = sonJouable(windowsPath);
        if (!native.isEmpty())
            m_services.sound.play(native);
    } catch (...) {
        // A sound never reports anything.
    }
}

void Module11::Dit(const QString &texte)
{
    if (!m_voix || texte.trimmed().isEmpty())
        return;
    try {
        m_services.speech.say(texte.trimmed());
    } catch (...) {
        // Nor does a word.
    }
}

void Module11::JoueSonOuDit(const QString &windowsPath, const QString &texte)
{
    bool recorded = false;
    try {
        recorded = !windowsPath.isEmpty() && !sonJouable(windowsPath).isEmpty();
    } catch (...) {
    }
    if (recorded)
        JoueSon(windowsPath);
    else
        Dit(texte);
}

QString Module11::motChiffre(int chiffre)
{
    static const char *const mots[10] = {"zéro", "un", "deux", "trois", "quatre",
                                         "cinq", "six", "sept", "huit", "neuf"};
    return chiffre >= 0 && chiffre <= 9 ? QString::fromUtf8(mots[chiffre]) : QString();
}

QString Module11::chiffreParChiffre(const QString &nombre)
{
    QStringList parts;
    for (const QChar c : nombre) {
        if (c >= u'0' && c <= u'9')
            parts << motChiffre(c.unicode() - u'0');
        else if (!c.isSpace())
            parts << QString(c);
    }
    return parts.join(QStringLiteral(", "));
}

void Module11::CentreFeuille(QWidget &feuille)
{
    m_services.pointer.hourglass();
    const QSize display = m_services.display.sizePixels();
    const QSize size = feuille.frameGeometry().size();
    const double top = display.height() / 2.0 - size.height() / 2.0;
    const double left = display.width() / 2.0 - size.width() / 2.0;
    feuille.move(static_cast<int>(std::floor(left)), static_cast<int>(std::floor(top)));
    m_services.pointer.arrow();
}

void Module11::APropos()
{
    const QString text = QStringLiteral(
        "Ce module est un complément du programme de gestion de bibliothèque scolaire «La LUMA», "
        "fait pour que les jeunes enfants du Cycle 1 empruntent, rendent et cherchent des livres tout seuls.\n\n"
        "Conception et programmation : l'équipe de La LUMA\n"
        "Dessins : créations originales\n"
        "Voix : synthèse vocale en français");
    m_services.pointer.arrow();
    m_services.messages.show(text, titreProgramme(), MsgIcon::Information, MsgButtons::Ok);
}

void Module11::GestionErreur(const AppError &error)
{
    m_services.pointer.arrow();
    const int n = error.number();
    switch (n) {
    // A message of its own, from the table.
    case ErrorNumber::BadFileName:
    case ErrorNumber::FileNotFound:
    case ErrorNumber::FileAlreadyExists:
    case ErrorNumber::DiskFull:
    case ErrorNumber::DeviceUnavailable:
    case ErrorNumber::PermissionDenied:
    case ErrorNumber::DiskNotReady:
    case ErrorNumber::DuplicateKey: m_messageErreur = ErrorNumber::message(n); break;
    case ErrorNumber::PathNotFound: return;
    case ErrorNumber::DatabaseNotFound:
        // Ends without a box; a line on the terminal tells whoever started it which file is missing.
        std::fprintf(stderr, "luma-cycle1: %s\n", error.description().toLocal8Bit().constData());
        endProgram();
        return;
    case ErrorNumber::CannotLockFile:
        m_messageErreur = ErrorNumber::message(n);
        m_services.messages.show(m_messageErreur, titreErreur(), MsgIcon::Exclamation, MsgButtons::Ok);
        endProgram();
        return;
    case ErrorNumber::DatabaseDamaged:
        m_messageErreur = ErrorNumber::message(n);
        m_services.messages.show(m_messageErreur, titreErreur(), MsgIcon::Exclamation, MsgButtons::Ok);
        m_reponse = m_services.messages.show(QStringLiteral("Voulez-vous que «La LUMA» essaie de les réparer ?"),
                                             titreErreur(), MsgIcon::Question, MsgButtons::YesNo);
        if (m_reponse != MsgAnswer::Yes) {
            endProgram();
            return;
        }
        reparerBases();
        break;
    default:
        m_messageErreur =
            QStringLiteral("L'erreur %1 est survenue .\n(%2)").arg(n).arg(withDataFolder(error, CheminBase()));
        break;
    }
    m_services.messages.show(m_messageErreur, titreErreur(), MsgIcon::Exclamation, MsgButtons::Ok);
}

void Module11::reparerBases()
{
    // The cursors let go of the files while they are repaired, and read again
    // afterwards what they held.
    Cursor *const cursors[] = {&m_données.Donnée1(), &m_données.Donnée2(), &m_données.Donnée3(),
                               &m_données.Donnée4()};
    m_données.closeAll();
    QStringList files;
    if (isNormalFile(CheminEcole() + QStringLiteral("\\ALTEMARE.MDB")))
        files << CheminEcole() + QStringLiteral("\\ALTEMARE.MDB");
    files << CheminBase() + QStringLiteral("\\LUMA.MDB") << CheminBase() + QStringLiteral("\\MEMBRES.MDB")
          << CheminBase() + QStringLiteral("\\COTATION.MDB");

    // French puts 0 and 1 in the singular.
    const auto pluriel = [](long long n) { return n > 1 ? QStringLiteral("s") : QString(); };
    QStringList report;
    bool failed = false;
    m_services.pointer.hourglass();
    for (const QString &file : files) {
        // A database that is not there is not created; a failed repair is told
        // and the others are still attempted.
        if (!isNormalFile(file))
            continue;
        const QString name = nativePath(file).section(QLatin1Char('/'), -1);
        try {
            const RepairReport done = RepairDatabase(nativePath(file));
            QString line =
                QStringLiteral("%1 : %2 fiche%3 gardée%3").arg(name).arg(done.kept).arg(pluriel(done.kept));
            if (done.setAside == 0) {
                line += QStringLiteral(", aucune mise de côté.");
            } else {
                QStringList tables;
                for (const QString &table : done.sideTables)
                    tables << QStringLiteral("« %1 »").arg(table);
                line += QStringLiteral(", %1 fiche%2 mise%2 de côté dans %3 %4.")
                            .arg(done.setAside)
                            .arg(pluriel(done.setAside),
                                 tables.size() > 1 ? QStringLiteral("les tables") : QStringLiteral("la table"),
                                 tables.join(QStringLiteral(", ")));
            }
            line += QStringLiteral("\nCopie à l'identique du fichier endommagé : %1").arg(done.backup);
            report << line;
        } catch (const AppError &failure) {
            failed = true;
            report << QStringLiteral("La réparation de « %1 » n'a pas abouti.\n(%2)")
                          .arg(name, withDataFolder(failure, CheminBase()));
        }
    }
    // Each cursor that had a database is open again on its record source, so
    // that the screens find a current record where they left one. One whose
    // file still cannot be read stays closed: the repair's report has said so.
    for (Cursor *cursor : cursors) {
        if (cursor->databaseName().isEmpty())
            continue;
        try {
            cursor->refresh();
        } catch (const std::exception &) {
        }
    }
    m_services.pointer.arrow();
    if (!report.isEmpty())
        m_services.messages.show(report.join(QStringLiteral("\n\n")), titreErreur(),
                                 failed ? MsgIcon::Exclamation : MsgIcon::Information, MsgButtons::Ok);
}

Module11::JournalValues Module11::valeursJournal()
{
    Feuilleenfant &d = m_données;
    return {d.Etiquette3().text(), d.Etiquette15().text(), d.Etiquette16().text(), d.Etiquette1().text(),
            d.Etiquette2().text(), d.Etiquette4().text(), d.Etiquette5().text(), d.Etiquette14().text(),
            d.Etiquette13().text()};
}

void Module11::EcritJournal(const QString &kind)
{
    EcritJournal(kind, valeursJournal());
}

void Module11::EcritJournal(const QString &kind, const JournalValues &v)
{
    ajouteAuJournal(composeJournal(kind, v));
}

Module11::EntreeJournal Module11::composeJournal(const QString &kind, const JournalValues &v)
{
    const QDateTime now = m_services.clock.now();
    m_fichierJournal = nomJournal(now);
    return ::composeJournal(CheminBase(), now, kind, v);
}

bool Module11::ajouteAuJournal(const EntreeJournal &entree)
{
    return ::ajouteAuJournal(entree, attenteVerrou());
}

bool Module11::repriseAuJournal(const EntreeJournal &entree, qint64 tailleAvant)
{
    return ::repriseAuJournal(entree, tailleAvant, attenteVerrou());
}

void Module11::endProgram()
{
    if (m_programEnded)
        return;
    m_programEnded = true;
    m_services.pointer.arrow();
    m_services.programEnd.endProgram();
}

bool Module11::trapped(const std::function<void()> &step)
{
    if (m_programEnded)
        return false;
    try {
        step();
        return true;
    } catch (const AppError &error) {
        GestionErreur(error);
    } catch (const std::exception &error) {
        GestionErreur(AppError(ErrorNumber::InternalError, descriptionErreur(ErrorNumber::InternalError) + QStringLiteral(" : ") + QString::fromLocal8Bit(error.what())));
    }
    return false;
}
