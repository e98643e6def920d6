#include "module/appcontext.h"

#include "platform/folderclock.h"

AppContext::AppContext(PlatformServices services, double scale)
    : m_services(services), m_geometry(scale),
      m_module(std::make_unique<Module11>(m_services, m_données, m_geometry)), m_horlogeDossier(folderClock)
{
}

AppContext::~AppContext()
{
    // The databases close while the module lives: the end of a lock wait
    // still held by a cursor calls back into it.
    try {
        closeAll();
    } catch (...) {
    }
}

void AppContext::closeAll()
{
    m_données.closeAll();
}
