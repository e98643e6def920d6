#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <random>

// The invented content of the demo data folder: names, titles, publishers,
// subject words and saved requests, and the seeded random source that picks
// among them so that one seed always gives the same folder.

// A simple picture that the drawings know how to make; used on covers, class
// pictures and request pictures.
enum class Motif {
    Loup, Chat, Ours, Lapin, Cochon, Souris, Renard, Lion,
    Poule, Poisson, Hibou, Coccinelle, Papillon, Tortue, Dinosaure,
    Lune, Soleil, Etoile, Ecole, Bateau, Arbre, Fleur, Coeur, Chateau,
    Voiture, Note, Flocon, Gateau, Crayon, Fusee, Livre, Globe, Parapluie, Enfant,
};

class DemoRandom
{
public:
    explicit DemoRandom(std::uint32_t seed) : m_engine(seed) {}

    // 0 <= result < n (n > 0). The engine's output is fixed by the standard,
    // so the folder is the same on every machine.
    int below(int n) { return int(m_engine() % std::uint32_t(n)); }
    int between(int low, int high) { return low + below(high - low + 1); }
    bool chance(int percent) { return below(100) < percent; }
    template<typename T>
    const T &pick(const QList<T> &list) { return list.at(below(int(list.size()))); }

private:
    std::mt19937 m_engine;
};

namespace DemoContent {

struct AlbumHero
{
    QString name;     // "Petit Loup"
    Motif motif;
    QString keywords; // "loup"
};

struct AlbumStory
{
    QString text;     // "a peur du noir"
    QString keywords; // "nuit, peur"
};

struct Book
{
    QString title;
    QString dewey;
    QString keywords;
    Motif motif;
};

struct ClassTheme
{
    QString name; // "Les Lapins"
    Motif motif;
};

struct SavedRequest
{
    QString file;      // "LOUPS.RQT"
    QString condition; // the WHERE condition, in Jet SQL
    QString title;
    QString picture;   // in IMAGES, ".BMP" for none
    Motif motif;
    QString sound;     // in SONS
};

struct FixedSound
{
    QString file;
    QString text;
};

const QStringList &firstNames();
const QStringList &surnames();
const QStringList &teachers();
const QList<ClassTheme> &classThemes();
const QStringList &publishers();
const QList<AlbumHero> &albumHeroes();
const QList<AlbumStory> &albumStories();
// Documentaries, tales and poems of every Dewey main class.
const QList<Book> &books();
const QStringList &descriptors();
const QList<SavedRequest> &savedRequests();
const QList<FixedSound> &fixedSounds();

} // namespace DemoContent
