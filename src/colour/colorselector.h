#pragma once

#include <QDialog>
#include <QRgb>
#include <array>

class ColorBarButton;
class ColorSwatch;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

// The colour selector: the window in which the user picks, for the image windows, one of the
// twenty catalogue tables and the high and low colours (the colours of values above and below
// the display range). Every choice takes effect at once on the image window that opened the
// selector or on all open image windows, as "Apply to" says. There is at most one; an image
// window obtains it with instance() and loads it with its own settings (SetAll). Closing it
// destroys it; the image windows keep the colours last sent to them.
//
// Methods ending in Local change the selector and then send the change; the same names without
// Local change the selector only.
class ColorSelector : public QDialog
{
    Q_OBJECT

public:
    // The shared selector, made (not yet shown) when none is open.
    static ColorSelector* instance();
    // The shared selector, or null; never makes one.
    static ColorSelector* existing();

    int CT() const { return m_ct; }
    QRgb HiColor() const { return m_hiColor; }
    QRgb LoColor() const { return m_loColor; }
    int CalledFrom() const { return m_calledFrom; }

    void SetCTlocal(int n);
    void SetHiColor(QRgb c);
    void SetLoColor(QRgb c);
    // Targets the image window of species calledFrom and shows its table and colours.
    void SetAll(int calledFrom, QRgb hi, QRgb lo, int ct);
    // Sends table, high and low colour to the image windows chosen under "Apply to".
    void SendColorUpdate();
    void SetCT(int n);
    void SetHiColorLocal(QRgb c);
    void SetLoColorLocal(QRgb c);

    QLabel* CTname() const { return m_ctName; }
    ColorBarButton* colorBarButton(int k) const { return m_bars[k]; }
    ColorSwatch* HiColorDisp() const { return m_hiColorDisp; }
    ColorSwatch* LoColorDisp() const { return m_loColorDisp; }
    QPushButton* button(const QString& name) const; // "HiBlack", "LoSame", "SetDefault" ...
    QRadioButton* OnlyCurrent() const { return m_onlyCurrent; }
    QRadioButton* All() const { return m_all; }
    QPushButton* FCloseButton() const { return m_closeButton; }

private:
    ColorSelector();
    void Layout();
    void pickColor(bool high);

    int m_ct = 0;
    QRgb m_hiColor = 0xFFFFFF;
    QRgb m_loColor = 0xFFFFFF;
    int m_calledFrom = 0;

    QLabel* m_ctName = nullptr;
    std::array<ColorBarButton*, 20> m_bars{};
    ColorSwatch* m_hiColorDisp = nullptr;
    ColorSwatch* m_loColorDisp = nullptr;
    QRadioButton* m_onlyCurrent = nullptr;
    QRadioButton* m_all = nullptr;
    QPushButton* m_closeButton = nullptr;
};

// A rectangle filled with one colour and a grey border; a press on it is reported.
class ColorSwatch : public QWidget
{
    Q_OBJECT

public:
    explicit ColorSwatch(QWidget* parent = nullptr);
    QRgb color() const { return m_color; }
    void setColor(QRgb c);

signals:
    void pressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRgb m_color = 0xFFFFFF;
};
