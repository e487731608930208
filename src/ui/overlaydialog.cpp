#include "ui/overlaydialog.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

namespace isolumen {

namespace {

// The range kinds in the order of the range pop-up.
enum RangeKind { Automatic, Percentile, Typed };

// One source row: the source, its range kind, and the two ends (percentiles or values).
struct SourceRow
{
    QComboBox* source = nullptr;
    QComboBox* range = nullptr;
    QDoubleSpinBox* low = nullptr;
    QDoubleSpinBox* high = nullptr;

    // The row's source; absent when it is left blank or cannot be read. ok turns false when
    // the row holds something that is not a source or a range that is not one.
    std::optional<OverlaySource> choice(const QStringList& species, bool& ok) const
    {
        const QString text = source->currentText().trimmed();
        if (text.isEmpty())
            return std::nullopt;
        const auto f = parseFindingSource(text, species);
        if (!f || !(low->value() < high->value())) {
            ok = false;
            return std::nullopt;
        }
        OverlaySource s{*f, {}};
        if (range->currentIndex() == Percentile)
            s.range.automatic = {AutoRange::Percentile, low->value(), high->value()};
        else if (range->currentIndex() == Typed)
            s.range.typed = std::pair{low->value(), high->value()};
        return s;
    }

    // The ends mean percentiles or values, and nothing for the automatic range.
    void showRange() const
    {
        const bool percentile = range->currentIndex() == Percentile;
        low->setEnabled(range->currentIndex() != Automatic);
        high->setEnabled(range->currentIndex() != Automatic);
        low->setRange(percentile ? 0 : -1e15, percentile ? 100 : 1e15);
        high->setRange(percentile ? 0 : -1e15, percentile ? 100 : 1e15);
        if (percentile) {
            low->setValue(AutoRangeChoice::kDefaultLow);
            high->setValue(AutoRangeChoice::kDefaultHigh);
        }
    }
};

QDoubleSpinBox* endBox(QWidget* parent, double value)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setLocale(QLocale::c()); // "." as the point, as everywhere
    box->setDecimals(4);
    box->setRange(-1e15, 1e15);
    box->setValue(value);
    return box;
}

SourceRow addRow(QDialog& dialog, QGridLayout* grid, int row, const QStringList& species)
{
    SourceRow r;
    r.source = new QComboBox(&dialog);
    r.source->setEditable(true);
    if (row == 3)
        r.source->addItem(QString()); // the third source is optional
    for (const QString& label : species)
        r.source->addItem(label.trimmed());
    r.source->setCurrentIndex(row == 3 ? 0 : std::min(row - 1, int(species.size()) - 1));
    r.source->setToolTip(QStringLiteral("A species, a sum such as 12C+13C, or a ratio such as "
                                        "13C/12C."));
    r.range = new QComboBox(&dialog);
    r.range->addItems({QStringLiteral("Automatic"), QStringLiteral("Percentile"),
                       QStringLiteral("Typed")}); // in the order of RangeKind
    r.low = endBox(&dialog, 0);
    r.high = endBox(&dialog, 1);
    grid->addWidget(new QLabel(QStringLiteral("Source %1:").arg(row), &dialog), row, 0);
    grid->addWidget(r.source, row, 1);
    grid->addWidget(r.range, row, 2);
    grid->addWidget(r.low, row, 3);
    grid->addWidget(r.high, row, 4);
    QObject::connect(r.range, &QComboBox::currentIndexChanged, &dialog, [r] { r.showRange(); });
    r.showRange();
    return r;
}

std::optional<OverlayDefinition> choiceOf(const QList<SourceRow>& rows, int colours,
                                          const QStringList& species)
{
    OverlayDefinition definition;
    definition.colours = OverlayColours(colours);
    bool ok = true;
    for (const SourceRow& r : rows) {
        if (const auto s = r.choice(species, ok))
            definition.sources << *s;
    }
    if (!ok || definition.sources.size() < 2)
        return std::nullopt;
    return definition;
}

} // namespace

std::optional<OverlayDefinition> overlayDialog(QWidget* parent, const QStringList& species)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Overlay Image"));
    auto* grid = new QGridLayout(&dialog);
    grid->addWidget(new QLabel(QStringLiteral("Range"), &dialog), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Low"), &dialog), 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("High"), &dialog), 0, 4);
    const QList<SourceRow> rows = {addRow(dialog, grid, 1, species),
                                   addRow(dialog, grid, 2, species),
                                   addRow(dialog, grid, 3, species)};
    auto* colours = new QComboBox(&dialog);
    colours->addItems({QStringLiteral("Red, green, blue"),
                       QStringLiteral("Magenta, green, cyan (for colour-blind readers)")});
    grid->addWidget(new QLabel(QStringLiteral("Colours:"), &dialog), 4, 0);
    grid->addWidget(colours, 4, 1, 1, 4);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    grid->addWidget(buttons, 5, 0, 1, 5);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    const auto check = [&] {
        buttons->button(QDialogButtonBox::Ok)
            ->setEnabled(choiceOf(rows, colours->currentIndex(), species).has_value());
    };
    for (const SourceRow& r : rows) {
        QObject::connect(r.source, &QComboBox::currentTextChanged, &dialog, check);
        QObject::connect(r.range, &QComboBox::currentIndexChanged, &dialog, check);
        for (QDoubleSpinBox* box : {r.low, r.high})
            QObject::connect(box, &QDoubleSpinBox::valueChanged, &dialog, check);
    }
    check();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return choiceOf(rows, colours->currentIndex(), species);
}

} // namespace isolumen
