#pragma once

#include "ui/tabledata.h"

#include <QWidget>

class QChart;
class QChartView;
class QIODevice;
class QTableWidget;

namespace isolumen {

// A window with a chart, the table of the values behind it, and the commands that save them:
// the chart as a picture (through the viewer's picture writer) or an SVG drawing, the table as CSV
// or, copied, as tab-separated text. The alignment, depth-profile, line-profile and histogram
// windows are all made of one. It owns its chart and table.
class PlotWindow : public QWidget
{
    Q_OBJECT

public:
    explicit PlotWindow(const QString& title, QWidget* parent = nullptr);

    QChart* chart() const;
    QChartView* chartView() const { return m_view; }
    QTableWidget* table() const { return m_table; }

    // Replaces the table. Cells that are numbers are shown with six significant digits and
    // written exactly in the CSV; NaN shows as an empty cell.
    void setTable(const QStringList& headers, const QList<QVariantList>& rows);

    // The chart as shown, as a picture.
    QImage chartPicture() const;
    // The chart as shown, as an SVG drawing.
    bool writeChartSvg(QIODevice& device) const;
    // The table as CSV.
    bool writeCsv(QIODevice& device) const;
    // The table as tab-separated text, headers first.
    QString tableText() const;

    void saveChart();
    void exportCsv();
    void copyTable() const;

private:
    QChartView* m_view = nullptr;
    QTableWidget* m_table = nullptr;
    TableData m_data;
};

} // namespace isolumen
