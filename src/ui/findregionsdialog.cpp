#include "ui/findregionsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

namespace isolumen {

namespace {

// The widgets of the dialog, and the choice they make together.
struct FindRegionsForm
{
    QComboBox* source = nullptr;
    QDoubleSpinBox* smooth = nullptr;
    QComboBox* thresholdKind = nullptr;
    QDoubleSpinBox* threshold = nullptr;
    QDoubleSpinBox* lowest = nullptr;
    QCheckBox* split = nullptr;
    QSpinBox* splitDistance = nullptr;
    QDoubleSpinBox* minArea = nullptr;
    QDoubleSpinBox* maxArea = nullptr;
    QCheckBox* excludeEdge = nullptr;
    QRadioButton* replace = nullptr;

    std::optional<FindRegionsChoice> choice(const QStringList& species) const
    {
        const std::optional<RegionFinding> f =
            parseFindingSource(source->currentText(), species);
        if (!f)
            return std::nullopt;
        FindRegionsChoice c{*f, replace->isChecked()};
        SegmentationOptions& o = c.finding.options;
        o.smoothSigma = smooth->value();
        o.threshold = SegmentationOptions::Threshold(thresholdKind->currentIndex());
        o.thresholdValue = threshold->value();
        o.lowestValue = lowest->value();
        o.splitMinDistance = split->isChecked() ? splitDistance->value() : 0;
        o.minArea = minArea->value();
        o.maxArea = maxArea->value() > 0 ? maxArea->value() : o.maxArea;
        o.excludeEdge = excludeEdge->isChecked();
        return c;
    }
};

QDoubleSpinBox* numberBox(QWidget* parent, double value, double most, int decimals)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setLocale(QLocale::c()); // "." as the point, as everywhere
    box->setRange(0, most);
    box->setDecimals(decimals);
    box->setValue(value);
    return box;
}

FindRegionsForm buildForm(QDialog& dialog, QFormLayout* form, const QStringList& species)
{
    FindRegionsForm f;
    f.source = new QComboBox(&dialog);
    f.source->setEditable(true);
    for (const QString& label : species)
        f.source->addItem(label.trimmed());
    f.source->setToolTip(QStringLiteral("A species, a sum such as 12C+13C, or a ratio such as "
                                        "13C/12C or 13C/(12C+13C)."));
    f.smooth = numberBox(&dialog, 1, 50, 1);
    f.thresholdKind = new QComboBox(&dialog);
    f.thresholdKind->addItems({QStringLiteral("Otsu"), QStringLiteral("Value"),
                               QStringLiteral("Percentile")}); // in the order of Threshold
    f.threshold = numberBox(&dialog, 0, 1e12, 3);
    f.lowest = numberBox(&dialog, 0, 1e12, 3);
    f.split = new QCheckBox(QStringLiteral("Split touching cells, seeds apart by"), &dialog);
    f.splitDistance = new QSpinBox(&dialog);
    f.splitDistance->setRange(1, 1000);
    f.splitDistance->setValue(3);
    f.splitDistance->setSuffix(QStringLiteral(" px"));
    f.minArea = numberBox(&dialog, 4, 1e9, 0);
    f.maxArea = numberBox(&dialog, 0, 1e9, 0);
    f.maxArea->setSpecialValueText(QStringLiteral("none"));
    f.excludeEdge = new QCheckBox(QStringLiteral("Leave out cells at the frame's edge"), &dialog);
    f.replace = new QRadioButton(QStringLiteral("Replace the regions"), &dialog);
    auto* add = new QRadioButton(QStringLiteral("Add to the regions"), &dialog);
    f.replace->setChecked(true);
    form->addRow(QStringLiteral("Source:"), f.source);
    form->addRow(QStringLiteral("Smoothing (sigma, px):"), f.smooth);
    form->addRow(QStringLiteral("Threshold:"), f.thresholdKind);
    form->addRow(QStringLiteral("Value or percentile:"), f.threshold);
    form->addRow(QStringLiteral("Lowest value in a cell:"), f.lowest);
    form->addRow(f.split, f.splitDistance);
    form->addRow(QStringLiteral("Least area (px):"), f.minArea);
    form->addRow(QStringLiteral("Largest area (px):"), f.maxArea);
    form->addRow(f.excludeEdge);
    form->addRow(f.replace);
    form->addRow(add);
    return f;
}

} // namespace

std::optional<FindRegionsChoice> findRegionsDialog(QWidget* parent, const QStringList& species,
                                                   const Dialogs::FindRegionsPreview& preview)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Find Regions"));
    auto* form = new QFormLayout(&dialog);
    const FindRegionsForm f = buildForm(dialog, form, species);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    // Changes come in bursts while a number is typed: the preview follows the last of them.
    QTimer settle;
    settle.setSingleShot(true);
    settle.setInterval(150);
    QObject::connect(&settle, &QTimer::timeout, &dialog, [&] {
        const std::optional<FindRegionsChoice> c = f.choice(species);
        buttons->button(QDialogButtonBox::Ok)->setEnabled(c.has_value());
        preview(c);
    });
    const auto changed = [&settle] { settle.start(); };
    QObject::connect(f.source, &QComboBox::currentTextChanged, &dialog, changed);
    QObject::connect(f.thresholdKind, &QComboBox::currentIndexChanged, &dialog, changed);
    for (QDoubleSpinBox* box : {f.smooth, f.threshold, f.lowest, f.minArea, f.maxArea})
        QObject::connect(box, &QDoubleSpinBox::valueChanged, &dialog, changed);
    QObject::connect(f.splitDistance, &QSpinBox::valueChanged, &dialog, changed);
    for (QCheckBox* box : {f.split, f.excludeEdge})
        QObject::connect(box, &QCheckBox::toggled, &dialog, changed);
    // A typed value or percentile means nothing to Otsu's threshold.
    const auto showThreshold = [&f] {
        f.threshold->setEnabled(f.thresholdKind->currentIndex() != 0);
    };
    QObject::connect(f.thresholdKind, &QComboBox::currentIndexChanged, &dialog, showThreshold);
    showThreshold();
    settle.start();
    const bool accepted = dialog.exec() == QDialog::Accepted;
    preview(std::nullopt);
    return accepted ? f.choice(species) : std::nullopt;
}

} // namespace isolumen
