#include "ui/regiontools.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>

namespace isolumen {

RegionTools& RegionTools::instance()
{
    static QPointer<RegionTools> tools;
    if (!tools)
        tools = new RegionTools(QCoreApplication::instance());
    return *tools;
}

void RegionTools::setTool(Tool tool)
{
    if (tool == m_tool)
        return;
    m_tool = tool;
    emit toolChanged(tool);
}

void RegionTools::setSelection(const QList<int>& indices)
{
    // Element by element: Qt 6.4's == hands memcmp a null pointer when comparing two empty
    // lists, which the sanitizers report.
    if (std::equal(indices.begin(), indices.end(), m_selection.begin(), m_selection.end()))
        return;
    m_selection = indices;
    emit selectionChanged();
}

void RegionTools::select(int index, bool adding)
{
    QList<int> picked = adding ? m_selection : QList<int>();
    if (adding && picked.contains(index))
        picked.removeAll(index);
    else
        picked << index;
    setSelection(picked);
}

void RegionTools::setLine(std::optional<QLineF> line)
{
    if (line == m_line)
        return;
    m_line = line;
    emit lineChanged();
}

void RegionTools::setPreview(const QList<Region>& regions)
{
    if (regions == m_preview)
        return;
    m_preview = regions;
    emit previewChanged();
}

void RegionTools::setLineWidth(int width)
{
    width = std::max(1, width);
    if (width == m_lineWidth)
        return;
    m_lineWidth = width;
    emit lineChanged();
}

} // namespace isolumen
