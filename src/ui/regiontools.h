#pragma once

#include "core/stats/region.h"

#include <QLineF>
#include <QList>
#include <QObject>
#include <optional>

namespace isolumen {

// What the mouse does on every image window, and what it has picked: the drawing tool in use,
// the selected regions (indices into the acquisition's regions) and the profile line with its
// width. One instance serves all windows, so that a tool chosen anywhere, a region selected on
// one window and a line drawn on one are the same on all of them. It owns nothing but these
// values; the regions themselves belong to the acquisition.
class RegionTools : public QObject
{
    Q_OBJECT

public:
    enum class Tool { Select, Rectangle, Ellipse, Polygon, Freehand, Line };

    // The shared instance, made on first use and owned by the application object.
    static RegionTools& instance();

    Tool tool() const { return m_tool; }
    void setTool(Tool tool);

    // Selected regions, in the order they were picked.
    const QList<int>& selection() const { return m_selection; }
    bool isSelected(int index) const { return m_selection.contains(index); }
    void setSelection(const QList<int>& indices);
    // Selects index alone, or toggles it in the selection when adding.
    void select(int index, bool adding);
    void clearSelection() { setSelection({}); }

    // The profile line in shown coordinates; none until one is drawn.
    std::optional<QLineF> line() const { return m_line; }
    void setLine(std::optional<QLineF> line);
    // The width of the line in pixels, across which the profile takes its means.
    int lineWidth() const { return m_lineWidth; }
    void setLineWidth(int width);

    // Regions proposed but not yet made, such as the cells "Find Regions..." would add: drawn
    // over every window, not part of the acquisition.
    const QList<Region>& preview() const { return m_preview; }
    void setPreview(const QList<Region>& regions);

signals:
    void toolChanged(RegionTools::Tool tool);
    void selectionChanged();
    // The line or its width.
    void lineChanged();
    void previewChanged();

private:
    using QObject::QObject;

    Tool m_tool = Tool::Select;
    QList<int> m_selection;
    std::optional<QLineF> m_line;
    int m_lineWidth = 1;
    QList<Region> m_preview;
};

} // namespace isolumen
