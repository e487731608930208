#pragma once

#include "core/render/displaysettings.h"

#include <QDialog>
#include <QPointer>
#include <array>

class QLabel;
class QPushButton;
class QRadioButton;

namespace isolumen {

class ColourBarButton;
class ColourSwatch;
class ImageWindowList;

// The colour selector: the window in which the user picks, for the image windows, one of the
// twenty catalogue tables, the high and low colours (the colours of values above and below the
// display range) and the colour of pixels without a value. Every choice takes effect at once on
// the image window that opened the selector or on all open image windows, as "Apply to" says.
// There is at most one; an image window obtains it with instance() and loads it with its own
// settings (retarget). Closing it destroys it; the image windows keep the colours last sent to
// them. It knows the windows only through the list it applies its choices to.
//
// Methods named choose... change the selector and then send the change; the others change the
// selector only.
class ColourSelector : public QDialog
{
    Q_OBJECT

public:
    // The shared selector, made (not yet shown) when none is open.
    static ColourSelector* instance(const ImageWindowList& windows);
    // The shared selector, or null; never makes one.
    static ColourSelector* existing();

    const ColourChoice& choice() const { return m_choice; }
    const QWidget* target() const { return m_target; }

    // Targets a window: its name in the "Only Current Window:" caption, which is selected, and
    // its table and colours shown.
    void retarget(QWidget* window, const QString& name, const ColourChoice& current);
    void showTable(int table);
    void setHighColour(QRgb c);
    void setLowColour(QRgb c);
    void setNoValueColour(QRgb c);
    void chooseTable(int table);
    void chooseHighColour(QRgb c);
    void chooseLowColour(QRgb c);
    void chooseNoValueColour(QRgb c);
    // Sends the choice to the image windows chosen under "Apply to".
    void sendColourUpdate();

    QLabel* tableName() const { return m_tableName; }
    ColourBarButton* colourBar(int k) const { return m_bars[k]; }
    ColourSwatch* highSwatch() const { return m_high; }
    ColourSwatch* lowSwatch() const { return m_low; }
    ColourSwatch* noValueSwatch() const { return m_noValue; }
    QPushButton* button(const QString& name) const; // "highBlack", "lowSame", "setDefault" ...
    QRadioButton* onlyCurrent() const { return m_onlyCurrent; }
    QRadioButton* allWindows() const { return m_all; }
    QPushButton* closeButton() const { return m_closeButton; }

private:
    explicit ColourSelector(const ImageWindowList& windows);
    void layOut();
    void layOutTables();
    void layOutColourRow(bool high);
    void layOutApplyTo();
    void layOutRightButtons();
    void pickColour(ColourSwatch* swatch, const QString& prompt);

    const ImageWindowList& m_windows;
    ColourChoice m_choice;
    QPointer<QWidget> m_target;

    QLabel* m_tableName = nullptr;
    std::array<ColourBarButton*, 20> m_bars{};
    ColourSwatch* m_high = nullptr;
    ColourSwatch* m_low = nullptr;
    ColourSwatch* m_noValue = nullptr;
    QRadioButton* m_onlyCurrent = nullptr;
    QRadioButton* m_all = nullptr;
    QPushButton* m_closeButton = nullptr;
};

// A rectangle filled with one colour and a grey border; a press on it is reported.
class ColourSwatch : public QWidget
{
    Q_OBJECT

public:
    explicit ColourSwatch(QWidget* parent = nullptr);
    QRgb colour() const { return m_colour; }
    void setColour(QRgb c);

signals:
    void pressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRgb m_colour = 0xFFFFFF;
};

} // namespace isolumen
