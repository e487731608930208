#include "colour/colorselector.h"

#include "app/dialogs.h"
#include "app/systemfont.h"
#include "colour/catalogue.h"
#include "colour/colorbarbutton.h"
#include "display/imagewindow.h"
#include "mainwindow/mainwindow.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

namespace {

constexpr QRgb black = 0x000000;
constexpr QRgb gray = 0x999999; // (153, 153, 153)
constexpr QRgb white = 0xFFFFFF;
constexpr int defaultTable = 9; // "10 Rainbow", as a new image window starts

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

ColorSelector* ColorSelector::instance()
{
    if (!shared())
        shared() = new ColorSelector; // deletes itself when closed
    return shared();
}

ColorSelector* ColorSelector::existing()
{
    return shared();
}

ColorSelector::ColorSelector()
    : QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    Layout();
}

void ColorSelector::Layout()
{
    setWindowTitle(QStringLiteral("Color Selector"));
    setFixedSize(532, 498);
    setFont(systemFont(12));

    auto* rectangle = new QFrame(this);
    rectangle->setObjectName(QStringLiteral("Rectangle1"));
    rectangle->setGeometry(20, 14, 492, 290);
    rectangle->setStyleSheet(
        QStringLiteral("#Rectangle1 { background: rgb(216, 216, 216); border: 1px solid black; }"));

    m_ctName = new QLabel(QStringLiteral("Select a Color Table  "), this);
    m_ctName->setObjectName(QStringLiteral("CTname"));
    m_ctName->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_ctName->setGeometry(26, 17, 480, 20);

    for (int k = 0; k < 20; ++k) {
        auto* bar = new ColorBarButton(k, this);
        bar->setObjectName(QStringLiteral("ColorBarButton%1").arg(k));
        bar->move(26 + 24 * k, 39);
        bar->setToolTip(Globals::lutname(k));
        connect(bar, &ColorBarButton::Action, this, [this, k] { SetCTlocal(k); });
        m_bars[k] = bar;
    }

    auto text = [this](const char* name, const QString& caption, int x, int y) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QLatin1String(name));
        label->setGeometry(x, y, 80, 20);
    };
    // The colour buttons act on mouse-down.
    auto bevel = [this](const QString& name, const QString& caption, QRect r, auto action) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setGeometry(r);
        b->setAutoDefault(false);
        connect(b, &QPushButton::pressed, this, action);
        return b;
    };

    // The high colour's row and the low colour's row, alike but for the colour they set and the
    // table entry "Same as" copies: the top of the ramp or its bottom.
    struct ColourRow
    {
        bool high;
        const char* prefix;
        const char* labelName;
        const char* label;
        int top;
        const char* sameCaption;
        int sameEntry;
    };
    for (const ColourRow& row :
         {ColourRow{true, "Hi", "StaticText1", "High Color", 316, "Same as Max Color", 254},
          ColourRow{false, "Lo", "StaticText2", "Low Color", 350, "Same as Min Color", 1}}) {
        const QString prefix = QLatin1String(row.prefix);
        const int y = row.top;
        text(row.labelName, QLatin1String(row.label), 26, y);
        auto* swatch = new ColorSwatch(this);
        swatch->setObjectName(prefix + QStringLiteral("ColorDisp"));
        swatch->setGeometry(108, y, 32, 22);
        (row.high ? m_hiColorDisp : m_loColorDisp) = swatch;
        const bool high = row.high;
        connect(swatch, &ColorSwatch::pressed, this, [this, high] { pickColor(high); });
        const auto set = [this, high](QRgb c) { high ? SetHiColorLocal(c) : SetLoColorLocal(c); };
        bevel(prefix + "Black", QStringLiteral("Black"), {152, y, 60, 22}, [set] { set(black); });
        bevel(prefix + "Gray", QStringLiteral("Gray"), {224, y, 60, 22}, [set] { set(gray); });
        bevel(prefix + "White", QStringLiteral("White"), {296, y, 60, 22}, [set] { set(white); });
        const int entry = row.sameEntry;
        bevel(prefix + "Same", QLatin1String(row.sameCaption), {368, y, 144, 22},
              [this, set, entry] { set(Globals::lut(m_ct, entry) & 0xFFFFFF); });
    }

    auto* group = new QGroupBox(QStringLiteral("Apply to"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    group->setGeometry(20, 384, 336, 94);
    // Radio buttons sit at (36, 414) and (36, 446) of the window.
    m_onlyCurrent = new QRadioButton(QStringLiteral("Only Current Window:"), group);
    m_onlyCurrent->setObjectName(QStringLiteral("OnlyCurrent"));
    m_onlyCurrent->setGeometry(16, 30, 275, 20);
    m_onlyCurrent->setChecked(true);
    m_all = new QRadioButton(QStringLiteral("All Open Image Windows"), group);
    m_all->setObjectName(QStringLiteral("All"));
    m_all->setGeometry(16, 62, 275, 20);

    auto* setDefault = new QPushButton(QStringLiteral("Set Colors to Default"), this);
    setDefault->setObjectName(QStringLiteral("SetDefault"));
    setDefault->setGeometry(368, 395, 144, 22);
    setDefault->setAutoDefault(false);
    connect(setDefault, &QPushButton::clicked, this, [this] {
        SetCT(defaultTable);
        SetHiColor(white);
        SetLoColor(gray);
        SendColorUpdate();
    });

    m_closeButton = new QPushButton(QStringLiteral("Close"), this);
    m_closeButton->setObjectName(QStringLiteral("FCloseButton"));
    m_closeButton->setGeometry(368, 454, 144, 22);
    m_closeButton->setDefault(true);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::close);

    SetHiColor(white);
    SetLoColor(white);
}

QPushButton* ColorSelector::button(const QString& name) const
{
    return findChild<QPushButton*>(name);
}

void ColorSelector::SetCTlocal(int n)
{
    SetCT(n);
    SendColorUpdate();
}

void ColorSelector::SetHiColor(QRgb c)
{
    m_hiColor = c & 0xFFFFFF;
    m_hiColorDisp->setColor(m_hiColor);
}

void ColorSelector::SetLoColor(QRgb c)
{
    m_loColor = c & 0xFFFFFF;
    m_loColorDisp->setColor(m_loColor);
}

void ColorSelector::SetAll(int calledFrom, QRgb hi, QRgb lo, int ct)
{
    m_calledFrom = calledFrom;
    QString species;
    if (const Main* main = Main::existing(); main && calledFrom >= 0 && calledFrom < 8)
        species = main->header().Species[calledFrom];
    m_onlyCurrent->setText(QStringLiteral("Only Current Window: ") + species);
    m_onlyCurrent->setChecked(true);
    SetCT(ct);
    SetHiColor(hi);
    SetLoColor(lo);
}

void ColorSelector::SendColorUpdate()
{
    // The windows are collected first; each is checked again when its turn comes, so none is
    // updated twice, and one closed meanwhile (by a handler that ran during another window's
    // redraw) is skipped: a closed window is hidden at once but deleted only later.
    QList<QPointer<ImageWindow>> windows;
    QPointer<ImageWindow> current;
    for (ImageWindow* w : Main::imageWindows()) {
        windows.append(w);
        if (w->IDnumber == m_calledFrom)
            current = w;
    }
    if (m_onlyCurrent->isChecked())
        windows = {current};
    for (const QPointer<ImageWindow>& w : windows) {
        if (w && w->isVisible())
            w->SetColors(m_ct, m_hiColor, m_loColor);
    }
}

void ColorSelector::SetCT(int n)
{
    if (n < 0 || n >= 20)
        return;
    m_ctName->setText(Globals::lutname(n) + QStringLiteral("  "));
    m_ct = n;
    for (int k = 0; k < 20; ++k)
        m_bars[k]->setValue(k == n);
}

void ColorSelector::SetHiColorLocal(QRgb c)
{
    SetHiColor(c);
    SendColorUpdate();
}

void ColorSelector::SetLoColorLocal(QRgb c)
{
    SetLoColor(c);
    SendColorUpdate();
}

void ColorSelector::pickColor(bool high)
{
    const std::optional<QRgb> picked = Dialogs::selectColor(
        this, high ? m_hiColor : m_loColor,
        high ? QStringLiteral("Select Hi Color") : QStringLiteral("Select Lo Color"));
    if (!picked)
        return;
    if (high)
        SetHiColorLocal(*picked);
    else
        SetLoColorLocal(*picked);
}
