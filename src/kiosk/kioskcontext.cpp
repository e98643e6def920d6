#include "kiosk/kioskcontext.h"

#include "kiosk/feuillechoix.h"
#include "kiosk/presentation.h"
#include "lending/feuilledocument.h"
#include "lending/feuilleecole.h"
#include "lending/feuilleclasse.h"
#include "search/feuilleaffichage.h"
#include "search/feuilledescripteurs.h"
#include "search/feuilleecriture.h"
#include "search/feuillerecherche.h"
#include "search/recherche1.h"
#include "search/requetes.h"

KioskContext::KioskContext(PlatformServices services, double scale)
    : AppContext(services, scale), m_requêtes(std::make_unique<RequetesSauvegardees>())
{
}

KioskContext::~KioskContext() = default;

namespace {

// Creates a screen on first use and runs its load step once.
template <typename Screen>
Screen &onFirstUse(std::unique_ptr<Screen> &screen, KioskContext &context)
{
    if (!screen) {
        screen = std::make_unique<Screen>(context);
        screen->Form_Load();
    }
    return *screen;
}

} // namespace

présentation &KioskContext::Présentation() { return onFirstUse(m_présentation, *this); }
Feuillechoix &KioskContext::FeuilleChoix() { return onFirstUse(m_feuillechoix, *this); }
Feuilleécole &KioskContext::FeuilleÉcole() { return onFirstUse(m_feuilleécole, *this); }
Feuilleclasse &KioskContext::FeuilleClasse() { return onFirstUse(m_feuilleclasse, *this); }
feuilledocument &KioskContext::FeuilleDocument() { return onFirstUse(m_feuilledocument, *this); }
Feuillerecherche &KioskContext::FeuilleRecherche() { return onFirstUse(m_feuillerecherche, *this); }
feuilledescripteurs &KioskContext::FeuilleDescripteurs() { return onFirstUse(m_feuilledescripteurs, *this); }
Feuilleécriture &KioskContext::FeuilleÉcriture() { return onFirstUse(m_feuilleécriture, *this); }
feuilleaffichage &KioskContext::FeuilleAffichage() { return onFirstUse(m_feuilleaffichage, *this); }
Recherche1 &KioskContext::FeuilleRecherche1() { return onFirstUse(m_recherche1, *this); }
