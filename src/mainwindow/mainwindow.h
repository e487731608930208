#pragma once

#include "app/menuhandlers.h"
#include "rawfile/imfile.h"

#include <QList>
#include <QMainWindow>
#include <array>

class ImageWindow;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

// The main window: the summary of the open raw image file, a button per species that opens and
// closes that species' image window, the layer selection that every image window follows, and
// the details area with all acquisition values. It owns the open file (its stream and header
// values), which image windows read from when they load. Files come in through File > Open and
// by drops. Closing it closes the file and ends the program.
//
// The content (the central widget) is 316 wide and 186 high, 700 with the details open; all
// control positions are relative to it. Controls carry their names as object names; members of
// the indexed groups are named like "ButtonSpecies(3)".
class Main : public QMainWindow, public MenuHandlers
{
    Q_OBJECT

public:
    // The shared main window; makes and shows one when none is open.
    static Main* instance();
    // The shared main window, or null; never makes one. For closing handlers during shutdown.
    static Main* existing();

    ~Main() override;

    // Reads the file at path (empty: no file) and shows its summary; then every open image
    // window reloads.
    void OpenImage(const QString& path);
    // Reloads every open image window, unless a header is being read.
    void SendUpdate();
    // Moves one layer back (delta < 0) or on (delta > 0), as the "-1" and "+1" buttons do, so
    // that Page Up and Page Down scrub through the layers from any image window.
    void stepLayer(int delta);

    // The open file: its stream and the values of the last accepted header. After a cancelled
    // or refused open the stream is closed and the previous values remain.
    const ImFile& file() const { return m_file; }
    const ImHeader& header() const { return m_file.header(); }
    // Selected layer, counted from 1.
    int SelPlane() const { return m_selPlane; }
    // True while OpenImage fills the window.
    bool CurrentlyLoading() const { return m_currentlyLoading; }

    // The open image windows, in the order of the application's window list.
    static QList<ImageWindow*> imageWindows();

    // Places the window in the available area of a screen and sets the default positions of
    // the image windows beside it. Done when the window opens, with the main screen's area.
    void placeOn(const QRect& available);

    // Controls.
    QWidget* content() const { return m_content; }
    QLabel* ST(int index) const;
    QPushButton* ButtonSpecies(int index) const;
    QLabel* STspecies(int index) const;
    QLabel* TSpecies(int index) const;
    QLabel* TFileName() const { return m_fileName; }
    QComboBox* LayerPopUp() const { return m_layerPopUp; }
    QLabel* TLayerOf() const { return m_layerOf; }
    QPushButton* LayerMinus() const { return m_layerMinus; }
    QPushButton* LayerPlus() const { return m_layerPlus; }
    QToolButton* Details() const { return m_details; }
    QLabel* TPixelSize() const { return m_pixelSize; }
    QLabel* TMicronSize() const { return m_micronSize; }
    // A value field of the details area by its name ("TOrigName", "TFileSize" ...), or null.
    QLabel* detailField(const QString& name) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Main();

    void Layout();
    void Event_Open();
    void AddMenuHandlers();

    bool _FileOpen_Action();
    void Event_DropObject(const QString& path);
    void ButtonSpecies_Action(int index, bool down);
    void LayerPopUp_Change(int index);
    void LayerMinus_Action();
    void LayerPlus_Action();
    void Details_Action(bool expanded);

    void fillLayerControls(int planes);
    void fillSummary(const ImHeader& h);
    // unshowable: why the species cannot be shown, empty when they can.
    void fillSpecies(const ImHeader& h, const QString& unshowable);
    void closeImageWindows();

    ImFile m_file;
    int m_selPlane = 0;
    bool m_currentlyLoading = false;

    QWidget* m_content = nullptr;
    std::array<QLabel*, 28> m_st{};
    std::array<QPushButton*, 8> m_buttonSpecies{};
    std::array<QLabel*, 8> m_stSpecies{};
    std::array<QLabel*, 8> m_tSpecies{};
    QLabel* m_fileName = nullptr;
    QComboBox* m_layerPopUp = nullptr;
    QLabel* m_layerOf = nullptr;
    QPushButton* m_layerMinus = nullptr;
    QPushButton* m_layerPlus = nullptr;
    QToolButton* m_details = nullptr;
    QLabel* m_pixelSize = nullptr;
    QLabel* m_micronSize = nullptr;
    QList<QLabel*> m_detailFields;
};
