#pragma once

#include "core/stats/profiles.h"
#include "ui/plotwindow.h"

class QLineSeries;
class QSpinBox;
class QValueAxis;

namespace isolumen {

// The "Line Profile" window: the values of an image window along the profile line, the mean
// across the line's width at each pixel of its length against the distance in micrometres,
// with the table behind the curve and a field for the width. Whoever opens it feeds it each new
// profile; it owns the curve it draws.
class LineProfileWindow : public PlotWindow
{
    Q_OBJECT

public:
    explicit LineProfileWindow(int width, QWidget* parent = nullptr);

    QSpinBox* widthBox() const { return m_width; }
    QLineSeries* curve() const { return m_curve; }
    // Shows a profile (empty: no line yet) of the values named by sourceTitle.
    void setProfile(const LineProfile& profile, const QString& sourceTitle);

signals:
    void widthChosen(int width);

private:
    QSpinBox* m_width = nullptr;
    QLineSeries* m_curve = nullptr;
    QValueAxis* m_x = nullptr;
    QValueAxis* m_y = nullptr;
};

} // namespace isolumen
