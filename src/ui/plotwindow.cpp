#include "ui/plotwindow.h"

#include "core/io/csvwriter.h"
#include "core/io/picturewriter.h"
#include "ui/dialogs.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

namespace {

QString cellText(const QVariant& v, bool exact)
{
    if (v.typeId() != QMetaType::Double && v.typeId() != QMetaType::Int &&
        v.typeId() != QMetaType::LongLong)
        return v.toString();
    const double d = v.toDouble();
    if (std::isnan(d))
        return {};
    return QString::number(d, 'g', exact ? 17 : 6);
}

} // namespace

PlotWindow::PlotWindow(const QString& title, QWidget* parent) : QWidget(parent, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title);
    resize(720, 440);
    auto* splitter = new QSplitter(this);
    m_view = new QChartView(new QChart, splitter);
    m_view->setObjectName(QStringLiteral("chart"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->chart()->legend()->setAlignment(Qt::AlignBottom);
    m_table = new QTableWidget(splitter);
    m_table->setObjectName(QStringLiteral("table"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    auto* buttons = new QHBoxLayout;
    auto add = [&](const char* name, const QString& text, auto slot) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    add("savePicture", QStringLiteral("Save Picture..."), &PlotWindow::saveChart);
    add("exportCsv", QStringLiteral("Export CSV..."), &PlotWindow::exportCsv);
    add("copy", QStringLiteral("Copy"), &PlotWindow::copyTable);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    layout->addLayout(buttons);
}

QChart* PlotWindow::chart() const
{
    return m_view->chart();
}

void PlotWindow::setTable(const QStringList& headers, const QList<QVariantList>& rows)
{
    m_headers = headers;
    m_rows = rows;
    m_table->clear();
    m_table->setColumnCount(int(headers.size()));
    m_table->setRowCount(int(rows.size()));
    m_table->setHorizontalHeaderLabels(headers);
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size() && c < headers.size(); ++c)
            m_table->setItem(r, c, new QTableWidgetItem(cellText(rows[r][c], false)));
    }
    m_table->resizeColumnsToContents();
}

QImage PlotWindow::chartPicture() const
{
    return m_view->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool PlotWindow::writeCsv(QIODevice& device) const
{
    CsvWriter csv(device);
    for (const QString& h : m_headers)
        csv.text(h);
    bool ok = csv.endRow();
    for (const QVariantList& row : m_rows) {
        for (const QVariant& v : row) {
            const bool number = v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Int ||
                                v.typeId() == QMetaType::LongLong;
            if (!number)
                csv.text(v.toString());
            else if (std::isnan(v.toDouble()))
                csv.empty();
            else
                csv.number(v.toDouble());
        }
        ok = csv.endRow() && ok;
    }
    return ok;
}

QString PlotWindow::tableText() const
{
    QStringList lines{m_headers.join(QLatin1Char('\t'))};
    for (const QVariantList& row : m_rows) {
        QStringList cells;
        for (const QVariant& v : row)
            cells << cellText(v, true);
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void PlotWindow::saveChart()
{
    const auto [path, filter] = Dialogs::saveFile(
        this, QStringLiteral("Save Picture"), windowTitle() + QStringLiteral(".png"),
        QStringLiteral("PNG image (*.png);;TIFF image (*.tif *.tiff)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!writePicture(chartPicture(), Dialogs::pictureFileName(path, filter), &error))
        showMessage(QStringLiteral("The picture could not be saved: %1").arg(error));
}

void PlotWindow::exportCsv()
{
    const auto [path, filter] =
        Dialogs::saveFile(this, QStringLiteral("Export CSV"),
                          windowTitle() + QStringLiteral(".csv"), QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !writeCsv(file) || !file.commit())
        showMessage(QStringLiteral("The table could not be saved: %1").arg(file.errorString()));
}

void PlotWindow::copyTable() const
{
    QApplication::clipboard()->setText(tableText());
}
