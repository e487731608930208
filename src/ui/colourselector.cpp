#include "ui/colourselector.h"

#include "core/colour/catalogue.h"
#include "ui/colourbarbutton.h"
#include "ui/dialogs.h"
#include "ui/imagewindowlist.h"
#include "ui/systemfont.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

namespace isolumen {

namespace {

QPointer<ColourSelector>& shared()
{
    static QPointer<ColourSelector> selector;
    return selector;
}

// Where the parts of the window sit: the frame of colour tables at the top, the high and the low
// colour's rows under it, "Apply to" at the bottom left and a column of buttons at the right.
namespace place {
constexpr QSize window(532, 498);
constexpr QRect tableFrame(20, 14, 492, 290);
constexpr QRect tableName(26, 17, 480, 20);
constexpr QPoint firstColourBar(26, 39);
constexpr int colourBarStep = 24;
constexpr int highRowTop = 316;
constexpr int lowRowTop = 350;
// A colour row's parts, moved down to its top.
constexpr QRect rowLabel(26, 0, 80, 20);
constexpr QRect rowSwatch(108, 0, 32, 22);
constexpr QRect rowBlack(152, 0, 60, 22);
constexpr QRect rowGray(224, 0, 60, 22);
constexpr QRect rowWhite(296, 0, 60, 22);
constexpr QRect rowSame(368, 0, 144, 22);
// The radio buttons in the group: at (36, 414) and (36, 446) of the window.
constexpr QRect applyTo(20, 384, 336, 94);
constexpr QRect onlyCurrent(16, 30, 275, 20);
constexpr QRect allWindows(16, 62, 275, 20);
constexpr QRect setDefault(368, 395, 144, 22);
constexpr QRect noValueLabel(368, 427, 100, 20);
constexpr QRect noValueSwatch(480, 426, 32, 22);
constexpr QRect closeButton(368, 454, 144, 22);
} // namespace place

void addLabel(QWidget* parent, const char* name, const QString& caption, const QRect& r)
{
    auto* l = new QLabel(caption, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(r);
}

ColourSwatch* addSwatch(QWidget* parent, const QString& name, const QRect& r)
{
    auto* s = new ColourSwatch(parent);
    s->setObjectName(name);
    s->setGeometry(r);
    return s;
}

// The colour buttons act on mouse-down.
template <typename Action>
void addBevel(QWidget* parent, const QString& name, const QString& caption, const QRect& r,
              Action action)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(r);
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::pressed, parent, action);
}

} // namespace

ColourSwatch::ColourSwatch(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void ColourSwatch::setColour(QRgb c)
{
    m_colour = c & 0xFFFFFF;
    update();
}

void ColourSwatch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor::fromRgb(m_colour));
    p.setPen(QColor(131, 131, 131));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ColourSwatch::mousePressEvent(QMouseEvent* event)
{
    event->ignore(); // not consumed
    emit pressed();
}

ColourSelector* ColourSelector::instance(const ImageWindowList& windows)
{
    if (!shared())
        shared() = new ColourSelector(windows); // deletes itself when closed
    return shared();
}

ColourSelector* ColourSelector::existing()
{
    return shared();
}

ColourSelector::ColourSelector(const ImageWindowList& windows)
    : QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      m_windows(windows)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    layOut();
}

void ColourSelector::layOut()
{
    setWindowTitle(QStringLiteral("Color Selector"));
    setFixedSize(place::window);
    setFont(systemFont(12));
    layOutTables();
    for (const bool high : {true, false})
        layOutColourRow(high);
    layOutApplyTo();
    layOutRightButtons();
    setHighColour(ChoiceColours::kWhite);
    setLowColour(ChoiceColours::kWhite);
    setNoValueColour(ChoiceColours::kBlack);
}

void ColourSelector::layOutTables()
{
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("tableFrame"));
    frame->setGeometry(place::tableFrame);
    frame->setStyleSheet(
        QStringLiteral("#tableFrame { background: rgb(216, 216, 216); border: 1px solid black; }"));

    m_tableName = new QLabel(QStringLiteral("Select a Color Table  "), this);
    m_tableName->setObjectName(QStringLiteral("tableName"));
    m_tableName->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_tableName->setGeometry(place::tableName);

    for (int k = 0; k < kTableCount; ++k) {
        auto* bar = new ColourBarButton(k, this);
        bar->setObjectName(QStringLiteral("colourBar%1").arg(k));
        bar->move(place::firstColourBar + QPoint(place::colourBarStep * k, 0));
        bar->setToolTip(colourTableName(k));
        connect(bar, &ColourBarButton::pressed, this, [this, k] { chooseTable(k); });
        m_bars[k] = bar;
    }
}

// The high colour's row and the low colour's row, alike but for the colour they set and the
// table entry "Same as" copies: the top of the ramp or its bottom.
void ColourSelector::layOutColourRow(bool high)
{
    const QString prefix = high ? QStringLiteral("high") : QStringLiteral("low");
    const int y = high ? place::highRowTop : place::lowRowTop;
    addLabel(this, high ? "highLabel" : "lowLabel", high ? "High Color" : "Low Color",
             place::rowLabel.translated(0, y));
    ColourSwatch* s =
        addSwatch(this, prefix + QStringLiteral("Swatch"), place::rowSwatch.translated(0, y));
    (high ? m_high : m_low) = s;
    const QString prompt =
        high ? QStringLiteral("Select Hi Color") : QStringLiteral("Select Lo Color");
    connect(s, &ColourSwatch::pressed, this, [this, s, prompt] { pickColour(s, prompt); });
    const auto set = [this, high](QRgb c) { high ? chooseHighColour(c) : chooseLowColour(c); };
    addBevel(this, prefix + "Black", QStringLiteral("Black"), place::rowBlack.translated(0, y),
             [set] { set(ChoiceColours::kBlack); });
    addBevel(this, prefix + "Gray", QStringLiteral("Gray"), place::rowGray.translated(0, y),
             [set] { set(ChoiceColours::kGrey); });
    addBevel(this, prefix + "White", QStringLiteral("White"), place::rowWhite.translated(0, y),
             [set] { set(ChoiceColours::kWhite); });
    const int entry = high ? 254 : 1;
    addBevel(this, prefix + "Same",
             high ? QStringLiteral("Same as Max Color") : QStringLiteral("Same as Min Color"),
             place::rowSame.translated(0, y),
             [this, set, entry] { set(colourTable(m_choice.table)[entry] & 0xFFFFFF); });
}

void ColourSelector::layOutApplyTo()
{
    auto* group = new QGroupBox(QStringLiteral("Apply to"), this);
    group->setObjectName(QStringLiteral("applyTo"));
    group->setGeometry(place::applyTo);
    m_onlyCurrent = new QRadioButton(QStringLiteral("Only Current Window:"), group);
    m_onlyCurrent->setObjectName(QStringLiteral("onlyCurrent"));
    m_onlyCurrent->setGeometry(place::onlyCurrent);
    m_onlyCurrent->setChecked(true);
    m_all = new QRadioButton(QStringLiteral("All Open Image Windows"), group);
    m_all->setObjectName(QStringLiteral("allWindows"));
    m_all->setGeometry(place::allWindows);
}

void ColourSelector::layOutRightButtons()
{
    auto* setDefault = new QPushButton(QStringLiteral("Set Colors to Default"), this);
    setDefault->setObjectName(QStringLiteral("setDefault"));
    setDefault->setGeometry(place::setDefault);
    setDefault->setAutoDefault(false);
    connect(setDefault, &QPushButton::clicked, this, [this] {
        showTable(DisplaySettings::kDefaultTable);
        setHighColour(ChoiceColours::kWhite);
        setLowColour(ChoiceColours::kGrey);
        setNoValueColour(ChoiceColours::kBlack);
        sendColourUpdate();
    });

    // Pixels without a value (a ratio without a denominator) between the two right buttons.
    addLabel(this, "noValueLabel", QStringLiteral("No Value"), place::noValueLabel);
    m_noValue = addSwatch(this, QStringLiteral("noValueSwatch"), place::noValueSwatch);
    connect(m_noValue, &ColourSwatch::pressed, this,
            [this] { pickColour(m_noValue, QStringLiteral("Select No Value Color")); });

    m_closeButton = new QPushButton(QStringLiteral("Close"), this);
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setGeometry(place::closeButton);
    m_closeButton->setDefault(true);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::close);
}

QPushButton* ColourSelector::button(const QString& name) const
{
    return findChild<QPushButton*>(name);
}

void ColourSelector::retarget(QWidget* window, const QString& name, const ColourChoice& current)
{
    m_target = window;
    // A "&" in a name is shown, as on the species button, not taken for a mnemonic.
    m_onlyCurrent->setText(QStringLiteral("Only Current Window: ") +
                           QString(name).replace(QLatin1Char('&'), QStringLiteral("&&")));
    m_onlyCurrent->setChecked(true);
    showTable(current.table);
    setHighColour(current.high);
    setLowColour(current.low);
    setNoValueColour(current.noValue);
}

void ColourSelector::showTable(int table)
{
    if (table < 0 || table >= kTableCount)
        return;
    m_tableName->setText(colourTableName(table) + QStringLiteral("  "));
    m_choice.table = table;
    for (int k = 0; k < kTableCount; ++k)
        m_bars[k]->setSelected(k == table);
}

void ColourSelector::setHighColour(QRgb c)
{
    m_choice.high = c & 0xFFFFFF;
    m_high->setColour(m_choice.high);
}

void ColourSelector::setLowColour(QRgb c)
{
    m_choice.low = c & 0xFFFFFF;
    m_low->setColour(m_choice.low);
}

void ColourSelector::setNoValueColour(QRgb c)
{
    m_choice.noValue = c & 0xFFFFFF;
    m_noValue->setColour(m_choice.noValue);
}

void ColourSelector::chooseTable(int table)
{
    showTable(table);
    sendColourUpdate();
}

void ColourSelector::chooseHighColour(QRgb c)
{
    setHighColour(c);
    sendColourUpdate();
}

void ColourSelector::chooseLowColour(QRgb c)
{
    setLowColour(c);
    sendColourUpdate();
}

void ColourSelector::chooseNoValueColour(QRgb c)
{
    setNoValueColour(c);
    sendColourUpdate();
}

void ColourSelector::sendColourUpdate()
{
    m_windows.applyColours(m_choice, m_target, m_all->isChecked());
}

void ColourSelector::pickColour(ColourSwatch* swatch, const QString& prompt)
{
    const std::optional<QRgb> picked = Dialogs::selectColour(this, swatch->colour(), prompt);
    if (!picked)
        return;
    if (swatch == m_high)
        chooseHighColour(*picked);
    else if (swatch == m_low)
        chooseLowColour(*picked);
    else
        chooseNoValueColour(*picked);
}

} // namespace isolumen
