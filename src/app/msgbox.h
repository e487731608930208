#pragma once

#include <QString>
#include <functional>

// The one way the viewer tells the user about an inconsistency. The windowed program installs a
// modal message box at start-up, the command-line modes write to standard error, and tests
// install a recorder, so no test ever blocks on a dialog.
using MessageHandler = std::function<void(const QString&)>;

void MsgBox(const QString& text);

// Installs handler and returns the one it replaces. An empty handler restores the default,
// which writes the text to standard error.
MessageHandler setMessageHandler(MessageHandler handler);
