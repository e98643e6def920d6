#pragma once

#include "data/feuilleenfant.h"
#include "module/module11.h"
#include "platform/geometry.h"
#include "platform/services.h"

#include <QDateTime>

#include <functional>
#include <memory>
#include <optional>

class QWidget;
class RequetesSauvegardees;
class Feuilleécole;
class Feuilleclasse;
class feuilledocument;
class Feuillerecherche;
class feuilledescripteurs;
class Feuilleécriture;
class feuilleaffichage;
class Recherche1;

// What every screen finds of one run of the program: the platform services,
// the geometry, the hidden data screen, the shared module with its values, and
// the lending and search screens, each created on first use and then only
// shown and hidden until the end. The program above the screens creates them
// (KioskContext): a screen asks for another through this interface and never
// links the code that makes it.
class AppContext
{
public:
    AppContext(PlatformServices services, double scale = 1.0);
    virtual ~AppContext();

    AppContext(const AppContext &) = delete;
    AppContext &operator=(const AppContext &) = delete;

    const PlatformServices &services() const { return m_services; }
    Geometry &geometry() { return m_geometry; }
    Feuilleenfant &données() { return m_données; }
    Module11 &module() { return *m_module; }

    virtual Feuilleécole &FeuilleÉcole() = 0;
    virtual Feuilleclasse &FeuilleClasse() = 0;
    virtual feuilledocument &FeuilleDocument() = 0;
    virtual Feuillerecherche &FeuilleRecherche() = 0;
    virtual feuilledescripteurs &FeuilleDescripteurs() = 0;
    virtual Feuilleécriture &FeuilleÉcriture() = 0;
    virtual feuilleaffichage &FeuilleAffichage() = 0;
    virtual Recherche1 &FeuilleRecherche1() = 0;

    // The saved requests, read at start-up.
    virtual RequetesSauvegardees &requêtes() = 0;

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
    QWidget *m_fond = nullptr;
    HorlogeDossier m_horlogeDossier;
};
