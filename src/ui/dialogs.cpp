#include "ui/dialogs.h"

#include "core/imfile/imheader.h"
#include "core/text/layerlist.h"
#include "ui/classifydialog.h"
#include "ui/findregionsdialog.h"
#include "ui/messagebox.h"
#include "ui/overlaydialog.h"
#include "ui/seam.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

namespace isolumen {

namespace Dialogs {

namespace {

QString defaultOpenFile(QWidget* parent, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QStringList defaultOpenFiles(QWidget* parent, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileNames(parent, title, QString(), filter);
}

std::pair<QString, QString> defaultSaveFile(QWidget* parent, const QString& title,
                                            const QString& suggestedName, const QString& filters)
{
    QString chosenFilter;
    const QString path =
        QFileDialog::getSaveFileName(parent, title, suggestedName, filters, &chosenFilter);
    return {path, chosenFilter};
}

std::optional<QRgb> defaultSelectColour(QWidget* parent, QRgb initial, const QString& prompt)
{
    const QColor c = QColorDialog::getColor(QColor(initial), parent, prompt);
    if (!c.isValid())
        return std::nullopt;
    return c.rgb() & 0xFFFFFF;
}

std::optional<std::pair<int, int>> defaultLayerRange(QWidget* parent, int first, int last,
                                                     int layerCount)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Sum of Layers"));
    auto* form = new QFormLayout(&dialog);
    auto* from = new QSpinBox(&dialog);
    auto* to = new QSpinBox(&dialog);
    for (QSpinBox* box : {from, to})
        box->setRange(1, std::max(1, layerCount));
    from->setValue(first);
    to->setValue(last);
    form->addRow(QStringLiteral("From layer:"), from);
    form->addRow(QStringLiteral("To layer:"), to);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return std::pair{std::min(from->value(), to->value()), std::max(from->value(), to->value())};
}

// Asks for a list such as "3,7-9" until it names layers of the file or the user cancels.
std::optional<std::vector<int>>
defaultExcludeLayers(QWidget* parent, const std::vector<int>& current, int layerCount)
{
    QString text = layerListText(current);
    for (;;) {
        bool ok = false;
        text = QInputDialog::getText(
            parent, QStringLiteral("Exclude Layers"),
            QStringLiteral("Layers to leave out of sums, profiles and alignment (such as "
                           "3,7-9; empty for none):"),
            QLineEdit::Normal, text, &ok);
        if (!ok)
            return std::nullopt;
        const std::optional<std::vector<int>> layers = parseLayerList(text);
        if (layers && (layers->empty() || layers->back() <= layerCount))
            return layers;
        showMessage(QStringLiteral("Give layers from 1 to %1, as 3,7-9.").arg(layerCount));
    }
}

std::optional<std::pair<double, double>> defaultPercentiles(QWidget* parent, double low,
                                                            double high)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Percentiles"));
    auto* form = new QFormLayout(&dialog);
    auto* from = new QDoubleSpinBox(&dialog);
    auto* to = new QDoubleSpinBox(&dialog);
    for (QDoubleSpinBox* box : {from, to}) {
        box->setRange(0, 100);
        box->setDecimals(3);
        box->setSuffix(QStringLiteral(" %"));
        box->setLocale(QLocale::c()); // "." as the point, as everywhere
    }
    from->setValue(low);
    to->setValue(high);
    form->addRow(QStringLiteral("Low:"), from);
    form->addRow(QStringLiteral("High:"), to);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted || !(from->value() < to->value()))
        return std::nullopt;
    return std::pair{from->value(), to->value()};
}

// An optional number typed into a field: empty for none; "." is the decimal point.
std::optional<double> fieldNumber(const QLineEdit* field)
{
    bool ok = false;
    const double v = field->text().trimmed().toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

QDialogButtonBox* okCancel(QDialog& dialog)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}

// A term of a ratio: the species checked in a list are summed.
QListWidget* termList(QDialog& dialog, const QStringList& species, int checked)
{
    auto* list = new QListWidget(&dialog);
    for (int i = 0; i < species.size(); ++i) {
        auto* item = new QListWidgetItem(species[i].trimmed(), list);
        item->setCheckState(i == checked ? Qt::Checked : Qt::Unchecked);
    }
    list->setMaximumHeight(list->sizeHintForRow(0) * int(std::min<qsizetype>(species.size(), 4)) +
                           2 * list->frameWidth());
    return list;
}

QList<int> checkedRows(const QListWidget* list)
{
    QList<int> rows;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() == Qt::Checked)
            rows << i;
    }
    return rows;
}

QDoubleSpinBox* numberBox(QDialog& dialog, double v, double least = -1e12, int decimals = 6)
{
    auto* box = new QDoubleSpinBox(&dialog);
    box->setLocale(QLocale::c()); // "." is the decimal point wherever the viewer runs
    box->setRange(least, 1e12);
    box->setDecimals(decimals);
    box->setValue(v);
    return box;
}

// The ratio's rows: its terms, scale, thresholds and unit, with its name as it will be shown.
struct RatioRows
{
    QListWidget* numerator;
    QListWidget* denominator;
    QDoubleSpinBox* scale;
    QDoubleSpinBox* numeratorThreshold;
    QDoubleSpinBox* denominatorThreshold;
    QComboBox* unit;
    QDoubleSpinBox* standard;

    RatioRows(QDialog& dialog, QFormLayout* form, const QStringList& species)
        : numerator(termList(dialog, species, species.size() > 1 ? 1 : 0)),
          denominator(termList(dialog, species, species.size() > 1 ? 0 : -1)),
          scale(numberBox(dialog, 1)), numeratorThreshold(numberBox(dialog, 0)),
          denominatorThreshold(numberBox(dialog, 0)), unit(new QComboBox(&dialog)),
          standard(numberBox(dialog, 1, 1e-10, 10))
    {
        unit->addItems(
            {QStringLiteral("Ratio"), QStringLiteral("at-%"), QStringLiteral("\u03b4 (\u2030)")});
        form->addRow(QStringLiteral("Numerator:"), numerator);
        form->addRow(QStringLiteral("Denominator:"), denominator);
        form->addRow(QStringLiteral("Scale factor:"), scale);
        form->addRow(QStringLiteral("Numerator threshold tN:"), numeratorThreshold);
        form->addRow(QStringLiteral("Denominator threshold tD:"), denominatorThreshold);
        form->addRow(QStringLiteral("Value:"), unit);
        form->addRow(QStringLiteral("Standard ratio R_std:"), standard);
        standard->setEnabled(false);
        QObject::connect(unit, &QComboBox::currentIndexChanged, standard,
                         [this](int i) { standard->setEnabled(RatioUnit(i) == RatioUnit::Delta); });
    }

    RatioDefinition ratio() const
    {
        RatioDefinition r;
        r.numerator = checkedRows(numerator);
        r.denominator = checkedRows(denominator);
        r.scale = scale->value();
        r.numeratorThreshold = numeratorThreshold->value();
        r.denominatorThreshold = denominatorThreshold->value();
        r.unit = RatioUnit(std::max(0, unit->currentIndex()));
        if (r.unit == RatioUnit::Delta) // otherwise the default, so equal ratios compare equal
            r.standard = standard->value();
        return r;
    }
};

std::optional<FigureOptions> defaultFigureOptions(QWidget* parent, const FigureOptions& proposed,
                                                  bool hasRegions)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Save Figure"));
    auto* form = new QFormLayout(&dialog);
    auto* colourBar = new QCheckBox(QStringLiteral("Colour bar"), &dialog);
    auto* scaleBar = new QCheckBox(QStringLiteral("Scale bar"), &dialog);
    auto* outlines = new QCheckBox(QStringLiteral("Region outlines with"), &dialog);
    auto* labels = new QComboBox(&dialog);
    labels->addItems({QStringLiteral("numbers"), QStringLiteral("names")});
    auto* title = new QLineEdit(proposed.title, &dialog);
    auto* scale = new QSpinBox(&dialog);
    scale->setRange(1, kLargestFigureScale);
    scale->setSuffix(QStringLiteral(" x"));
    colourBar->setChecked(proposed.colourBar);
    scaleBar->setChecked(proposed.scaleBar);
    outlines->setChecked(hasRegions && proposed.outlines != FigureOutlines::None);
    outlines->setEnabled(hasRegions);
    labels->setCurrentIndex(proposed.outlines == FigureOutlines::Names ? 1 : 0);
    scale->setValue(proposed.scale);
    form->addRow(colourBar);
    form->addRow(scaleBar);
    form->addRow(outlines, labels);
    form->addRow(QStringLiteral("Title:"), title);
    form->addRow(QStringLiteral("Scale (PNG, TIFF):"), scale);
    form->addRow(okCancel(dialog));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    FigureOptions chosen{colourBar->isChecked(), scaleBar->isChecked(), FigureOutlines::None,
                         title->text(), scale->value()};
    // Without regions the choice of outlines is kept for the next figure.
    if (!hasRegions)
        chosen.outlines = proposed.outlines;
    else if (outlines->isChecked())
        chosen.outlines =
            labels->currentIndex() == 1 ? FigureOutlines::Names : FigureOutlines::Numbers;
    return chosen;
}

std::optional<RatioDialogChoice> defaultRatio(QWidget* parent, const QStringList& species,
                                              RatioKind kind)
{
    const bool hsi = kind == RatioKind::Hsi;
    QDialog dialog(parent);
    dialog.setWindowTitle(hsi ? QStringLiteral("HSI Image") : QStringLiteral("Ratio Image"));
    auto* form = new QFormLayout(&dialog);
    const RatioRows rows(dialog, form, species);
    // The HSI rows exist only in the HSI dialog: a widget made and not laid out would show at
    // the dialog's top left, over the first row.
    QLineEdit* rMin = nullptr;
    QLineEdit* rMax = nullptr;
    QComboBox* brightness = nullptr;
    if (hsi) {
        rMin = new QLineEdit(&dialog);
        rMax = new QLineEdit(&dialog);
        brightness = new QComboBox(&dialog);
        rMin->setPlaceholderText(QStringLiteral("smallest ratio"));
        rMax->setPlaceholderText(QStringLiteral("largest ratio"));
        brightness->addItems({QStringLiteral("Denominator"), QStringLiteral("Numerator"),
                              QStringLiteral("Larger of the two"), QStringLiteral("Mean")});
        form->addRow(QStringLiteral("Rmin:"), rMin);
        form->addRow(QStringLiteral("Rmax:"), rMax);
        form->addRow(QStringLiteral("Brightness from:"), brightness);
    }
    // The ratio as its window will be named; OK once both terms have a species.
    auto* name = new QLabel(&dialog);
    QDialogButtonBox* buttons = okCancel(dialog);
    form->addRow(QStringLiteral("Ratio:"), name);
    form->addRow(buttons);
    const auto showName = [&] {
        const RatioDefinition r = rows.ratio();
        const bool whole = !r.numerator.isEmpty() && !r.denominator.isEmpty();
        name->setText(whole ? ratioLabel(r, [&](int s) { return species.value(s); }) : QString());
        buttons->button(QDialogButtonBox::Ok)->setEnabled(whole);
    };
    showName();
    for (QListWidget* list : {rows.numerator, rows.denominator})
        QObject::connect(list, &QListWidget::itemChanged, &dialog, showName);
    QObject::connect(rows.unit, &QComboBox::currentIndexChanged, &dialog, showName);
    QObject::connect(rows.scale, &QDoubleSpinBox::valueChanged, &dialog, showName);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    RatioDialogChoice c;
    c.ratio = rows.ratio();
    if (c.ratio.numerator.isEmpty() || c.ratio.denominator.isEmpty())
        return std::nullopt;
    if (hsi) {
        c.brightness = HsiBrightness(std::max(0, brightness->currentIndex()));
        c.rMin = fieldNumber(rMin);
        c.rMax = fieldNumber(rMax);
    }
    return c;
}

// One row per species: its recorded dead time, one given by hand, and beta.
QTableWidget* correctionsTable(QDialog& dialog, const ImHeader& header,
                               const CorrectionSettings& current)
{
    auto* table = new QTableWidget(int(header.species.size()), 4, &dialog);
    table->setHorizontalHeaderLabels({QStringLiteral("Species"), QStringLiteral("Recorded (ns)"),
                                      QStringLiteral("Dead time (ns)"),
                                      QStringLiteral("QSA beta")});
    table->verticalHeader()->hide();
    // Every column and row in view, with no scroll bar to find the last ones behind.
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    for (int s = 0; s < header.species.size(); ++s) {
        const std::optional<int> recorded = recordedDeadTimeNs(header, s);
        // Only a dead time by hand can be typed, and not for secondary electrons.
        auto cell = [&](int column, const QString& text, Qt::ItemFlags flags) {
            auto* item = new QTableWidgetItem(text);
            item->setFlags(flags);
            table->setItem(s, column, item);
        };
        const Qt::ItemFlags editable = QTableWidgetItem().flags();
        const Qt::ItemFlags shown = editable & ~Qt::ItemIsEditable;
        cell(0, header.species[s], shown);
        cell(1, recorded ? QString::number(*recorded) : QStringLiteral("-"), shown);
        cell(2,
             current.deadTimeNs.contains(s) ? QString::number(current.deadTimeNs.value(s))
                                            : QString(),
             header.counting.value(s).secondaryElectrons ? shown : editable);
        cell(3, current.qsaBeta.contains(s) ? QString::number(current.qsaBeta.value(s)) : QString(),
             editable);
    }
    return table;
}

// The dead times and betas typed in the table; a cell left empty or unreadable gives none.
void readCorrectionsTable(const QTableWidget& table, CorrectionSettings& c)
{
    for (int s = 0; s < table.rowCount(); ++s) {
        bool ok = false;
        const double tau = table.item(s, 2)->text().trimmed().toDouble(&ok);
        if (ok && tau > 0)
            c.deadTimeNs.insert(s, tau);
        const double beta = table.item(s, 3)->text().trimmed().toDouble(&ok);
        if (ok)
            c.qsaBeta.insert(s, beta);
    }
}

std::optional<CorrectionSettings> defaultCorrections(QWidget* parent, const ImHeader& header,
                                                     const CorrectionSettings& current)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Count Corrections"));
    auto* form = new QFormLayout(&dialog);
    auto* deadTime = new QCheckBox(QStringLiteral("Correct for the detectors' dead time"), &dialog);
    deadTime->setChecked(current.deadTime);
    form->addRow(deadTime);
    if (!header.deadTimesRecorded)
        form->addRow(new QLabel(QStringLiteral("This file records no dead times: give them by "
                                               "hand below."),
                                &dialog));
    auto* qsa = new QCheckBox(QStringLiteral("Correct for QSA"), &dialog);
    qsa->setChecked(current.qsa);
    form->addRow(qsa);
    auto* currentPa = new QLineEdit(QString::number(current.primaryCurrentPa), &dialog);
    form->addRow(QStringLiteral("Primary current (pA):"), currentPa);
    QTableWidget* table = correctionsTable(dialog, header, current);
    form->addRow(table);
    form->addRow(okCancel(dialog));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    CorrectionSettings c;
    c.deadTime = deadTime->isChecked();
    c.qsa = qsa->isChecked();
    c.primaryCurrentPa = fieldNumber(currentPa).value_or(0);
    readCorrectionsTable(*table, c);
    return c;
}

std::optional<AlignChoice> defaultAlign(QWidget* parent, const QStringList& species, int layerCount,
                                        const QStringList& regions, const AlignChoice& proposed)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Align Layers"));
    auto* form = new QFormLayout(&dialog);
    auto* speciesBox = new QComboBox(&dialog);
    speciesBox->addItems(species);
    speciesBox->setCurrentIndex(proposed.species);
    auto* layer = new QSpinBox(&dialog);
    layer->setRange(1, std::max(1, layerCount));
    layer->setValue(proposed.referenceLayer);
    auto* region = new QComboBox(&dialog);
    region->addItem(QStringLiteral("Whole frame"));
    region->addItems(regions);
    region->setCurrentIndex(proposed.region + 1);
    auto* subpixel =
        new QCheckBox(QStringLiteral("Shift by fractions of a pixel (bilinear)"), &dialog);
    subpixel->setChecked(proposed.subpixel);
    form->addRow(QStringLiteral("Reference species:"), speciesBox);
    form->addRow(QStringLiteral("Reference layer:"), layer);
    form->addRow(QStringLiteral("Align on:"), region);
    form->addRow(subpixel);
    form->addRow(okCancel(dialog));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return AlignChoice{speciesBox->currentIndex(), layer->value(), region->currentIndex() - 1,
                       subpixel->isChecked()};
}

} // namespace

OpenFileSeam setOpenFile(OpenFileSeam seam)
{
    return seams::replace(std::move(seam), OpenFileSeam(defaultOpenFile));
}

OpenFilesSeam setOpenFiles(OpenFilesSeam seam)
{
    return seams::replace(std::move(seam), OpenFilesSeam(defaultOpenFiles));
}

SaveFileSeam setSaveFile(SaveFileSeam seam)
{
    return seams::replace(std::move(seam), SaveFileSeam(defaultSaveFile));
}

SelectColourSeam setSelectColour(SelectColourSeam seam)
{
    return seams::replace(std::move(seam), SelectColourSeam(defaultSelectColour));
}

LayerRangeSeam setLayerRange(LayerRangeSeam seam)
{
    return seams::replace(std::move(seam), LayerRangeSeam(defaultLayerRange));
}

RatioSeam setRatio(RatioSeam seam)
{
    return seams::replace(std::move(seam), RatioSeam(defaultRatio));
}

AlignSeam setAlign(AlignSeam seam)
{
    return seams::replace(std::move(seam), AlignSeam(defaultAlign));
}

CorrectionsSeam setCorrections(CorrectionsSeam seam)
{
    return seams::replace(std::move(seam), CorrectionsSeam(defaultCorrections));
}

ExcludeLayersSeam setExcludeLayers(ExcludeLayersSeam seam)
{
    return seams::replace(std::move(seam), ExcludeLayersSeam(defaultExcludeLayers));
}

std::optional<std::vector<int>> excludeLayers(QWidget* parent, const std::vector<int>& current,
                                              int layerCount)
{
    return seams::slot(ExcludeLayersSeam(defaultExcludeLayers))(parent, current, layerCount);
}

PercentilesSeam setPercentiles(PercentilesSeam seam)
{
    return seams::replace(std::move(seam), PercentilesSeam(defaultPercentiles));
}

std::optional<std::pair<double, double>> percentiles(QWidget* parent, double low, double high)
{
    return seams::slot(PercentilesSeam(defaultPercentiles))(parent, low, high);
}

FigureOptionsSeam setFigureOptions(FigureOptionsSeam seam)
{
    return seams::replace(std::move(seam), FigureOptionsSeam(defaultFigureOptions));
}

std::optional<FigureOptions> figureOptions(QWidget* parent, const FigureOptions& proposed,
                                           bool hasRegions)
{
    return seams::slot(FigureOptionsSeam(defaultFigureOptions))(parent, proposed, hasRegions);
}

FindRegionsSeam setFindRegions(FindRegionsSeam seam)
{
    return seams::replace(std::move(seam), FindRegionsSeam(findRegionsDialog));
}

std::optional<FindRegionsChoice> findRegions(QWidget* parent, const QStringList& species,
                                             const FindRegionsPreview& preview)
{
    return seams::slot(FindRegionsSeam(findRegionsDialog))(parent, species, preview);
}

OverlaySeam setOverlay(OverlaySeam seam)
{
    return seams::replace(std::move(seam), OverlaySeam(overlayDialog));
}

std::optional<OverlayDefinition> overlay(QWidget* parent, const QStringList& species)
{
    return seams::slot(OverlaySeam(overlayDialog))(parent, species);
}

ClassifySeam setClassify(ClassifySeam seam)
{
    return seams::replace(std::move(seam), ClassifySeam(classifyDialog));
}

std::optional<Classification> classify(QWidget* parent, const QStringList& species)
{
    return seams::slot(ClassifySeam(classifyDialog))(parent, species);
}

QString openFile(QWidget* parent, const QString& title, const QString& filter)
{
    return seams::slot(OpenFileSeam(defaultOpenFile))(parent, title, filter);
}

QStringList openFiles(QWidget* parent, const QString& title, const QString& filter)
{
    return seams::slot(OpenFilesSeam(defaultOpenFiles))(parent, title, filter);
}

std::pair<QString, QString> saveFile(QWidget* parent, const QString& title,
                                     const QString& suggestedName, const QString& filters)
{
    return seams::slot(SaveFileSeam(defaultSaveFile))(parent, title, suggestedName, filters);
}

std::optional<QRgb> selectColour(QWidget* parent, QRgb initial, const QString& prompt)
{
    return seams::slot(SelectColourSeam(defaultSelectColour))(parent, initial, prompt);
}

std::optional<std::pair<int, int>> layerRange(QWidget* parent, int first, int last, int layerCount)
{
    return seams::slot(LayerRangeSeam(defaultLayerRange))(parent, first, last, layerCount);
}

std::optional<RatioDialogChoice> ratio(QWidget* parent, const QStringList& species, RatioKind kind)
{
    return seams::slot(RatioSeam(defaultRatio))(parent, species, kind);
}

std::optional<AlignChoice> align(QWidget* parent, const QStringList& species, int layerCount,
                                 const QStringList& regions, const AlignChoice& proposed)
{
    return seams::slot(AlignSeam(defaultAlign))(parent, species, layerCount, regions, proposed);
}

std::optional<CorrectionSettings> corrections(QWidget* parent, const ImHeader& header,
                                              const CorrectionSettings& current)
{
    return seams::slot(CorrectionsSeam(defaultCorrections))(parent, header, current);
}

void installMessageBox()
{
    setMessageHandler([](const QString& text) {
        QMessageBox::information(QApplication::activeWindow(), QStringLiteral("Isolumen"), text);
    });
    setQuestionHandler([](const QString& text, const QStringList& buttons) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Isolumen"), text,
                        QMessageBox::NoButton, QApplication::activeWindow());
        QList<QAbstractButton*> added;
        for (const QString& b : buttons) {
            const bool cancel = b == QLatin1String("Cancel");
            added << box.addButton(b, cancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        }
        box.exec();
        return int(added.indexOf(box.clickedButton()));
    });
}

} // namespace Dialogs

} // namespace isolumen
