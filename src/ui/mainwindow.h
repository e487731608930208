#pragma once

#include "core/imfile/imfile.h"
#include "core/render/hsi.h"
#include "core/stats/studytable.h"
#include "ui/imagewindowlist.h"
#include "ui/menu.h"
#include "ui/windowplaces.h"

#include <QList>
#include <QMainWindow>
#include <array>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

namespace isolumen {

class Acquisition;
class AnalysisCommands;
class AnalysisSession;
class StudyCommands;
struct OverlayDefinition;
class ImageWindow;
struct ImHeader;
struct PlaneSource;

// The main window: the summary of the open acquisition, a button per species (the first eight;
// further species in a menu beside them) that opens and closes that species' image window, the
// layer selection that every image window follows, and the details area with all acquisition
// values. Files come in through File > Open, drops and the command line, and go to the
// acquisition model it is given. It opens the image windows and keeps their list and their
// places. Closing it ends the program.
//
// The content (the central widget) is 316 wide and 186 high, 700 with the details open; all
// control positions are relative to it.
class MainWindow : public QMainWindow, public MenuHandlers
{
    Q_OBJECT

public:
    explicit MainWindow(Acquisition& acquisition);
    ~MainWindow() override;

    // Opens the file at path (empty: no file) and shows its summary; then every open image
    // window reloads. An unsaved analysis is offered for saving first. path may be a chain of
    // runs, FILE+FILE2+..., as on the command line.
    void openImage(const QString& path);
    // Appends a further run of the same field to the acquisition open, as File > Append
    // Acquisition... does: the longer acquisition starts afresh, as an opened one.
    void appendImage(const QString& path);
    AnalysisSession& session() { return *m_session; }
    // File > "Open Study...".
    StudyCommands& study() { return *m_study; }
    void setStudyRunner(StudyRunner runner);
    // Moves the layer selection by one (-1 or +1), as the "-1" and "+1" buttons do.
    void stepLayer(int delta);
    // Opens a window for a source (a species or a ratio, as an HSI image when hsi is given) at
    // its place, or raises the open one.
    ImageWindow* openImageWindow(const PlaneSource& source,
                                 std::optional<HsiBrightness> hsi = std::nullopt);
    // Opens a window of an overlay of two or three sources.
    ImageWindow* openOverlayWindow(const OverlayDefinition& overlay);

    const ImageWindowList& imageWindows() const { return m_windows; }
    WindowPlaces& places() { return m_places; }
    // Places the window in the available area of a screen and sets the default places of the
    // image windows beside it. Done when the window opens, with the main screen's area.
    void placeOn(const QRect& available);
    // Where the second row of image windows starts below the first: the real height of a
    // first-row window's frame.
    int imageRowHeight() const;
    // "Tile Windows": every open image window in rows right of this window, inside the screen's
    // available area without overlapping, zoomed down a step at a time until they fit.
    void tileWindows(const QRect& available);

    // Controls.
    QLabel* fileNameLabel() const { return m_fileName; }
    QPushButton* speciesButton(int index) const;
    QToolButton* moreSpeciesButton() const { return m_moreSpecies; }
    QLabel* speciesCaption(int index) const;
    QLabel* speciesNameLabel(int index) const;
    QComboBox* layerPopUp() const { return m_layerPopUp; }
    QLabel* layerOfLabel() const { return m_layerOf; }
    // "Sum 1-20" in place of the layer line while a sum is shown.
    QLabel* sumLabel() const { return m_sumLine; }
    QPushButton* layerMinusButton() const { return m_layerMinus; }
    QPushButton* layerPlusButton() const { return m_layerPlus; }
    QToolButton* detailsToggle() const { return m_details; }
    QLabel* pixelSizeLabel() const { return m_pixelSize; }
    QLabel* micronSizeLabel() const { return m_micronSize; }
    // A value field of the details area by its caption ("File Size:" ...), or null.
    QLabel* detailField(const QString& caption) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Puts a new image window at its place (or on the screen) and shows it.
    void showImageWindow(ImageWindow* window, const QString& key, const QPoint& at);
    void layOut();
    void layOutSpeciesButtons();
    void layOutLayerControls();
    void layOutDetails();
    void chooseFile();
    void chooseAppendedFile();
    // Opens or appends one file, expanded first when compressed. A Failure without a message
    // when the expansion failed or was cancelled (and said so).
    Result<ImFile::Status> openRun(const QString& path, bool append);
    void showAcquisition();
    // The layer line, or the sum shown in its place.
    void showLayers();
    void toggleSpecies(int species, bool open);
    void layerChosen(int index);
    void toggleDetails(bool expanded);
    void fillLayerControls(int planes);
    void fillSummary();
    void fillSpecies(const QString& unshowable);
    void closeImageWindows();
    // The Window menu's list of the open image windows, made anew as it opens.
    void listWindows();

    Acquisition& m_acquisition;
    ImageWindowList m_windows;
    WindowPlaces m_places;
    std::unique_ptr<AnalysisCommands> m_analysis;
    std::unique_ptr<AnalysisSession> m_session;
    std::unique_ptr<StudyCommands> m_study;
    // True while the window fills its controls for a new file: the layer pop-up's change then
    // selects nothing.
    bool m_filling = false;

    QWidget* m_content = nullptr;
    QLabel* m_fileName = nullptr;
    std::array<QPushButton*, ImHeader::kButtonSpecies> m_speciesButtons{};
    QToolButton* m_moreSpecies = nullptr;
    QMenu* m_moreSpeciesMenu = nullptr;
    std::array<QLabel*, ImHeader::kButtonSpecies> m_speciesCaptions{};
    std::array<QLabel*, ImHeader::kButtonSpecies> m_speciesNames{};
    QComboBox* m_layerPopUp = nullptr;
    QLabel* m_layerOf = nullptr;
    QLabel* m_layerCaption = nullptr;
    QLabel* m_sumLine = nullptr;
    QList<QAction*> m_windowItems; // the Window menu's entries of the open windows
    MenuCommand m_tileCommand;
    QPushButton* m_layerMinus = nullptr;
    QPushButton* m_layerPlus = nullptr;
    QToolButton* m_details = nullptr;
    QLabel* m_pixelSize = nullptr;
    QLabel* m_micronSize = nullptr;
    QList<QLabel*> m_detailFields;
};

} // namespace isolumen
