// The colour file reader on any bytes: thirty values or one of the errors an
// old sequential read gave (13 not a number, 6 overflow, 62 too few values);
// colours read are written back and read again unchanged.

#include "fuzzsupport.h"
#include "fakes.h"

#include "module/module11.h"
#include "data/feuilleenfant.h"
#include "platform/geometry.h"

#include <QFile>

namespace {

struct Run
{
    FakeMessageBoxes messages;
    FakeSoundPlayer sound;
    FakeClock clock;
    FakeDisplay display;
    FakeProgramEnd programEnd;
    FakeMousePointer pointer;
    FakeSpeech speech;
    Feuilleenfant données;
    Geometry geometry;
    Module11 module{PlatformServices{messages, sound, clock, display, programEnd, pointer, speech}, données, geometry};

    Run() { module.setCheminBase(fuzz::workFolder()); }

    QList<short> colours() const
    {
        QList<short> out;
        for (int i = 0; i < 10; ++i)
            out << module.Rouge(i) << module.Vert(i) << module.Bleu(i);
        return out;
    }
};

void write(const QByteArray &bytes)
{
    QFile file(fuzz::workFolder() + QStringLiteral("/COULEURS.INI"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fuzz::finding(QStringLiteral("cannot write the colour file"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Run run;
    write(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    for (int i = 0; i < 10; ++i)
        run.module.setCouleur(i, 0, 0, 0);
    try {
        run.module.LitCouleurs();
    } catch (const AppError &error) {
        fuzz::expectNumber(error, {6, ErrorNumber::TypeMismatch, ErrorNumber::InputPastEnd});
        return 0;
    }
    const QList<short> read = run.colours();
    for (int i = 0; i < 10; ++i) {
        const QColor c = run.module.couleurClasse(i);
        fuzz::check(c.isValid(), QStringLiteral("colour %1 invalid").arg(i));
    }
    run.module.EcritCouleurs();
    for (int i = 0; i < 10; ++i)
        run.module.setCouleur(i, 0, 0, 0);
    try {
        run.module.LitCouleurs();
    } catch (const AppError &error) {
        fuzz::finding(QStringLiteral("colours written cannot be read back: %1").arg(error.description()));
    }
    fuzz::check(run.colours() == read, QStringLiteral("colours changed on the way through the file"));
    return 0;
}
