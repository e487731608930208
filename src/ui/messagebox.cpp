#include "ui/messagebox.h"

#include <cstdio>

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
