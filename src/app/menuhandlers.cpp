#include "app/menuhandlers.h"

bool MenuHandlers::hasMenuHandler(const QString& itemName) const
{
    return m_handlers.contains(itemName);
}

bool MenuHandlers::runMenuHandler(const QString& itemName)
{
    const auto it = m_handlers.constFind(itemName);
    if (it == m_handlers.constEnd())
        return false;
    // A copy, so that a handler may replace handlers while it runs.
    const Handler handler = it.value();
    handler();
    return true;
}

void MenuHandlers::addMenuHandler(const QString& itemName, Handler handler)
{
    m_handlers.insert(itemName, std::move(handler));
}
