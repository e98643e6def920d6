#include "platform/sharedaccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kCatalogue = QStringLiteral("LUMA.MDB");

// The catalogue of a folder, whatever the case of its name (a folder copied
// from Windows keeps the case it had).
std::optional<struct stat> catalogueIn(const QString &folder)
{
    QStringList names{kCatalogue};
    const QStringList found = QDir(folder).entryList({kCatalogue}, QDir::Files | QDir::Hidden, QDir::Name);
    names += found;
    for (const QString &name : std::as_const(names)) {
        struct stat status {};
        if (::stat(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), &status) == 0 &&
            S_ISREG(status.st_mode))
            return status;
    }
    return std::nullopt;
}

} // namespace

namespace SharedAccess {

mode_t Model::folderMode() const
{
    // Search goes with reading: r-- becomes r-x.
    return fileMode | ((fileMode & 0444) >> 2) | S_ISGID;
}

std::optional<Model> forNewIn(const QString &nativeFolder)
{
    for (const QString &folder : {nativeFolder, QFileInfo(nativeFolder).absolutePath()}) {
        if (const auto status = catalogueIn(folder))
            return Model{status->st_gid, mode_t(status->st_mode & 0666)};
    }
    return std::nullopt;
}

void apply(int fd, bool folder, const std::optional<Model> &model)
{
    if (!model || fd < 0)
        return;
    // The group first: changing it may clear setgid. An account outside the
    // catalogue's group cannot give it; the mode is still set.
    (void)::fchown(fd, uid_t(-1), model->group);
    (void)::fchmod(fd, folder ? model->folderMode() : model->fileMode);
}

} // namespace SharedAccess
