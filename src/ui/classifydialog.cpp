#include "ui/classifydialog.h"

#include "core/result.h"
#include "ui/measurechooser.h"
#include "ui/messagebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <variant>

namespace isolumen {

namespace {

constexpr int kRules = 3;

// The widgets of one rule, in a row of the grid.
struct RuleRow
{
    QCheckBox* used = nullptr;
    MeasureChooser* measure = nullptr;
    QComboBox* comparison = nullptr;
    QLineEdit* value = nullptr;
};

RuleRow addRuleRow(QDialog& dialog, QGridLayout* grid, int row, const QStringList& species)
{
    RuleRow r;
    r.used = new QCheckBox(row == 0 ? QStringLiteral("If") : QStringLiteral("and"), &dialog);
    r.used->setChecked(row == 0);
    r.used->setEnabled(row > 0);
    r.measure = new MeasureChooser(species, &dialog);
    r.comparison = new QComboBox(&dialog);
    r.comparison->addItems(
        {QStringLiteral("<"), QStringLiteral("≤"), QStringLiteral(">"), QStringLiteral("≥")});
    r.comparison->setCurrentIndex(2);
    r.value = new QLineEdit(QStringLiteral("0"), &dialog);
    grid->addWidget(r.used, row, 0);
    grid->addWidget(r.measure, row, 1);
    grid->addWidget(r.comparison, row, 2);
    grid->addWidget(r.value, row, 3);
    return r;
}

// The rule of a row, or the reason it is none.
Result<ClassRule> ruleOf(const RuleRow& r)
{
    ClassRule rule;
    rule.measure = r.measure->measure();
    rule.comparison = ClassRule::Comparison(r.comparison->currentIndex());
    bool ok = false;
    rule.value = r.value->text().trimmed().toDouble(&ok); // "." whatever the locale
    if (!ok)
        return Failure{QStringLiteral("\"%1\" is not a number.").arg(r.value->text())};
    return rule;
}

} // namespace

std::optional<Classification> classifyDialog(QWidget* parent, const QStringList& species)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Classify Regions"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* grid = new QGridLayout;
    QList<RuleRow> rows;
    for (int i = 0; i < kRules; ++i)
        rows << addRuleRow(dialog, grid, i, species);
    layout->addLayout(grid);
    auto* classRow = new QHBoxLayout;
    auto* regionClass = new QLineEdit(&dialog);
    classRow->addWidget(new QLabel(QStringLiteral("then set the class to:"), &dialog));
    classRow->addWidget(regionClass);
    layout->addLayout(classRow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    Classification result;
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        result = {{}, regionClass->text().trimmed()};
        for (const RuleRow& r : std::as_const(rows)) {
            if (!r.used->isChecked())
                continue;
            const auto rule = ruleOf(r);
            if (!rule)
                return showMessage(rule.error().message);
            result.rules << *rule;
        }
        dialog.accept();
    });
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return result;
}

} // namespace isolumen
