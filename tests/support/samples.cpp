#include "samples.h"

#include <QDir>

namespace AccessSamples {

QString folder()
{
    return QStringLiteral(LUMA_ACCESS_SAMPLES);
}

QString file(const QString &name)
{
    return folder() + u'/' + name;
}

QString missing()
{
    if (folder().isEmpty())
        return QStringLiteral("No Access sample files: the build was given no LUMA_ACCESS_SAMPLES folder.");
    if (QDir(folder()).entryList({QStringLiteral("*.mdb"), QStringLiteral("*.accdb")}, QDir::Files).isEmpty())
        return QStringLiteral("No Access sample files in %1 (LUMA_ACCESS_SAMPLES).").arg(folder());
    return {};
}

bool required()
{
    return LUMA_REQUIRE_ACCESS_SAMPLES;
}

} // namespace AccessSamples
