#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace isolumen {

// The one way the windows tell the user about an inconsistency. The viewer installs a modal
// message box at start-up; tests install a recorder, so that no test ever waits on a dialog.
// Until one is installed, messages go to standard error.
using MessageHandler = std::function<void(const QString&)>;

void showMessage(const QString& text);

// Installs handler and returns the one it replaces. An empty handler restores the default,
// which writes the text to standard error.
MessageHandler setMessageHandler(MessageHandler handler);

// The one way the windows ask the user to choose ("Save the analysis of a.im?" with Save,
// Discard and Cancel): the index of the button chosen. The viewer installs a modal message box;
// tests install an answerer. Until one is installed, the question goes to standard error and
// the answer is fallback, so that nothing ever waits.
using QuestionHandler = std::function<int(const QString& text, const QStringList& buttons)>;

int askQuestion(const QString& text, const QStringList& buttons, int fallback);

// Installs handler and returns the one it replaces; an empty handler restores the default.
QuestionHandler setQuestionHandler(QuestionHandler handler);

} // namespace isolumen
