#include "gestion/conversionaccess.h"

#include "platform/apperror.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>

#ifdef LUMA_CONVERSION_ACCESS
#include "folderimport.h"
#endif

namespace {

#ifdef LUMA_CONVERSION_ACCESS

// The share of the whole done: the files in turn, each file's tables in
// turn, each table by its rows.
class Progression
{
public:
    explicit Progression(const AvancementConversion &avancement) : m_avancement(avancement) {}

    void fichiers(int nombre) { m_fichiers = std::max(nombre, 1); }
    void fichier(const QString &chemin)
    {
        ++m_fichier;
        m_nom = QFileInfo(chemin).fileName();
        dit(0.0, m_nom);
    }
    void table(const TableProgress &p)
    {
        const qint64 total = std::max(p.total, p.rows);
        const double lignes = p.finished ? 1.0 : total > 0 ? double(p.rows) / double(total) : 0.0;
        const double tables = (p.tableNumber + lignes) / std::max(p.tableCount, 1);
        dit(std::min(tables, 1.0), QStringLiteral("%1 : table %2").arg(m_nom, p.table));
    }

private:
    void dit(double dansLeFichier, const QString &etape)
    {
        if (m_avancement && m_fichier >= 0)
            m_avancement(int(1000.0 * (m_fichier + dansLeFichier) / m_fichiers), etape);
    }

    AvancementConversion m_avancement;
    int m_fichiers = 1;
    int m_fichier = -1;
    QString m_nom;
};

QString compteRendu(const FolderImportResult &resultat)
{
    QStringList lignes;
    QStringList originaux;
    for (const FolderFile &fichier : resultat.files) {
        if (fichier.state == FolderFile::State::Converted)
            originaux << QStringLiteral("  %1").arg(QDir::toNativeSeparators(fichier.archive));
    }
    if (originaux.isEmpty())
        lignes << QStringLiteral("Rien à convertir : aucun fichier n'est au format Access. Aucun fichier n'a été "
                                 "modifié.");
    else
        lignes << (originaux.size() > 1 ? QStringLiteral("%1 fichiers convertis. Les originaux, inchangés, sont :")
                                              .arg(originaux.size())
                                        : QStringLiteral("1 fichier converti. L'original, inchangé, est :"))
                      + QLatin1Char('\n') + originaux.join(QLatin1Char('\n'));
    for (const FolderFile &fichier : resultat.files) {
        for (const QString &avertissement : fichier.result.warnings)
            lignes << QStringLiteral("%1 : %2").arg(QFileInfo(fichier.path).fileName(), avertissement);
    }
    return lignes.join(QStringLiteral("\n\n"));
}

#endif

} // namespace

bool conversionDisponible()
{
#ifdef LUMA_CONVERSION_ACCESS
    return true;
#else
    return false;
#endif
}

ResultatConversion convertitDossier(const QString &dossier, const AvancementConversion &avancement,
                                    const std::atomic_bool *arret)
{
    ResultatConversion resultat;
#ifdef LUMA_CONVERSION_ACCESS
    Progression progression(avancement);
    FolderImportOptions options;
    options.filesPlanned = [&](int fichiers) { progression.fichiers(fichiers); };
    options.fileStarted = [&](const QString &fichier) {
        if (arret && *arret)
            throw AppError(ErrorNumber::InvalidOperation, QStringLiteral("Conversion arrêtée à votre demande."));
        progression.fichier(fichier);
    };
    options.import.progress = [&](const TableProgress &p) {
        if (arret && *arret)
            throw AppError(ErrorNumber::InvalidOperation, QStringLiteral("Conversion arrêtée à votre demande."));
        progression.table(p);
    };
    try {
        const FolderImportResult fait = importDataFolder(dossier, options);
        resultat.reussie = true;
        resultat.message = compteRendu(fait);
        if (avancement)
            avancement(1000, QString());
    } catch (const AppError &erreur) {
        resultat.message = erreur.description();
    } catch (const std::exception &erreur) {
        resultat.message = QStringLiteral("La conversion a échoué : %1").arg(QString::fromLocal8Bit(erreur.what()));
    }
#else
    Q_UNUSED(dossier)
    Q_UNUSED(avancement)
    Q_UNUSED(arret)
    resultat.message = QStringLiteral("Ce programme a été construit sans la conversion des fichiers Access "
                                      "(mdbtools) : convertissez le dossier avec la commande luma-import.");
#endif
    return resultat;
}

bool convertitAvecProgression(const QString &dossier, QWidget *parent)
{
    QProgressDialog dialogue(QStringLiteral("Préparation de la conversion…"), QStringLiteral("Arrêter"), 0, 1000,
                             parent);
    dialogue.setWindowTitle(QStringLiteral("Conversion des fichiers Access"));
    dialogue.setWindowModality(Qt::WindowModal);
    dialogue.setAutoClose(false);
    dialogue.setAutoReset(false);
    dialogue.setMinimumDuration(0);
    dialogue.setMinimumWidth(420);
    dialogue.setValue(0);

    std::atomic_bool arret = false;
    QObject::connect(&dialogue, &QProgressDialog::canceled, &dialogue, [&] {
        arret = true;
        dialogue.setLabelText(QStringLiteral("Arrêt de la conversion…"));
    });
    QPointer<QProgressDialog> cible(&dialogue);
    ResultatConversion resultat;
    QThread *fil = QThread::create([&] {
        resultat = convertitDossier(
            dossier,
            [cible](int pourMille, const QString &etape) {
                QMetaObject::invokeMethod(
                    cible,
                    [cible, pourMille, etape] {
                        if (!cible)
                            return;
                        cible->setValue(pourMille);
                        if (!etape.isEmpty())
                            cible->setLabelText(QStringLiteral("Conversion de %1…").arg(etape));
                    },
                    Qt::QueuedConnection);
            },
            &arret);
    });
    QEventLoop attente;
    QObject::connect(fil, &QThread::finished, &attente, &QEventLoop::quit);
    fil->start();
    attente.exec();
    fil->wait();
    delete fil;
    dialogue.hide();

    if (resultat.reussie)
        QMessageBox::information(parent, QStringLiteral("Conversion terminée"), resultat.message);
    else
        QMessageBox::warning(parent, QStringLiteral("Conversion impossible"), resultat.message);
    return resultat.reussie;
}
