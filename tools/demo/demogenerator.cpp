#include "demogenerator.h"

#include "democontent.h"
#include "drawings.h"
#include "platform/textfile.h"
#include "sqlitefile.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <stdexcept>

QString demoInventory(int index)
{
    return QStringLiteral("%1").arg((index + 1) % 100000, 5, 10, QLatin1Char('0'));
}

namespace {

using namespace DemoContent;

struct Child
{
    QString matricule, nom, prenom, classe, niveau;
    bool photo = true;
};

struct Document
{
    QString inventaire, titre, editeur, dewey, motscles, emprunt, emprunte, emprunteur, categorie, dateemprunt,
        cumul;
    Motif motif = Motif::Livre;
};

// Above this many documents the catalogue is for measuring, not for looking
// at: only the first covers are drawn.
constexpr int CoverLimitWhenLarge = 400;
constexpr int LargeCatalogue = 2000;
constexpr int ChildrenPerClassMax = 35;
constexpr int MaxClasses = 15;

// Share of the documents in each Dewey main class, in percent.
constexpr int DeweyShare[10] = {3, 2, 2, 9, 2, 14, 7, 6, 51, 4};

[[noreturn]] void failWith(const QString &message)
{
    throw std::runtime_error(message.toStdString());
}

QString joinKeywords(const QString &a, const QString &b)
{
    QStringList words;
    for (const QString &part : (a + QStringLiteral(", ") + b).split(QStringLiteral(", "))) {
        if (!part.isEmpty() && !words.contains(part))
            words << part;
    }
    return words.join(QStringLiteral(", "));
}

// A value in the request files' sequential syntax: quoted when it has to be,
// and also when the file is written in the fully quoted style.
QString requestValue(const QString &value, bool alwaysQuote)
{
    const bool mustQuote = value.contains(',') || value.trimmed() != value || value.isEmpty();
    return (alwaysQuote || mustQuote) ? QLatin1Char('"') + value + QLatin1Char('"') : value;
}

class Generator
{
public:
    Generator(const DemoOptions &options, DemoReport &report)
        : m_options(options), m_report(report), m_random(options.seed), m_today(QDate::currentDate())
    {
    }

    void run()
    {
        prepareFolders();
        makeSchool();
        makeCatalogue();
        makeDescriptors();
        makeMembers();
        makeRequests();
        if (m_options.sounds)
            makeSounds();
    }

private:
    void prepareFolders()
    {
        const QDir root(m_options.folder);
        for (const QString &name : {QStringLiteral("LALUMA"), QStringLiteral("ALTEMARE")}) {
            const QString path = root.filePath(name);
            if (QFileInfo(path).isDir() && !QDir(path).isEmpty())
                failWith(QStringLiteral("Le dossier « %1 » existe déjà et n'est pas vide : je n'y touche pas. "
                                        "Choisissez un autre dossier ou videz celui-ci.")
                             .arg(QDir::toNativeSeparators(path)));
        }
        m_base = root.filePath(QStringLiteral("LALUMA"));
        m_school = root.filePath(QStringLiteral("ALTEMARE"));
        for (const QString &path :
             {m_school, m_base, m_base + "/SONS", m_base + "/LIVRES", m_base + "/IMAGES", m_base + "/REQUETES"}) {
            if (!QDir().mkpath(path))
                failWith(QStringLiteral("Impossible de créer le dossier « %1 ».").arg(QDir::toNativeSeparators(path)));
        }
    }

    void saveBmp(const QImage &image, const QString &path)
    {
        if (!image.save(path, "BMP"))
            failWith(QStringLiteral("Impossible d'écrire l'image « %1 ».").arg(QDir::toNativeSeparators(path)));
    }

    // --- School: classes, children, class pictures, photographs ---

    QList<int> classSizes(int classCount) const
    {
        const int total = m_options.children;
        QList<int> sizes(classCount, total / classCount);
        for (int i = 0; i < total % classCount; ++i)
            ++sizes[i];
        // One class noticeably bigger than the others, as in a real school.
        int extra = std::min(sizes[0] / 4, ChildrenPerClassMax - sizes[0]);
        for (int i = 1; extra > 0 && classCount > 1; i = i % (classCount - 1) + 1) {
            if (sizes[i] > 1) {
                --sizes[i];
                ++sizes[0];
                --extra;
            } else if (std::all_of(sizes.begin() + 1, sizes.end(), [](int s) { return s <= 1; })) {
                break;
            }
        }
        return sizes;
    }

    void makeSchool()
    {
        const int classCount = std::clamp((m_options.children + 19) / 20, 4, MaxClasses);
        const QList<int> sizes = classSizes(classCount);
        m_report.classes = classCount;
        static const QStringList levels{"PS", "MS", "GS", "MS/GS"};

        int matricule = 100;
        for (int c = 0; c < classCount; ++c) {
            const QString classe = QStringLiteral("%1").arg(c + 1, 2, 10, QLatin1Char('0'));
            QSet<QString> namesInClass;
            for (int k = 0; k < sizes[c]; ++k) {
                Child child;
                matricule += m_random.between(1, 4);
                child.matricule = QString::number(matricule);
                for (int attempt = 0; attempt < 6; ++attempt) {
                    child.nom = m_random.pick(surnames());
                    child.prenom = m_random.pick(firstNames());
                    if (!namesInClass.contains(child.nom + ' ' + child.prenom))
                        break;
                }
                namesInClass.insert(child.nom + ' ' + child.prenom);
                child.classe = classe;
                const QString level = levels[c % levels.size()];
                child.niveau = level == "MS/GS" ? (m_random.chance(50) ? "MS" : "GS") : level;
                // Photographs for the children a class screen can show.
                child.photo = k < ChildrenPerClassMax;
                m_children << child;
            }
        }
        // A few children without a photograph, so the default picture shows too.
        const int withoutPhoto = m_children.size() >= 10 ? 3 : int(m_children.size()) / 4;
        for (int n = 0; n < withoutPhoto;) {
            Child &child = m_children[m_random.below(int(m_children.size()))];
            if (child.photo) {
                child.photo = false;
                ++n;
            }
        }

        SqliteFile db(m_school + "/ALTEMARE.MDB");
        db.exec(QStringLiteral("CREATE TABLE enfants(matricule TEXT, nomenfant TEXT, prénomenfant TEXT, "
                               "classe TEXT, niveau TEXT);"
                               "CREATE TABLE équipe(équipenuméro TEXT, équipeinstituteur TEXT);"
                               "BEGIN"));
        {
            SqliteFile::Insert insert(db, QStringLiteral("INSERT INTO enfants VALUES(?, ?, ?, ?, ?)"));
            for (const Child &child : std::as_const(m_children))
                insert.row({child.matricule, child.nom, child.prenom, child.classe, child.niveau});
            SqliteFile::Insert team(db, QStringLiteral("INSERT INTO équipe VALUES(?, ?)"));
            for (int c = 0; c < classCount; ++c)
                team.row({QString::number(c + 1), teachers().at(c)});
        }
        db.exec(QStringLiteral("COMMIT"));

        for (int c = 0; c < classCount; ++c)
            saveBmp(DemoDrawings::classPicture(c + 1, classThemes().at(c), teachers().at(c),
                                               DemoDrawings::brightColour(m_random)),
                    m_school + QStringLiteral("/CLASSE%1.BMP").arg(c + 1, 2, 10, QLatin1Char('0')));
        for (const Child &child : std::as_const(m_children)) {
            const DemoDrawings::ChildLook look = DemoDrawings::childLook(m_random);
            if (!child.photo)
                continue;
            saveBmp(DemoDrawings::childPhoto(look), m_school + "/" + child.matricule + ".BMP");
            ++m_report.photos;
        }
    }

    // --- Catalogue ---

    int deweyClassFor(int index)
    {
        // The first document of each tenth of the catalogue takes each main
        // class in turn, so that all ten are present.
        const int n = m_options.documents;
        if (n >= 10 && (index == 0 || index * 10 / n != (index - 1) * 10 / n))
            return index * 10 / n;
        int roll = m_random.below(100);
        for (int c = 0; c < 10; ++c) {
            roll -= DeweyShare[c];
            if (roll < 0)
                return c;
        }
        return 8;
    }

    Document makeDocument(int index)
    {
        Document doc;
        doc.inventaire = demoInventory(index);
        const int deweyClass = deweyClassFor(index);
        if (deweyClass == 8 && m_random.chance(88)) {
            const AlbumHero &hero = m_random.pick(albumHeroes());
            const AlbumStory &story = m_random.pick(albumStories());
            doc.titre = hero.name + ' ' + story.text;
            doc.dewey = m_random.chance(90) ? QStringLiteral("843") : QStringLiteral("843.9");
            doc.motscles = joinKeywords(hero.keywords, story.keywords);
            doc.motif = hero.motif;
        } else {
            QList<Book> shelf;
            for (const Book &book : books())
                if (book.dewey.startsWith(QChar('0' + deweyClass)))
                    shelf << book;
            const Book &book = m_random.pick(shelf);
            doc.titre = book.title;
            doc.dewey = book.dewey;
            doc.motscles = book.keywords;
            doc.motif = book.motif;
        }
        doc.editeur = m_random.pick(publishers());
        doc.emprunt = m_random.chance(deweyClass == 0 ? 40 : 2) ? QStringLiteral("N") : QStringLiteral("O");
        doc.emprunte = QStringLiteral("N");
        if (doc.emprunt == "O" && m_random.chance(60)) {
            // Lent before and brought back: the program leaves the return date.
            doc.emprunteur = QStringLiteral("");
            doc.categorie = QStringLiteral("");
            doc.dateemprunt = m_today.addDays(-m_random.between(15, 300)).toString(QStringLiteral("dd/MM/yyyy"));
            doc.cumul = QString::number(m_random.between(1, 12));
        } else if (m_random.chance(50)) {
            doc.cumul = QStringLiteral("0");
        }
        return doc;
    }

    void lendSomeDocuments(QList<Document> &documents)
    {
        const int loans = std::min(std::max(1, int(m_children.size()) / 10), int(documents.size()) / 4);
        QList<int> order(m_children.size());
        for (int i = 0; i < order.size(); ++i)
            order[i] = i;
        for (int i = int(order.size()) - 1; i > 0; --i)
            std::swap(order[i], order[m_random.below(i + 1)]);
        for (int l = 0; l < loans; ++l) {
            for (int attempt = 0; attempt < 50; ++attempt) {
                Document &doc = documents[m_random.below(int(documents.size()))];
                if (doc.emprunt != "O" || doc.emprunte == "O")
                    continue;
                doc.emprunte = QStringLiteral("O");
                doc.emprunteur = m_children[order[l]].matricule;
                doc.categorie = QStringLiteral("école");
                doc.dateemprunt = m_today.addDays(-m_random.between(1, 12)).toString(QStringLiteral("dd/MM/yyyy"));
                doc.cumul = QString::number(doc.cumul.toInt() + 1);
                ++m_report.loans;
                break;
            }
        }
    }

    void makeCatalogue()
    {
        QList<Document> documents;
        documents.reserve(m_options.documents);
        for (int i = 0; i < m_options.documents; ++i)
            documents << makeDocument(i);
        lendSomeDocuments(documents);

        SqliteFile db(m_base + "/LUMA.MDB");
        db.exec(QStringLiteral("CREATE TABLE luma(inventaire TEXT UNIQUE, titre TEXT, éditeur TEXT, dewey TEXT, "
                               "motsclés TEXT, emprunt TEXT, emprunté TEXT, emprunteur TEXT, "
                               "catégorieemprunteur TEXT, dateemprunt TEXT, cumul TEXT);"
                               "BEGIN"));
        {
            SqliteFile::Insert insert(db, QStringLiteral("INSERT INTO luma VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
            for (const Document &d : std::as_const(documents))
                insert.row({d.inventaire, d.titre, d.editeur, d.dewey, d.motscles, d.emprunt, d.emprunte,
                            d.emprunteur, d.categorie, d.dateemprunt, d.cumul});
        }
        db.exec(QStringLiteral("COMMIT"));

        const int drawn = m_options.documents > LargeCatalogue ? CoverLimitWhenLarge : m_options.documents;
        for (int i = 0; i < drawn; ++i) {
            const QColor background = DemoDrawings::brightColour(m_random);
            if (!m_random.chance(90))
                continue; // about one document in ten has no cover
            const Document &d = documents[i];
            saveBmp(DemoDrawings::cover(d.titre, d.editeur, d.motif, background),
                    m_base + "/LIVRES/" + d.inventaire + ".BMP");
            ++m_report.covers;
        }
    }

    // --- Descriptors and the members' file ---

    void makeDescriptors()
    {
        QStringList words = descriptors();
        for (int i = int(words.size()) - 1; i > 0; --i)
            words.swapItemsAt(i, m_random.below(i + 1));
        SqliteFile db(m_base + "/COTATION.MDB");
        db.exec(QStringLiteral("CREATE TABLE [luma+](descripteur TEXT); BEGIN"));
        {
            SqliteFile::Insert insert(db, QStringLiteral("INSERT INTO [luma+] VALUES(?)"));
            for (const QString &word : std::as_const(words))
                insert.row({word});
        }
        db.exec(QStringLiteral("COMMIT"));
    }

    void makeMembers()
    {
        SqliteFile db(m_base + "/MEMBRES.MDB");
        db.exec(QStringLiteral("CREATE TABLE membres(numéro TEXT, nom TEXT, catégorie TEXT); BEGIN"));
        {
            SqliteFile::Insert insert(db, QStringLiteral("INSERT INTO membres VALUES(?, ?, ?)"));
            for (int c = 0; c < m_report.classes; ++c)
                insert.row({QString::number(c + 1), teachers().at(c), QStringLiteral("enseignant")});
        }
        db.exec(QStringLiteral("COMMIT"));
    }

    // --- Saved requests and their pictures ---

    void makeRequests()
    {
        const QList<SavedRequest> &requests = savedRequests();
        for (int i = 0; i < requests.size(); ++i) {
            const SavedRequest &r = requests[i];
            // A condition with OR is in brackets: the program appends " AND (classes)".
            const QStringList values{QStringLiteral("SELECT * FROM luma WHERE ") + r.condition, r.title, r.picture,
                                     r.sound};
            QString text;
            if (i == 1) {
                // One file with its values on a single line.
                QStringList quoted;
                for (const QString &v : values)
                    quoted << requestValue(v, true);
                text = quoted.join(',') + QStringLiteral("\r\n");
            } else {
                // The others one value per line; every third one leaves the
                // values that need no quotes unquoted.
                const bool alwaysQuote = i % 3 != 2;
                text = requestValue(values[0], true) + QStringLiteral("\r\n");
                for (int v = 1; v < values.size(); ++v)
                    text += requestValue(values[v], alwaysQuote) + QStringLiteral("\r\n");
            }
            QFile file(m_base + "/REQUETES/" + r.file);
            if (!file.open(QIODevice::WriteOnly) || file.write(TextFile::encode1252(text)) < 0)
                failWith(QStringLiteral("Impossible d'écrire la requête « %1 ».")
                             .arg(QDir::toNativeSeparators(file.fileName())));
            file.close();
            const QColor background = DemoDrawings::brightColour(m_random);
            if (r.picture.compare(QStringLiteral(".BMP"), Qt::CaseInsensitive) != 0)
                saveBmp(DemoDrawings::requestPicture(r.motif, background), m_base + "/IMAGES/" + r.picture);
            ++m_report.requests;
        }
    }

    // --- Spoken sounds ---

    void makeSounds()
    {
        const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
        if (espeak.isEmpty()) {
            m_report.warnings << QStringLiteral("espeak-ng est introuvable : le dossier SONS reste vide "
                                                "(sudo apt-get install espeak-ng).");
            return;
        }
        QList<FixedSound> sounds = fixedSounds();
        for (const SavedRequest &r : savedRequests())
            sounds << FixedSound{r.sound, r.title};
        for (const FixedSound &sound : std::as_const(sounds)) {
            const QString path = m_base + "/SONS/" + sound.file;
            QProcess process;
            process.start(espeak, {QStringLiteral("-v"), QStringLiteral("fr"), QStringLiteral("-s"),
                                   QStringLiteral("140"), QStringLiteral("-w"), path, sound.text});
            const bool finished = process.waitForFinished(30000);
            if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0
                || !QFileInfo(path).isFile()) {
                if (!finished)
                    process.kill();
                m_report.warnings << QStringLiteral("espeak-ng n'a pas pu dire « %1 » : sons incomplets.")
                                         .arg(sound.text);
                return;
            }
            ++m_report.sounds;
        }
    }

    const DemoOptions &m_options;
    DemoReport &m_report;
    DemoRandom m_random;
    const QDate m_today;
    QString m_base, m_school;
    QList<Child> m_children;
};

} // namespace

DemoReport generateDemo(const DemoOptions &options)
{
    DemoReport report;
    if (options.folder.isEmpty()) {
        report.error = QStringLiteral("Aucun dossier n'a été donné.");
        return report;
    }
    if (options.documents < 1 || options.documents > MaxDemoDocuments) {
        report.error = QStringLiteral("Le nombre de documents doit être compris entre 1 et %1.")
                           .arg(MaxDemoDocuments);
        return report;
    }
    if (options.children < 1 || options.children > MaxDemoChildren) {
        report.error = QStringLiteral("Le nombre d'enfants doit être compris entre 1 et %1.").arg(MaxDemoChildren);
        return report;
    }
    try {
        Generator(options, report).run();
        report.ok = true;
    } catch (const std::exception &e) {
        report.error = QString::fromStdString(e.what());
    }
    return report;
}
