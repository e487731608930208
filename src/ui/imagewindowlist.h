#pragma once

#include <QList>
#include <QPointer>

class QWidget;

namespace isolumen {

class ImageWindow;
struct ColourChoice;

// The open image windows, in the order they were opened. The main window owns the list and
// adds each window it opens; a closed window drops out by itself. The colour selector applies
// its choices through it, so it needs to know no window's class.
class ImageWindowList
{
public:
    void add(ImageWindow* window);
    // The windows still open.
    QList<ImageWindow*> windows() const;

    // Gives the choice to current only, or to every open window when all is set. The windows
    // are collected first and each is checked again when its turn comes: one closed meanwhile
    // (by a handler that ran during another window's redraw) is skipped, and none is updated
    // twice.
    void applyColours(const ColourChoice& choice, const QWidget* current, bool all) const;

private:
    QList<QPointer<ImageWindow>> m_windows;
};

} // namespace isolumen
