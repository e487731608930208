#pragma once

#include <QHash>
#include <QString>
#include <functional>

// The menu commands one window serves. A window class derives from this and registers, in its
// AddMenuHandlers(), one handler per menu item name it serves; the shared Menu runs the handler
// that the front window registered for a chosen item and nothing when it registered none.
class MenuHandlers
{
public:
    // A handler returns whether it handled the command (the menu does not use the answer).
    using Handler = std::function<bool()>;

    virtual ~MenuHandlers() = default;

    bool hasMenuHandler(const QString& itemName) const;
    // Runs the handler for itemName; false when there is none.
    bool runMenuHandler(const QString& itemName);

protected:
    void addMenuHandler(const QString& itemName, Handler handler);

private:
    QHash<QString, Handler> m_handlers;
};
