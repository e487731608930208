#include "ui/plotwindow.h"

#include "core/io/picturewriter.h"
#include "core/io/replacingfile.h"
#include "ui/dialogs.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTableWidget>
#include <QVBoxLayout>

namespace isolumen {

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
    // The same three to two at first: left to their size hints, a wide table would take most.
    splitter->setSizes({3 * width(), 2 * width()});

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
    m_data = TableData{headers, rows};
    m_table->clear();
    m_table->setColumnCount(int(headers.size()));
    m_table->setRowCount(int(rows.size()));
    m_table->setHorizontalHeaderLabels(headers);
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size() && c < headers.size(); ++c)
            m_table->setItem(
                r, c,
                new QTableWidgetItem(TableData::cellText(rows[r][c], TableData::Digits::Shown)));
    }
    m_table->resizeColumnsToContents();
}

QImage PlotWindow::chartPicture() const
{
    return m_view->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool PlotWindow::writeCsv(QIODevice& device) const
{
    return m_data.writeCsv(device);
}

QString PlotWindow::tableText() const
{
    return m_data.tabSeparated();
}

bool PlotWindow::writeChartSvg(QIODevice& device) const
{
    QSvgGenerator generator;
    generator.setOutputDevice(&device);
    generator.setSize(m_view->size());
    generator.setViewBox(QRect(QPoint(), m_view->size()));
    generator.setTitle(windowTitle());
    QPainter painter;
    if (!painter.begin(&generator))
        return false;
    m_view->render(&painter);
    return painter.end();
}

void PlotWindow::saveChart()
{
    const auto [path, filter] = Dialogs::saveFile(
        this, QStringLiteral("Save Picture"), windowTitle() + QStringLiteral(".png"),
        QStringLiteral("PNG image (*.png);;TIFF image (*.tif *.tiff);;SVG drawing (*.svg)"));
    if (path.isEmpty())
        return;
    const bool svg = path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive) ||
                     (!pictureFormatFor(path) && filter.contains(QStringLiteral("*.svg")));
    if (!svg) {
        const Result<> written =
            writePicture(chartPicture(), Dialogs::pictureFileName(path, filter));
        if (!written)
            showMessage(
                QStringLiteral("The picture could not be saved: %1").arg(written.error().message));
        return;
    }
    ReplacingFile file(path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)
                                     ? path
                                     : path + QStringLiteral(".svg"));
    if (!file.open() || !writeChartSvg(file.device()) || !file.commit())
        showMessage(QStringLiteral("The picture could not be saved: %1").arg(file.errorString()));
}

void PlotWindow::exportCsv()
{
    m_data.exportCsv(this, windowTitle());
}

void PlotWindow::copyTable() const
{
    QApplication::clipboard()->setText(tableText());
}

} // namespace isolumen
