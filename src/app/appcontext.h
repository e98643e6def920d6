#pragma once

#include "app/module11.h"
#include "data/feuilleenfant.h"
#include "platform/geometry.h"
#include "platform/services.h"
#include "search/requetes.h"

#include <QDateTime>

#include <functional>
#include <memory>
#include <optional>

class QWidget;
class présentation;
class Feuillechoix;
class Feuilleécole;
class Feuilleclasse;
class feuilledocument;
class Feuillerecherche;
class feuilledescripteurs;
class Feuilleécriture;
class feuilleaffichage;
class Recherche1;

// Everything one run of the program owns: the platform services, the
// geometry, the hidden data screen, the shared module with its values, and each
// screen, created on first use and then only shown and hidden until the end.
// A test builds a fresh context on a temporary data folder and throws it away.
class AppContext
{
public:
    AppContext(PlatformServices services, double scale = 1.0);
    ~AppContext();

    AppContext(const AppContext &) = delete;
    AppContext &operator=(const AppContext &) = delete;

    const PlatformServices &services() const { return m_services; }
    Geometry &geometry() { return m_geometry; }
    Feuilleenfant &données() { return m_données; }
    Module11 &module() { return *m_module; }

    présentation &Présentation();
    Feuillechoix &FeuilleChoix();
    Feuilleécole &FeuilleÉcole();
    Feuilleclasse &FeuilleClasse();
    feuilledocument &FeuilleDocument();
    Feuillerecherche &FeuilleRecherche();
    feuilledescripteurs &FeuilleDescripteurs();
    Feuilleécriture &FeuilleÉcriture();
    feuilleaffichage &FeuilleAffichage();
    Recherche1 &FeuilleRecherche1();

    // The saved requests, read at start-up.
    RequetesSauvegardees &requêtes() { return m_requêtes; }

    // Full screen: the backdrop every screen sits on (none otherwise). Set
    // before the first screen is made.
    void setFond(QWidget *fond) { m_fond = fond; }
    QWidget *fond() const { return m_fond; }

    // The time the data folder's file system gives a file written there now
    // (folderClock), which the start-up compares with the clock. Tests stand
    // in for it.
    using HorlogeDossier = std::function<std::optional<QDateTime>(const QString &nativeFolder)>;
    void setHorlogeDossier(HorlogeDossier horloge) { m_horlogeDossier = std::move(horloge); }
    std::optional<QDateTime> horlogeDossier(const QString &nativeFolder) const { return m_horlogeDossier(nativeFolder); }

    // Closes the databases; the real end of the program runs this first.
    void closeAll();

private:
    PlatformServices m_services;
    Geometry m_geometry;
    Feuilleenfant m_données;
    std::unique_ptr<Module11> m_module;
    RequetesSauvegardees m_requêtes;
    QWidget *m_fond = nullptr;
    HorlogeDossier m_horlogeDossier;

    std::unique_ptr<présentation> m_présentation;
    std::unique_ptr<Feuillechoix> m_feuillechoix;
    std::unique_ptr<Feuilleécole> m_feuilleécole;
    std::unique_ptr<Feuilleclasse> m_feuilleclasse;
    std::unique_ptr<feuilledocument> m_feuilledocument;
    std::unique_ptr<Feuillerecherche> m_feuillerecherche;
    std::unique_ptr<feuilledescripteurs> m_feuilledescripteurs;
    std::unique_ptr<Feuilleécriture> m_feuilleécriture;
    std::unique_ptr<feuilleaffichage> m_feuilleaffichage;
    std::unique_ptr<Recherche1> m_recherche1;
};
