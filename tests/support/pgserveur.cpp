#include "pgserveur.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <libpq-fe.h>

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int kDelaiMs = 30000;

QString dossierBinaires()
{
    const QString donne = qEnvironmentVariable("LUMA_PG_BINDIR");
    if (!donne.isEmpty())
        return donne;
    if (QFileInfo::exists(QStringLiteral("/usr/lib/postgresql/15/bin/initdb")))
        return QStringLiteral("/usr/lib/postgresql/15/bin");
    const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    return initdb.isEmpty() ? QString() : QFileInfo(initdb).absolutePath();
}

const QString kPrefixe = QStringLiteral("luma-pg-");

// The clusters of earlier runs that died without removing theirs (a test
// aborted: the server went with it, its folder stayed). A folder is named
// after the test process that made it ("luma-pg-<pid>-…"): another suite
// running at the same time keeps its own, whatever state its server is in
// (initdb's single-user steps leave a stale postmaster.pid between them).
void retireRestes()
{
    const QDir temp(QDir::tempPath());
    for (const QFileInfo &reste : temp.entryInfoList({kPrefixe + u'*'}, QDir::Dirs | QDir::Hidden)) {
        const QString suite = reste.fileName().mid(kPrefixe.size());
        bool nombre = false;
        const pid_t proprietaire = pid_t(suite.section(u'-', 0, 0).toInt(&nombre));
        const bool vivant = nombre && proprietaire > 0 ? ::kill(proprietaire, 0) == 0 || errno == EPERM
                                                       : reste.lastModified().secsTo(QDateTime::currentDateTime()) < 600;
        if (!vivant)
            QDir(reste.filePath()).removeRecursively();
    }
}

} // namespace

bool PgServeur::requis()
{
    return LUMA_REQUIRE_POSTGRESQL;
}

bool PgServeur::lance(QProcess &processus, const QString &programme, const QStringList &arguments)
{
    const int uid = m_uid, gid = m_gid;
    processus.setChildProcessModifier([uid, gid] {
        if (gid >= 0 && (setgroups(0, nullptr) != 0 || setgid(gid_t(gid)) != 0))
            _exit(126);
        if (uid >= 0 && setuid(uid_t(uid)) != 0)
            _exit(126);
        // After the change of user, which clears it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    processus.setWorkingDirectory(m_dossier.path());
    processus.setProcessChannelMode(QProcess::MergedChannels);
    processus.start(QDir(m_bin).filePath(programme), arguments);
    if (!processus.waitForStarted()) {
        m_erreur = QStringLiteral("%1 : %2").arg(programme, processus.errorString());
        return false;
    }
    return true;
}

PgServeur::PgServeur()
    : m_dossier(QDir::tempPath() + u'/' + kPrefixe + QString::number(::getpid()) + QStringLiteral("-XXXXXX"))
{
    QElapsedTimer chrono;
    chrono.start();
    m_bin = dossierBinaires();
    if (m_bin.isEmpty() || !QFileInfo(QDir(m_bin).filePath(QStringLiteral("postgres"))).isExecutable()) {
        m_erreur = QStringLiteral("programmes du serveur PostgreSQL 15 introuvables (postgresql-15, ou LUMA_PG_BINDIR)");
        return;
    }
    retireRestes();
    if (!m_dossier.isValid()) {
        m_erreur = m_dossier.errorString();
        return;
    }
    if (geteuid() == 0) {
        const passwd *personne = getpwnam("nobody");
        if (!personne || chown(QFile::encodeName(m_dossier.path()).constData(), personne->pw_uid, personne->pw_gid) != 0) {
            m_erreur = QStringLiteral("pas d'utilisateur « nobody » pour faire tourner le serveur");
            return;
        }
        m_uid = int(personne->pw_uid);
        m_gid = int(personne->pw_gid);
    }

    const QString donnees = m_dossier.filePath(QStringLiteral("donnees"));
    QProcess initdb;
    if (!lance(initdb, QStringLiteral("initdb"),
               {QStringLiteral("-D"), donnees, QStringLiteral("-U"), QStringLiteral("luma"), QStringLiteral("-A"),
                QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"),
                QStringLiteral("-N")}))
        return;
    if (!initdb.waitForFinished(kDelaiMs) || initdb.exitStatus() != QProcess::NormalExit || initdb.exitCode() != 0) {
        m_erreur = QStringLiteral("initdb : %1").arg(QString::fromLocal8Bit(initdb.readAll()));
        return;
    }

    if (!demarrePostgres())
        return;
    m_duree = chrono.elapsed();
}

bool PgServeur::demarrePostgres()
{
    QElapsedTimer chrono;
    chrono.start();
    // No TCP at all, no fsync: a server for this run only.
    if (!lance(m_postgres, QStringLiteral("postgres"),
               {QStringLiteral("-D"), m_dossier.filePath(QStringLiteral("donnees")), QStringLiteral("-k"),
                m_dossier.path(), QStringLiteral("-F"), QStringLiteral("-c"), QStringLiteral("listen_addresses="),
                QStringLiteral("-c"), QStringLiteral("max_connections=40")}))
        return false;
    const QByteArray connexion = conninfo().toUtf8() + " connect_timeout=2";
    while (PQping(connexion.constData()) != PQPING_OK) {
        if (m_postgres.state() == QProcess::NotRunning || chrono.elapsed() > kDelaiMs) {
            m_erreur = QStringLiteral("le serveur PostgreSQL ne démarre pas : %1")
                           .arg(QString::fromLocal8Bit(m_postgres.readAll()));
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

bool PgServeur::redemarre()
{
    // Fast shutdown: every session is ended, as when a server restarts.
    ::kill(pid_t(m_postgres.processId()), SIGINT);
    if (!m_postgres.waitForFinished(kDelaiMs))
        return false;
    return demarrePostgres();
}

PgServeur::~PgServeur()
{
    if (m_postgres.state() == QProcess::NotRunning)
        return;
    // Fast shutdown: the sessions still open are ended.
    ::kill(pid_t(m_postgres.processId()), SIGINT);
    if (!m_postgres.waitForFinished(10000)) {
        m_postgres.kill();
        m_postgres.waitForFinished();
    }
}

QString PgServeur::conninfo() const
{
    return QStringLiteral("host='%1' port=5432 dbname=postgres user=luma").arg(m_dossier.path());
}
