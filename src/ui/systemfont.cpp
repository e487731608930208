#include "ui/systemfont.h"

#include <QGuiApplication>

QFont systemFont(int points)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(points);
    return font;
}
