#pragma once

#include "ui/plotwindow.h"

struct Alignment;

// The "Alignment" window: the drift of every layer as a table (layer, dx and dy in pixels and
// micrometres) and as the path the sample took, with the table to save as CSV.
class AlignmentWindow : public PlotWindow
{
    Q_OBJECT

public:
    AlignmentWindow(const Alignment& alignment, const QString& referenceName,
                    double micronsPerPixel, QWidget* parent = nullptr);
};
