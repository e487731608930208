#pragma once

#include <QString>
#include <functional>

// The one way the windows tell the user about an inconsistency. The viewer installs a modal
// message box at start-up; tests install a recorder, so that no test ever waits on a dialog.
// Until one is installed, messages go to standard error.
using MessageHandler = std::function<void(const QString&)>;

void showMessage(const QString& text);

// Installs handler and returns the one it replaces. An empty handler restores the default,
// which writes the text to standard error.
MessageHandler setMessageHandler(MessageHandler handler);
