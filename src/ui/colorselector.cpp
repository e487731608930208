#include "ui/colorselector.h"

#include "core/colour/catalogue.h"
#include "ui/colorbarbutton.h"
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

namespace {

constexpr QRgb black = 0x000000;
constexpr QRgb gray = 0x999999; // (153, 153, 153)
constexpr QRgb white = 0xFFFFFF;

QPointer<ColorSelector>& shared()
{
    static QPointer<ColorSelector> selector;
    return selector;
}

} // namespace

ColorSwatch::ColorSwatch(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void ColorSwatch::setColor(QRgb c)
{
    m_color = c & 0xFFFFFF;
    update();
}

void ColorSwatch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor::fromRgb(m_color));
    p.setPen(QColor(131, 131, 131));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ColorSwatch::mousePressEvent(QMouseEvent* event)
{
    event->ignore(); // not consumed
    emit pressed();
}

ColorSelector* ColorSelector::instance(const ImageWindowList& windows)
{
    if (!shared())
        shared() = new ColorSelector(windows); // deletes itself when closed
    return shared();
}

ColorSelector* ColorSelector::existing()
{
    return shared();
}

ColorSelector::ColorSelector(const ImageWindowList& windows)
    : QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      m_windows(windows)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    layOut();
}

void ColorSelector::layOut()
{
    setWindowTitle(QStringLiteral("Color Selector"));
    setFixedSize(532, 498);
    setFont(systemFont(12));

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("tableFrame"));
    frame->setGeometry(20, 14, 492, 290);
    frame->setStyleSheet(
        QStringLiteral("#tableFrame { background: rgb(216, 216, 216); border: 1px solid black; }"));

    m_tableName = new QLabel(QStringLiteral("Select a Color Table  "), this);
    m_tableName->setObjectName(QStringLiteral("tableName"));
    m_tableName->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_tableName->setGeometry(26, 17, 480, 20);

    for (int k = 0; k < kTableCount; ++k) {
        auto* bar = new ColorBarButton(k, this);
        bar->setObjectName(QStringLiteral("colourBar%1").arg(k));
        bar->move(26 + 24 * k, 39);
        bar->setToolTip(colourTableName(k));
        connect(bar, &ColorBarButton::pressed, this, [this, k] { chooseTable(k); });
        m_bars[k] = bar;
    }

    auto label = [this](const char* name, const QString& caption, QRect r) {
        auto* l = new QLabel(caption, this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(r);
    };
    auto swatch = [this](const QString& name, QRect r) {
        auto* s = new ColorSwatch(this);
        s->setObjectName(name);
        s->setGeometry(r);
        return s;
    };
    // The colour buttons act on mouse-down.
    auto bevel = [this](const QString& name, const QString& caption, QRect r, auto action) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setGeometry(r);
        b->setAutoDefault(false);
        connect(b, &QPushButton::pressed, this, action);
    };

    // The high colour's row and the low colour's row, alike but for the colour they set and the
    // table entry "Same as" copies: the top of the ramp or its bottom.
    for (const bool high : {true, false}) {
        const QString prefix = high ? QStringLiteral("high") : QStringLiteral("low");
        const int y = high ? 316 : 350;
        label(high ? "highLabel" : "lowLabel", high ? "High Color" : "Low Color", {26, y, 80, 20});
        ColorSwatch* s = swatch(prefix + QStringLiteral("Swatch"), {108, y, 32, 22});
        (high ? m_high : m_low) = s;
        const QString prompt =
            high ? QStringLiteral("Select Hi Color") : QStringLiteral("Select Lo Color");
        connect(s, &ColorSwatch::pressed, this, [this, s, prompt] { pickColour(s, prompt); });
        const auto set = [this, high](QRgb c) { high ? chooseHighColour(c) : chooseLowColour(c); };
        bevel(prefix + "Black", QStringLiteral("Black"), {152, y, 60, 22}, [set] { set(black); });
        bevel(prefix + "Gray", QStringLiteral("Gray"), {224, y, 60, 22}, [set] { set(gray); });
        bevel(prefix + "White", QStringLiteral("White"), {296, y, 60, 22}, [set] { set(white); });
        const int entry = high ? 254 : 1;
        bevel(prefix + "Same",
              high ? QStringLiteral("Same as Max Color") : QStringLiteral("Same as Min Color"),
              {368, y, 144, 22},
              [this, set, entry] { set(colourTable(m_choice.table)[entry] & 0xFFFFFF); });
    }

    auto* group = new QGroupBox(QStringLiteral("Apply to"), this);
    group->setObjectName(QStringLiteral("applyTo"));
    group->setGeometry(20, 384, 336, 94);
    // Radio buttons sit at (36, 414) and (36, 446) of the window.
    m_onlyCurrent = new QRadioButton(QStringLiteral("Only Current Window:"), group);
    m_onlyCurrent->setObjectName(QStringLiteral("onlyCurrent"));
    m_onlyCurrent->setGeometry(16, 30, 275, 20);
    m_onlyCurrent->setChecked(true);
    m_all = new QRadioButton(QStringLiteral("All Open Image Windows"), group);
    m_all->setObjectName(QStringLiteral("allWindows"));
    m_all->setGeometry(16, 62, 275, 20);

    auto* setDefault = new QPushButton(QStringLiteral("Set Colors to Default"), this);
    setDefault->setObjectName(QStringLiteral("setDefault"));
    setDefault->setGeometry(368, 395, 144, 22);
    setDefault->setAutoDefault(false);
    connect(setDefault, &QPushButton::clicked, this, [this] {
        showTable(DisplaySettings::kDefaultTable);
        setHighColour(white);
        setLowColour(gray);
        setNoValueColour(black);
        sendColourUpdate();
    });

    // Pixels without a value (a ratio without a denominator) between the two right buttons.
    label("noValueLabel", QStringLiteral("No Value"), {368, 427, 100, 20});
    m_noValue = swatch(QStringLiteral("noValueSwatch"), {480, 426, 32, 22});
    connect(m_noValue, &ColorSwatch::pressed, this,
            [this] { pickColour(m_noValue, QStringLiteral("Select No Value Color")); });

    m_closeButton = new QPushButton(QStringLiteral("Close"), this);
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setGeometry(368, 454, 144, 22);
    m_closeButton->setDefault(true);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::close);

    setHighColour(white);
    setLowColour(white);
    setNoValueColour(black);
}

QPushButton* ColorSelector::button(const QString& name) const
{
    return findChild<QPushButton*>(name);
}

void ColorSelector::retarget(QWidget* window, const QString& name, const ColourChoice& current)
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

void ColorSelector::showTable(int table)
{
    if (table < 0 || table >= kTableCount)
        return;
    m_tableName->setText(colourTableName(table) + QStringLiteral("  "));
    m_choice.table = table;
    for (int k = 0; k < kTableCount; ++k)
        m_bars[k]->setSelected(k == table);
}

void ColorSelector::setHighColour(QRgb c)
{
    m_choice.high = c & 0xFFFFFF;
    m_high->setColor(m_choice.high);
}

void ColorSelector::setLowColour(QRgb c)
{
    m_choice.low = c & 0xFFFFFF;
    m_low->setColor(m_choice.low);
}

void ColorSelector::setNoValueColour(QRgb c)
{
    m_choice.noValue = c & 0xFFFFFF;
    m_noValue->setColor(m_choice.noValue);
}

void ColorSelector::chooseTable(int table)
{
    showTable(table);
    sendColourUpdate();
}

void ColorSelector::chooseHighColour(QRgb c)
{
    setHighColour(c);
    sendColourUpdate();
}

void ColorSelector::chooseLowColour(QRgb c)
{
    setLowColour(c);
    sendColourUpdate();
}

void ColorSelector::chooseNoValueColour(QRgb c)
{
    setNoValueColour(c);
    sendColourUpdate();
}

void ColorSelector::sendColourUpdate()
{
    m_windows.applyColours(m_choice, m_target, m_all->isChecked());
}

void ColorSelector::pickColour(ColorSwatch* swatch, const QString& prompt)
{
    const std::optional<QRgb> picked = Dialogs::selectColor(this, swatch->color(), prompt);
    if (!picked)
        return;
    if (swatch == m_high)
        chooseHighColour(*picked);
    else if (swatch == m_low)
        chooseLowColour(*picked);
    else
        chooseNoValueColour(*picked);
}
