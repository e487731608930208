#include "ui/messagebox.h"

#include <cstdio>

namespace isolumen {

namespace {

void toStandardError(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

MessageHandler& currentHandler()
{
    static MessageHandler handler = toStandardError;
    return handler;
}

} // namespace

void showMessage(const QString& text)
{
    currentHandler()(text);
}

MessageHandler setMessageHandler(MessageHandler handler)
{
    MessageHandler previous = std::move(currentHandler());
    currentHandler() = handler ? std::move(handler) : MessageHandler(toStandardError);
    return previous;
}

namespace {

QuestionHandler& currentQuestionHandler()
{
    static QuestionHandler handler;
    return handler;
}

} // namespace

int askQuestion(const QString& text, const QStringList& buttons, int fallback)
{
    if (const QuestionHandler& handler = currentQuestionHandler())
        return handler(text, buttons);
    toStandardError(text);
    return fallback;
}

QuestionHandler setQuestionHandler(QuestionHandler handler)
{
    QuestionHandler previous = std::move(currentQuestionHandler());
    currentQuestionHandler() = std::move(handler);
    return previous;
}

} // namespace isolumen
