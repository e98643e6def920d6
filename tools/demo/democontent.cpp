#include "democontent.h"

#include "platform/sonsboutons.h"

namespace DemoContent {

const QStringList &firstNames()
{
    static const QStringList names{
        "Élodie", "Zoé", "Noé", "Chloé", "Léa", "Maël", "Léo", "Inès", "Jules", "Louise",
        "Hugo", "Anaïs", "Théo", "Maëlys", "Raphaël", "Emma", "Gabriel", "Jade", "Nathan", "Manon",
        "Lucas", "Camille", "Louis", "Clémence", "Arthur", "Océane", "Mathéo", "Lou", "Timéo", "Éloïse",
        "Enzo", "Héloïse", "Adèle", "Noémie", "Gaël", "Joséphine", "Aurélien", "Mélissa", "Titouan", "Alice",
        "Paul", "Lina", "Ethan", "Margaux", "Sacha", "Rose", "Axel", "Célia", "Tom", "Capucine",
        "Nolan", "Maëva", "Loïc", "Romane", "Benoît", "Agathe", "Joachim", "Zélie", "Anatole", "Félix",
        "Bérénice", "Aurèle", "Léonie", "Mathis", "Cécile", "Noa", "Solène", "Jérémie", "Apolline", "Côme",
    };
    return names;
}

const QStringList &surnames()
{
    static const QStringList names{
        "MARTIN", "BERNARD", "DUBOIS", "LEFÈVRE", "MOREAU", "GIRARD", "ANDRÉ", "MERCIER", "DUPRÉ", "BLANCHARD",
        "GAUTHIER", "HÉBERT", "LEMAÎTRE", "CHEVALIER", "FAURE", "ROUSSEAU", "BÉRANGER", "DESCHAMPS", "PERRIN", "MÉNARD",
        "COLIN", "ROBIN", "BRUNET", "RENAUD", "BOYER", "LEGRAND", "GUÉRIN", "BOUCHER", "MARCHAND", "CARON",
        "NOËL", "BARBIER", "ARNAUD", "RIVIÈRE", "LAMBERT", "BOULANGER", "JOLY", "FONTAINE", "LECLERC", "MEUNIER",
        "GÉRARD", "PELLETIER", "BESNARD", "TESSIER", "CLÉMENT", "LÉGER", "FRÉMONT", "DELORME", "ÉVRARD", "AUBRY",
        "VALLÉE", "JOUBERT", "MOULIN", "PRÉVOST", "CHÂTELAIN", "LEBRETON", "TOUSSAINT", "HUET", "GILLET", "BÉNARD",
    };
    return names;
}

const QStringList &teachers()
{
    static const QStringList names{
        "Mme Lefèvre", "Mme Garnier", "M. Roussel", "Mme Hébert", "Mme Dupré",
        "M. Lemaître", "Mme Chevalier", "Mme Bézier", "M. Mérel", "Mme Fournier",
        "Mme Lacroix", "M. Perrin", "Mme Béranger", "Mme Joubert", "M. Gaillard",
    };
    return names;
}

const QList<ClassTheme> &classThemes()
{
    static const QList<ClassTheme> themes{
        {"Les Lapins", Motif::Lapin},       {"Les Coccinelles", Motif::Coccinelle},
        {"Les Tortues", Motif::Tortue},     {"Les Hiboux", Motif::Hibou},
        {"Les Papillons", Motif::Papillon}, {"Les Oursons", Motif::Ours},
        {"Les Poissons", Motif::Poisson},   {"Les Souris", Motif::Souris},
        {"Les Lions", Motif::Lion},         {"Les Renards", Motif::Renard},
        {"Les Chats", Motif::Chat},         {"Les Poussins", Motif::Poule},
        {"Les Étoiles", Motif::Etoile},     {"Les Soleils", Motif::Soleil},
        {"Les Fleurs", Motif::Fleur},
    };
    return themes;
}

const QStringList &publishers()
{
    static const QStringList names{
        "Éditions du Pré", "Éditions de la Girafe", "Le Hérisson Bleu", "Éditions de l'Écureuil",
        "Bouton d'Or Jeunesse", "Éditions des Trois Chouettes", "La Cabane aux Livres",
        "Éditions Mille Étoiles", "Plume et Crayon", "Éditions du Grand Chêne",
    };
    return names;
}

const QList<AlbumHero> &albumHeroes()
{
    static const QList<AlbumHero> heroes{
        {"Petit Loup", Motif::Loup, "loup"},
        {"Minou le chat", Motif::Chat, "chat"},
        {"Balthazar l'ours", Motif::Ours, "ours"},
        {"Pompon le lapin", Motif::Lapin, "lapin"},
        {"Groin-Groin le cochon", Motif::Cochon, "cochon, ferme"},
        {"Mimi la souris", Motif::Souris, "souris"},
        {"Roux le renard", Motif::Renard, "renard, forêt"},
        {"Léon le lion", Motif::Lion, "lion"},
        {"Cocotte la poule", Motif::Poule, "poule, ferme"},
        {"Bulle le poisson", Motif::Poisson, "poisson, mer"},
        {"Hulotte la chouette", Motif::Hibou, "chouette, oiseau"},
        {"Lili la coccinelle", Motif::Coccinelle, "insectes"},
        {"Tortillon la tortue", Motif::Tortue, "tortue"},
        {"Gros Dino", Motif::Dinosaure, "dinosaure"},
        {"Zoé", Motif::Enfant, "famille"},
        {"Noé", Motif::Enfant, "famille"},
        {"Chloé", Motif::Enfant, "amitié"},
    };
    return heroes;
}

const QList<AlbumStory> &albumStories()
{
    static const QList<AlbumStory> stories{
        {"et la lune", "nuit, lune"},
        {"va à l'école", "école"},
        {"a peur du noir", "nuit, peur"},
        {"à la mer", "mer, vacances"},
        {"ne veut pas dormir", "nuit, dodo"},
        {"fête son anniversaire", "anniversaire, fête"},
        {"cherche sa maman", "famille"},
        {"sous la pluie", "pluie, saisons"},
        {"dans la forêt", "forêt"},
        {"fait du vélo", "sport"},
        {"et la neige", "hiver, neige"},
        {"au jardin", "jardin, fleurs"},
        {"se met en colère", "émotions, colère"},
        {"a un petit frère", "famille"},
        {"et les couleurs", "couleurs"},
        {"part en voyage", "voyage, transports"},
        {"à la ferme", "ferme, animaux"},
        {"fait de la musique", "musique"},
        {"et le gâteau au chocolat", "cuisine, gâteau"},
        {"compte jusqu'à dix", "nombres"},
        {"cherche un ami", "amitié"},
        {"au pays des étoiles", "espace, étoiles"},
        {"et le loup gris", "loup, peur"},
        {"fait un château de sable", "mer, château"},
    };
    return stories;
}

const QList<Book> &books()
{
    static const QList<Book> list{
        {"Mon premier imagier", "030", "imagier, mots", Motif::Livre},
        {"Le grand livre des pourquoi", "030", "questions", Motif::Livre},
        {"Mon imagier des animaux", "030", "animaux, imagier", Motif::Lion},
        {"Les émotions de Lou", "152", "émotions", Motif::Coeur},
        {"J'ai peur du noir", "152", "peur, nuit", Motif::Lune},
        {"La colère, c'est quoi ?", "152.4", "colère, émotions", Motif::Coeur},
        {"Vivre ensemble à l'école", "170", "école, amitié", Motif::Ecole},
        {"Les fêtes du monde", "290", "fête, monde", Motif::Etoile},
        {"Les dieux du soleil", "292", "mythologie, soleil", Motif::Soleil},
        {"À l'école maternelle", "372", "école", Motif::Ecole},
        {"Les métiers de mon village", "331", "métiers", Motif::Enfant},
        {"Le code de la route des petits", "388", "voiture, transports", Motif::Voiture},
        {"Fêtes et traditions", "394", "fête, gâteau", Motif::Gateau},
        {"Le dragon qui avait le hoquet", "398.2", "conte, dragon", Motif::Chateau},
        {"La sorcière qui n'aimait pas le noir", "398.2", "conte, sorcière, nuit", Motif::Lune},
        {"Les trois petits lapins et le loup", "398.2", "conte, loup, lapin", Motif::Loup},
        {"Le géant au cœur tendre", "398.2", "conte, géant", Motif::Coeur},
        {"Le roi des grenouilles bleues", "398.2", "conte, roi", Motif::Chateau},
        {"La soupe au caillou du renard", "398.2", "conte, renard, cuisine", Motif::Renard},
        {"Le chevalier qui avait peur", "398.2", "conte, chevalier, château, peur", Motif::Chateau},
        {"Mes premiers mots d'anglais", "420", "anglais, mots", Motif::Livre},
        {"L'abécédaire des animaux", "441", "alphabet, animaux", Motif::Livre},
        {"Je parle avec les mains", "419", "signes, mots", Motif::Enfant},
        {"Les chiffres en s'amusant", "513", "nombres", Motif::Crayon},
        {"Les étoiles et la lune", "523", "espace, lune, étoiles", Motif::Lune},
        {"Le soleil et les saisons", "525", "saisons, soleil", Motif::Soleil},
        {"Le cycle de l'eau", "551", "eau, pluie", Motif::Parapluie},
        {"Les dinosaures", "567.9", "dinosaure, préhistoire", Motif::Dinosaure},
        {"Les arbres de la forêt", "582", "arbre, forêt", Motif::Arbre},
        {"Les fleurs du jardin", "580", "fleurs, jardin", Motif::Fleur},
        {"Les animaux de la mer", "591.7", "mer, animaux, poisson", Motif::Poisson},
        {"Les animaux de la nuit", "591.5", "nuit, animaux, chouette", Motif::Hibou},
        {"La vie des abeilles", "595.7", "insectes, abeille", Motif::Papillon},
        {"Les papillons", "595.7", "insectes, papillon", Motif::Papillon},
        {"Les oiseaux du jardin", "598", "oiseau, jardin", Motif::Poule},
        {"Le loup", "599.7", "loup, animaux, forêt", Motif::Loup},
        {"Les ours", "599.78", "ours, animaux, hiver", Motif::Ours},
        {"Le lapin", "599.32", "lapin, animaux", Motif::Lapin},
        {"Mon corps", "612", "corps humain", Motif::Enfant},
        {"Mes dents", "617.6", "corps humain, dents", Motif::Enfant},
        {"Les fusées", "629.4", "espace, fusée", Motif::Fusee},
        {"Les voitures", "629.2", "voiture, transports", Motif::Voiture},
        {"Les bateaux", "623.8", "bateau, mer, transports", Motif::Bateau},
        {"À la ferme", "630", "ferme, animaux", Motif::Cochon},
        {"Les poules de la ferme", "636.5", "poule, ferme", Motif::Poule},
        {"Mon chat", "636.8", "chat, animaux", Motif::Chat},
        {"Je cuisine avec Mamie", "641.5", "cuisine, gâteau", Motif::Gateau},
        {"Je dessine les animaux", "741", "dessin, animaux", Motif::Crayon},
        {"Les couleurs de l'arc-en-ciel", "752", "couleurs, dessin", Motif::Crayon},
        {"Les châteaux forts", "728.8", "château, chevalier", Motif::Chateau},
        {"Comptines et jeux de doigts", "782.42", "comptines, musique", Motif::Note},
        {"Les instruments de musique", "784", "musique", Motif::Note},
        {"Le football", "796.33", "sport", Motif::Enfant},
        {"Poèmes pour la lune", "841", "poésie, nuit, lune", Motif::Lune},
        {"Rimes du jardin", "841", "poésie, jardin, fleurs", Motif::Fleur},
        {"Poésies des quatre saisons", "841", "poésie, saisons, neige", Motif::Flocon},
        {"Le tour du monde de Pilou", "910", "monde, voyage", Motif::Globe},
        {"Les pirates", "910.4", "pirates, mer, bateau", Motif::Bateau},
        {"Les pays du monde", "910", "monde", Motif::Globe},
        {"La montagne en hiver", "914", "montagne, hiver, neige", Motif::Flocon},
        {"Au temps des chevaliers", "940.1", "chevalier, château, histoire", Motif::Chateau},
        {"La préhistoire", "930", "préhistoire, histoire", Motif::Dinosaure},
    };
    return list;
}

const QStringList &descriptors()
{
    static const QStringList words{
        "abeille", "alphabet", "amitié", "animaux", "anniversaire", "arbre", "bateau", "chat", "château",
        "chevalier", "chouette", "cochon", "colère", "comptines", "conte", "corps humain", "couleurs",
        "cuisine", "dents", "dessin", "dinosaure", "dragon", "école", "émotions", "espace", "étoiles",
        "famille", "ferme", "fête", "fleurs", "forêt", "fusée", "gâteau", "hiver", "histoire", "imagier",
        "insectes", "jardin", "lapin", "lion", "loup", "lune", "mer", "métiers", "monde", "montagne",
        "mots", "musique", "neige", "nombres", "nuit", "oiseau", "ours", "papillon", "peur", "pirates",
        "pluie", "poésie", "poisson", "poule", "préhistoire", "renard", "saisons", "sorcière", "souris",
        "sport", "tortue", "transports", "voiture", "voyage",
    };
    return words;
}

const QList<SavedRequest> &savedRequests()
{
    static const QList<SavedRequest> list{
        {"LOUPS.RQT", "motsclés LIKE '*loup*'", "Les loups", "LOUP.BMP", Motif::Loup, "LOUPS.WAV"},
        {"CHATS.RQT", "motsclés LIKE '*chat*'", "Les chats", "CHAT.BMP", Motif::Chat, "CHATS.WAV"},
        {"OURS.RQT", "motsclés LIKE '*ours*'", "Les ours", "OURS.BMP", Motif::Ours, "OURS.WAV"},
        {"LAPINS.RQT", "motsclés LIKE '*lapin*'", "Les lapins", "LAPIN.BMP", Motif::Lapin, "LAPINS.WAV"},
        {"FERME.RQT", "motsclés LIKE '*ferme*'", "À la ferme", "FERME.BMP", Motif::Cochon, "ALAFERME.WAV"},
        {"MER.RQT", "(motsclés LIKE '*mer*' OR motsclés LIKE '*bateau*')", "La mer et les bateaux", "MER.BMP",
         Motif::Bateau, "MER.WAV"},
        {"NUIT.RQT", "(motsclés LIKE '*nuit*' OR motsclés LIKE '*lune*')", "La nuit", "NUIT.BMP", Motif::Lune,
         "NUIT.WAV"},
        {"ECOLE.RQT", "motsclés LIKE '*école*'", "L'école", "ECOLE.BMP", Motif::Ecole, "ECOLE.WAV"},
        {"ANIMAUX.RQT", "dewey LIKE '59*'", "Les animaux", "ANIMAUX.BMP", Motif::Lion, "ANIMAUX.WAV"},
        {"CONTES.RQT", "dewey LIKE '398*'", "Les contes", "CONTES.BMP", Motif::Etoile, "CONTES.WAV"},
        {"DINOS.RQT", "motsclés LIKE '*dinosaure*'", "Les dinosaures", "DINO.BMP", Motif::Dinosaure, "DINOS.WAV"},
        {"COULEURS.RQT", "(motsclés LIKE '*couleurs*' OR motsclés LIKE '*dessin*')", "Les couleurs, le dessin",
         "COULEURS.BMP", Motif::Crayon, "COULEURS.WAV"},
        {"CORPS.RQT", "dewey LIKE '61*'", "Mon corps", "CORPS.BMP", Motif::Enfant, "CORPS.WAV"},
        {"CUISINE.RQT", "(motsclés LIKE '*cuisine*' OR motsclés LIKE '*gâteau*')", "La cuisine", "GATEAU.BMP",
         Motif::Gateau, "CUISINE.WAV"},
        {"MUSIQUE.RQT", "(motsclés LIKE '*musique*' OR motsclés LIKE '*comptines*')", "La musique", "MUSIQUE.BMP",
         Motif::Note, "MUSIQUE.WAV"},
        {"HIVER.RQT", "(motsclés LIKE '*hiver*' OR motsclés LIKE '*neige*')", "L'hiver et la neige", "HIVER.BMP",
         Motif::Flocon, "HIVER.WAV"},
        {"PLUIE.RQT", "motsclés LIKE '*pluie*'", "La pluie", "PLUIE.BMP", Motif::Parapluie, "PLUIE.WAV"},
        {"OISEAUX.RQT", "(motsclés LIKE '*poule*' OR motsclés LIKE '*oiseau*')", "Les oiseaux", "OISEAU.BMP",
         Motif::Poule, "OISEAUX.WAV"},
        {"CHATEAUX.RQT", "(motsclés LIKE '*château*' OR motsclés LIKE '*chevalier*')", "Châteaux et chevaliers",
         "CHATEAU.BMP", Motif::Chateau, "CHATEAUX.WAV"},
        {"ESPACE.RQT", "(motsclés LIKE '*espace*' OR motsclés LIKE '*étoiles*')", "Les étoiles et l'espace",
         "FUSEE.BMP", Motif::Fusee, "ESPACE.WAV"},
        {"JARDIN.RQT", "(motsclés LIKE '*jardin*' OR motsclés LIKE '*fleurs*')", "Le jardin", "FLEUR.BMP",
         Motif::Fleur, "JARDIN.WAV"},
        {"VOITURES.RQT", "(motsclés LIKE '*transports*' OR motsclés LIKE '*voiture*')", "Voitures et bateaux",
         "VOITURE.BMP", Motif::Voiture, "VOITURES.WAV"},
        {"EMOTIONS.RQT", "(motsclés LIKE '*émotions*' OR motsclés LIKE '*peur*')", "Les émotions", "COEUR.BMP",
         Motif::Coeur, "EMOTIONS.WAV"},
        {"POESIE.RQT", "dewey LIKE '841*'", "Les poésies", ".BMP", Motif::Livre, "POESIE.WAV"},
        {"MONDE.RQT", "dewey LIKE '91*'", "Le tour du monde", "MONDE.BMP", Motif::Globe, "MONDE.WAV"},
    };
    return list;
}

const QList<FixedSound> &fixedSounds()
{
    // The button sounds every library gets, from the one list the build uses.
    static const QList<FixedSound> list = [] {
        QList<FixedSound> sounds;
        for (const SonBouton &son : sonsBoutons())
            sounds << FixedSound{son.fichier, son.paroles};
        return sounds;
    }();
    return list;
}

} // namespace DemoContent
