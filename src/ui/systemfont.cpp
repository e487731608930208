#include "ui/systemfont.h"

#include <QGuiApplication>

namespace isolumen {

QFont systemFont(int points)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(points);
    return font;
}

} // namespace isolumen
