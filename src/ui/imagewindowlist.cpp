#include "ui/imagewindowlist.h"

#include "ui/imagewindow.h"

namespace isolumen {

void ImageWindowList::add(ImageWindow* window)
{
    m_windows.removeAll(nullptr);
    m_windows.append(window);
}

QList<ImageWindow*> ImageWindowList::windows() const
{
    QList<ImageWindow*> open;
    for (const QPointer<ImageWindow>& w : m_windows) {
        if (w && w->isVisible())
            open << w;
    }
    return open;
}

void ImageWindowList::applyColours(const ColourChoice& choice, const QWidget* current,
                                   bool all) const
{
    QList<QPointer<ImageWindow>> targets;
    for (ImageWindow* w : windows()) {
        if (all || w == current)
            targets << w;
    }
    for (const QPointer<ImageWindow>& w : targets) {
        if (w && w->isVisible())
            w->setColours(choice);
    }
}

} // namespace isolumen
