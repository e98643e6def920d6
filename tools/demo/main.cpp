// luma-demo: writes a demo data folder (LALUMA and ALTEMARE side by side)
// with invented classes, children, documents, requests, pictures and sounds.

#include "demogenerator.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <cstdio>

namespace {

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

QString usage()
{
    return QStringLiteral(
        "Usage : luma-demo DOSSIER [--documents N] [--children M] [--no-sounds] [--seed S]\n"
        "Crée DOSSIER/LALUMA et DOSSIER/ALTEMARE, un jeu de données de démonstration inventé.\n"
        "  --documents N  nombre de documents du catalogue (400 par défaut, au plus 100000)\n"
        "  --children M   nombre d'enfants (80 par défaut)\n"
        "  --no-sounds    ne fabrique pas les sons (sinon espeak-ng les dit)\n"
        "  --seed S       graine du tirage : la même graine donne le même dossier (1 par défaut)");
}

bool readNumber(const QStringList &args, int &i, long long &value)
{
    if (i + 1 >= args.size())
        return false;
    bool ok = false;
    value = args[++i].toLongLong(&ok);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    // The pictures are drawn with QPainter, which needs a GUI application but
    // no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    DemoOptions options;
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        long long number = 0;
        if (arg == "--help" || arg == "-h") {
            print(stdout, usage());
            return 0;
        } else if (arg == "--no-sounds") {
            options.sounds = false;
        } else if (arg == "--documents" || arg == "--children" || arg == "--seed") {
            if (!readNumber(args, i, number) || number < 0 || number > 0xFFFFFFFFLL) {
                print(stderr, QStringLiteral("luma-demo : %1 attend un nombre entier positif.\n").arg(arg) + usage());
                return 2;
            }
            if (arg == "--seed")
                options.seed = std::uint32_t(number);
            else
                (arg == "--documents" ? options.documents : options.children) = int(std::min(number, 1LL << 30));
        } else if (!arg.startsWith("--") && options.folder.isEmpty()) {
            options.folder = arg;
        } else {
            print(stderr, QStringLiteral("luma-demo : argument inconnu « %1 ».\n").arg(arg) + usage());
            return 2;
        }
    }
    if (options.folder.isEmpty()) {
        print(stderr, usage());
        return 2;
    }

    QElapsedTimer timer;
    timer.start();
    const DemoReport report = generateDemo(options);
    for (const QString &warning : report.warnings)
        print(stderr, QStringLiteral("luma-demo : attention : ") + warning);
    if (!report.ok) {
        print(stderr, QStringLiteral("luma-demo : ") + report.error);
        return 1;
    }
    print(stdout, QStringLiteral("Dossier de démonstration créé dans « %1 » en %2 s : %3 documents (%4 couvertures, "
                                 "%5 prêtés), %6 enfants (%7 photos) dans %8 classes, %9 requêtes, %10 sons.")
                      .arg(options.folder, QString::number(timer.elapsed() / 1000.0, 'f', 1),
                           QString::number(options.documents), QString::number(report.covers),
                           QString::number(report.loans), QString::number(options.children),
                           QString::number(report.photos), QString::number(report.classes),
                           QString::number(report.requests), QString::number(report.sounds)));
    return 0;
}
