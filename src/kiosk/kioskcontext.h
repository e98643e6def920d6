#pragma once

#include "module/appcontext.h"

#include <memory>

class présentation;
class Feuillechoix;

// The kiosk's own context: the one that creates every screen, the start-up
// and the main menu as well as the lending and search screens, and holds the
// saved requests. A test builds a fresh context on a temporary data folder
// and throws it away.
class KioskContext final : public AppContext
{
public:
    explicit KioskContext(PlatformServices services, double scale = 1.0);
    ~KioskContext() override;

    présentation &Présentation();
    Feuillechoix &FeuilleChoix();
    Feuilleécole &FeuilleÉcole() override;
    Feuilleclasse &FeuilleClasse() override;
    feuilledocument &FeuilleDocument() override;
    Feuillerecherche &FeuilleRecherche() override;
    feuilledescripteurs &FeuilleDescripteurs() override;
    Feuilleécriture &FeuilleÉcriture() override;
    feuilleaffichage &FeuilleAffichage() override;
    Recherche1 &FeuilleRecherche1() override;

    RequetesSauvegardees &requêtes() override { return *m_requêtes; }

private:
    std::unique_ptr<RequetesSauvegardees> m_requêtes;

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
