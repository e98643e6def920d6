#pragma once

// Header only: what the screen benchmarks share. Platform services that stay
// silent (a message is printed, since no benchmark should meet one), the raw
// SQLite helpers that build their data folders, the large catalogue of the
// search benchmarks, and the timing, statistics and report lines.

#include "kiosk/kioskcontext.h"
#include "platform/services.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QSize>
#include <QString>
#include <QStringList>

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

namespace bench {

class Messages : public MessageBoxes
{
public:
    int show(const QString &text, const QString &, MsgIcon, MsgButtons) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        ++shown;
        return MsgAnswer::Ok;
    }
    int shown = 0;
};
class Silence : public SoundPlayer
{
public:
    void play(const QString &) override {}
};
class Quiet : public Speech
{
public:
    void say(const QString &) override {}
};
class Clock1 : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
class Display1 : public DisplayScreen
{
public:
    QSize sizePixels() const override { return {1024, 768}; }
};
class End : public ProgramEnd
{
public:
    void endProgram() override
    {
        std::fprintf(stderr, "the program ended\n");
        std::exit(1);
    }
};

inline void exec(sqlite3 *db, const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, message ? message : "?");
        std::exit(1);
    }
}

// Inserts rows of text through one prepared statement.
class Inserter
{
public:
    Inserter(sqlite3 *db, const char *sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
            std::exit(1);
        }
    }
    ~Inserter() { sqlite3_finalize(m_stmt); }
    Inserter(const Inserter &) = delete;
    Inserter &operator=(const Inserter &) = delete;
    void row(const QStringList &values)
    {
        for (int i = 0; i < values.size(); ++i) {
            const QByteArray utf8 = values[i].toUtf8();
            sqlite3_bind_text(m_stmt, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(m_stmt) != SQLITE_DONE) {
            std::fprintf(stderr, "%s\n", sqlite3_errmsg(m_db));
            std::exit(1);
        }
        sqlite3_reset(m_stmt);
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

inline sqlite3 *openNew(const QString &path)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        std::exit(1);
    return db;
}

inline QString number(int n, int width)
{
    return QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0'));
}

inline double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// The mouse pointer, silent. A search puts the hourglass up before its query
// and takes it down once the first document found is the current record,
// just before the display opens: while a touch is watched, the first arrow
// after it tells how long the query and its sort took.
class Pointer : public MousePointer
{
public:
    void hourglass() override {}
    void arrow() override
    {
        if (touch && queryDone < 0)
            queryDone = msSince(*touch);
    }
    void watch(const QElapsedTimer *timer)
    {
        touch = timer;
        queryDone = -1;
    }
    const QElapsedTimer *touch = nullptr;
    double queryDone = -1;
};

// Silent services and one run's program context on them, with the data
// folder set and the colours read.
struct BenchRun
{
    explicit BenchRun(const QString &laluma)
    {
        Module11 &m = context.module();
        m.setCheminBase(laluma);
        m.trapped([&] { m.LitCouleurs(); });
    }
    Messages messages;
    Silence sound;
    Clock1 clock;
    Display1 display;
    End programEnd;
    Pointer pointer;
    Quiet speech;
    KioskContext context{PlatformServices{messages, sound, clock, display, programEnd, pointer, speech}};
};

// Counts the paintings of the widgets it is installed on, to check that a
// step's events painted what the step changed (a cover or the empty frame, a
// page of pictures) before its time is read.
class PaintCounter : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

// The large catalogue of the search benchmarks: 100000 documents by default,
// titles and keywords drawn from a small vocabulary, so that words are found
// in a few rows, in thousands, or in the keywords only; covers for the
// documents of the common word and for one document in 97.

// Five digits as in a real catalogue, more when there are more documents:
// the program only needs the numbers to sort as text.
inline int inventoryWidth(int documents)
{
    return std::max(5, int(QString::number(documents).size()));
}

// The searched words. None of them is part of another word of the vocabulary.
inline const QString kRare = QStringLiteral("hippopotame");  // one title in 9973
inline const QString kCommon = QStringLiteral("loup");       // about one title in 45, a few keywords more
inline const QString kKeywordOnly = QStringLiteral("volcan"); // keywords only, one document in 200

// A word of `words` drawn with weights 1, 1/2, 1/3...: the first words are
// found in thousands of documents, the last ones in a few hundred.
class Vocabulary
{
public:
    explicit Vocabulary(QStringList words) : m_words(std::move(words))
    {
        std::vector<double> weights;
        for (int i = 0; i < m_words.size(); ++i)
            weights.push_back(1.0 / (i + 1));
        m_pick = std::discrete_distribution<int>(weights.begin(), weights.end());
    }
    const QString &draw(std::mt19937 &random) { return m_words[m_pick(random)]; }

private:
    QStringList m_words;
    std::discrete_distribution<int> m_pick;
};

inline QString capitalised(const QString &text)
{
    return text.isEmpty() ? text : text.front().toUpper() + text.mid(1);
}

// Covers of the size of the real ones (233 x 289), 24 bits: a few drawings
// kept beside the data folder, each cover a hard link to one of them, so that
// a million documents take little disk. Every cover is still opened and
// decoded on its own.
inline void makeCovers(const QString &root, const QStringList &inventaires)
{
    const QString folder = root + QStringLiteral("/LALUMA/LIVRES");
    QStringList drawings;
    for (int i = 0; i < 6; ++i) {
        QImage cover(233, 289, QImage::Format_RGB888);
        cover.fill(QColor::fromHsv(i * 60, 120, 230));
        QPainter painter(&cover);
        painter.setBrush(QColor::fromHsv(i * 60 + 30, 200, 150));
        painter.drawEllipse(30, 60, 170, 170);
        painter.drawText(QRect(0, 10, 233, 40), Qt::AlignCenter, QStringLiteral("Couverture %1").arg(i));
        painter.end();
        drawings << root + QStringLiteral("/couverture%1.bmp").arg(i);
        cover.save(drawings.last(), "BMP");
    }
    for (int i = 0; i < inventaires.size(); ++i) {
        const QString &source = drawings[i % drawings.size()];
        const QString file = folder + QLatin1Char('/') + inventaires[i] + QStringLiteral(".BMP");
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(file).constData()) != 0)
            QFile::copy(source, file);
    }
}

// The catalogue, inserted in a shuffled order, and its covers.
inline void makeCatalogue(const QString &root, int documents)
{
    static const QStringList subjects = {
        "l'ours", "le lapin", "la souris", "le chat", "le chien", "la poule", "le cochon", "la vache", "le renard",
        "le hérisson", "la tortue", "l'éléphant", "la girafe", "le lion", "le crocodile", "la grenouille",
        "l'escargot", "le papillon", "l'abeille", "le hibou", "la baleine", "le pingouin", "le dinosaure",
        "le dragon", "la sorcière", "la princesse", "le roi", "la reine", "le géant", "l'ogre", "la fée",
        "le pirate", "le chevalier", "le robot", "le fantôme", "le monstre", "le bébé", "maman", "papa",
        "grand-mère", "la maîtresse", "le facteur", "le pompier", "le boulanger", "Léo", "Zoé", "Noé", "Chloé"};
    static const QStringList adjectives = {"", "", "petit", "grand", "rouge", "magique", "timide", "drôle",
                                           "triste", "rapide", "sage", "énorme", "minuscule", "célèbre",
                                           "gourmand", "curieux", "endormi", "perdu"};
    static const QStringList endings = {"", "", "", "dans la forêt", "à l'école", "sur la lune", "au zoo",
                                        "à la mer", "chez grand-mère", "en hiver", "la nuit", "au marché",
                                        "et ses amis", "ne veut pas dormir", "a peur du noir", "fait du vélo",
                                        "va à la piscine", "cherche sa maison", "fête son anniversaire"};
    static const QStringList keywords = {
        "animaux", "ferme", "nature", "amitié", "famille", "peur", "nuit", "conte", "humour", "école",
        "saisons", "eau", "mer", "espace", "sciences", "corps humain", "alimentation", "transports", "métiers",
        "musique", "arts plastiques", "jeux", "comptines", "imagier", "histoire", "préhistoire", "Afrique",
        "Asie", "Europe", "France", "planètes", "météo", "jardinage", "cuisine", "sport", "émotions", "colère",
        "partage", "différence", "Noël", "hiver", "printemps", "été", "automne", "forêt", "montagne", "insectes",
        "oiseaux", "poissons", "couleurs", "formes", "chiffres", "alphabet", "politesse", "sommeil"};
    // Class, weight: fiction and albums first, a few empty or lettered.
    static const std::vector<std::pair<QString, double>> deweys = {
        {"843", 28}, {"E", 12}, {"", 6}, {"R", 3}, {"BD", 3}, {"590", 6}, {"591.5", 3}, {"398.2", 6},
        {"500", 3}, {"520", 2}, {"551.2", 2}, {"577", 2}, {"630", 2}, {"641.5", 2}, {"720", 2}, {"741.5", 3},
        {"781.6", 2}, {"808.8", 3}, {"910", 2}, {"944", 2}, {"306.8", 2}, {"152.4", 2}, {"030", 1}, {"612", 2}};
    static const QStringList publishers = {"L'École des loisirs", "Gallimard Jeunesse", "Nathan", "Milan",
                                           "Flammarion - Père Castor", "Bayard", "Hachette", "Didier Jeunesse",
                                           "Casterman", "Albin Michel Jeunesse"};

    std::mt19937 random(2024);
    Vocabulary subject(subjects), keyword(keywords);
    std::vector<double> deweyWeights;
    for (const auto &d : deweys)
        deweyWeights.push_back(d.second);
    std::discrete_distribution<int> dewey(deweyWeights.begin(), deweyWeights.end());
    const auto chance = [&](int inThousand) { return int(random() % 1000) < inThousand; };
    const auto pick = [&](const QStringList &words) { return words[int(random() % unsigned(words.size()))]; };
    const int width = inventoryWidth(documents);

    sqlite3 *catalogue = openNew(root + QStringLiteral("/LALUMA/LUMA.MDB"));
    exec(catalogue, "CREATE TABLE luma(inventaire TEXT, titre TEXT, éditeur TEXT, dewey TEXT, motsclés TEXT, "
                    "emprunt TEXT, emprunté TEXT, emprunteur TEXT, catégorieemprunteur TEXT, dateemprunt TEXT, "
                    "cumul TEXT); CREATE UNIQUE INDEX inventaire ON luma(inventaire); BEGIN");
    QStringList covered;
    {
        std::vector<int> order(static_cast<size_t>(documents));
        for (int i = 0; i < documents; ++i)
            order[size_t(i)] = i + 1;
        std::shuffle(order.begin(), order.end(), random);
        Inserter document(catalogue, "INSERT INTO luma VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
        for (int n : order) {
            const bool wolf = chance(22);
            QString who = n % 9973 == 1 ? QStringLiteral("l'hippopotame")
                          : wolf        ? (chance(300) ? QStringLiteral("le grand méchant loup") : QStringLiteral("le loup"))
                                        : subject.draw(random);
            QString title = capitalised(who);
            const QString adjective = pick(adjectives);
            if (!adjective.isEmpty())
                title += QLatin1Char(' ') + adjective;
            const QString ending = pick(endings);
            if (!ending.isEmpty())
                title += QLatin1Char(' ') + ending;
            if (chance(150))
                title = capitalised(subject.draw(random)) + QStringLiteral(" et ") + who;

            QStringList words;
            const int count = 1 + int(random() % 4);
            for (int k = 0; k < count; ++k) {
                const QString &w = keyword.draw(random);
                if (!words.contains(w))
                    words << w;
            }
            if ((wolf && chance(500)) || chance(5))
                words << kCommon;
            if (chance(5))
                words << kKeywordOnly;
            if (wolf || words.contains(kCommon) || n % 97 == 1)
                covered << number(n, width);

            document.row({number(n, width), title, pick(publishers), deweys[size_t(dewey(random))].first,
                          words.join(QStringLiteral(", ")), n % 97 == 0 ? QStringLiteral("N") : QStringLiteral("O"),
                          QStringLiteral("N"), QString(), QString(), QString(), QString::number(n % 13)});
        }
    }
    exec(catalogue, "COMMIT");
    sqlite3_close(catalogue);
    makeCovers(root, covered);
    std::printf("%lld covers\n", static_cast<long long>(covered.size()));
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline double maximum(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

inline void report(const QString &what, const std::vector<double> &ms, double target = 0)
{
    std::printf("%-58s median %8.2f ms  max %8.2f ms  (%zu", qPrintable(what), median(ms), maximum(ms), ms.size());
    if (target > 0)
        std::printf(", target < %g ms) %s\n", target, median(ms) < target ? "ok" : "TOO SLOW");
    else
        std::printf(")\n");
}

// One line of the summary: the slowest case of a figure against its target
// (none for the reference).
inline void verdict(const char *what, const std::vector<std::vector<double>> &cases, double target)
{
    double worstMedian = 0, worstMax = 0;
    for (const std::vector<double> &ms : cases) {
        worstMedian = std::max(worstMedian, median(ms));
        worstMax = std::max(worstMax, maximum(ms));
    }
    std::printf("%-46s median %8.2f ms  max %8.2f ms", what, worstMedian, worstMax);
    if (target > 0)
        std::printf("  target < %5g ms  %s%s\n", target, worstMedian < target ? "PASS" : "FAIL",
                    worstMedian < target && worstMax >= target ? " (max over target)" : "");
    else
        std::printf("  (no target)\n");
}

} // namespace bench
