#pragma once

#include "ui/plotwindow.h"

#include <functional>

class QLabel;

namespace isolumen {

struct Alignment;
struct Shift;
struct LayerProfiles;

// The "Alignment" window: the drift of every layer as a table (layer, dx and dy in pixels and
// micrometres, confidence, how the shift came about) and as the path the sample took, with the
// table to save as CSV. dx and dy in pixels can be edited: an edit is handed to `edited`, which
// sets the shift by hand. Given the reference species' layer profiles, it also shows the
// "stripe" pictures, before and after alignment.
class AlignmentWindow : public PlotWindow
{
    Q_OBJECT

public:
    using Edited = std::function<void(int layer, Shift shift)>;

    AlignmentWindow(const Alignment& alignment, const QString& referenceName,
                    double micronsPerPixel, const LayerProfiles* profiles = nullptr,
                    Edited edited = {}, QWidget* parent = nullptr);

    // The stripe pictures: mean row and mean column per layer, before and after alignment.
    const QList<QLabel*>& stripes() const { return m_stripes; }

private:
    // The table of shifts, the plot of the drift, and the table's dx and dy open to editing.
    void showShifts(const Alignment& alignment, double micronsPerPixel);
    void plotDrift(const Alignment& alignment, const QString& referenceName);
    void letShiftsBeEdited();
    void addStripes(const Alignment& alignment, const LayerProfiles& profiles);
    void cellEdited(int row, int column);

    QList<QLabel*> m_stripes;
    Edited m_edited;
    bool m_filling = true;
};

} // namespace isolumen
