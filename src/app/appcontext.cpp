#include "app/appcontext.h"

#include "app/feuillechoix.h"
#include "app/presentation.h"
#include "lending/feuilledocument.h"
#include "lending/feuilleecole.h"
#include "lending/feuilleclasse.h"
#include "search/feuilleaffichage.h"
#include "search/feuilledescripteurs.h"
#include "search/feuilleecriture.h"
#include "search/feuillerecherche.h"
#include "search/recherche1.h"
#include "platform/folderclock.h"

AppContext::AppContext(PlatformServices services, double scale)
    : m_services(services), m_geometry(scale),
      m_module(std::make_unique<Module11>(m_services, m_données, m_geometry)), m_horlogeDossier(folderClock)
{
}

AppContext::~AppContext() = default;

namespace {

// Creates a screen on first use and runs its load step once.
template <typename Screen>
Screen &onFirstUse(std::unique_ptr<Screen> &screen, AppContext &context)
{
    if (!screen) {
        screen = std::make_unique<Screen>(context);
        screen->Form_Load();
    }
    return *screen;
}

} // namespace

présentation &AppContext::Présentation() { return onFirstUse(m_présentation, *this); }
Feuillechoix &AppContext::FeuilleChoix() { return onFirstUse(m_feuillechoix, *this); }
Feuilleécole &AppContext::FeuilleÉcole() { return onFirstUse(m_feuilleécole, *this); }
Feuilleclasse &AppContext::FeuilleClasse() { return onFirstUse(m_feuilleclasse, *this); }
feuilledocument &AppContext::FeuilleDocument() { return onFirstUse(m_feuilledocument, *this); }
Feuillerecherche &AppContext::FeuilleRecherche() { return onFirstUse(m_feuillerecherche, *this); }
feuilledescripteurs &AppContext::FeuilleDescripteurs() { return onFirstUse(m_feuilledescripteurs, *this); }
Feuilleécriture &AppContext::FeuilleÉcriture() { return onFirstUse(m_feuilleécriture, *this); }
feuilleaffichage &AppContext::FeuilleAffichage() { return onFirstUse(m_feuilleaffichage, *this); }
Recherche1 &AppContext::FeuilleRecherche1() { return onFirstUse(m_recherche1, *this); }

void AppContext::closeAll()
{
    m_données.closeAll();
}
