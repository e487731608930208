#pragma once

#include "core/model/acquisition.h"
#include "core/render/displaysettings.h"
#include "core/render/figure.h"
#include "core/render/hsi.h"
#include "core/render/overlay.h"
#include "ui/menu.h"

#include <QMainWindow>
#include <optional>
#include <utility>

class QLabel;
class QLineEdit;
class QPushButton;

namespace isolumen {

class Canvas;
class ImageWindowList;
class ImageView;

// An image window: the plane of one species (or a ratio) under the acquisition's selected layer
// or sum, as a false-colour picture with its colour bar and value axis, the scale bar, a readout
// of the value under the mouse, and the controls of the display range, the axis scale and the
// colours. It owns its display settings and the plane it shows; the plane comes from the
// acquisition model, which it follows: a change of file, layers, corrections or alignment makes
// it reload (coalesced, so that it skips to the newest layer when layers change faster than it
// can show them), and it closes itself when the open file lacks its species. It deletes itself
// when closed. An overlay window shows two or three sources at once, each in its colour, with
// their legend in the colour bar's place; its range controls are those of its sources.
class ImageWindow : public QMainWindow, public MenuHandlers
{
    Q_OBJECT

public:
    // hsi, for a ratio source, shows it as an HSI image with that brightness.
    ImageWindow(Acquisition& acquisition, const PlaneSource& source, ImageWindowList& windows,
                std::optional<HsiBrightness> hsi = std::nullopt, QWidget* parent = nullptr);
    ImageWindow(Acquisition& acquisition, const OverlayDefinition& overlay,
                ImageWindowList& windows, QWidget* parent = nullptr);

    const PlaneSource& source() const { return m_source; }
    std::optional<HsiBrightness> hsi() const { return m_hsi; }
    const std::optional<OverlayDefinition>& overlay() const { return m_overlay; }
    // An overlay's channels as shown: names, colours and ranges; empty for other windows.
    QList<FigureLegendEntry> overlayChannels() const;
    // Fixes the display range's limits given, as typing them in the fields does.
    void setManualLimits(std::optional<double> min, std::optional<double> max);
    // "12C", "13C/12C", or an overlay's "Overlay 12C, 13C/12C".
    QString sourceName() const;
    const DisplaySettings& settings() const { return m_settings; }
    // What the window shows; empty before the first load.
    const PlaneResult& planes() const { return m_planes; }
    // The layers of the plane shown: "Layer 3" or "Sum of Layers 1-50".
    QString layersText() const;

    // Reads the plane of the acquisition's current selection and redraws; closes the window
    // when the open file has no such species or no frames it can show. A sum not yet computed
    // is computed with a progress dialog; a cancel leaves the window as it was.
    void reload();
    // Reloads once control returns to the event loop, however often it is asked before.
    void scheduleReload();
    // Redraws the picture, the colour bar and the scale bar; draws nothing while the display
    // range is empty or reversed, or before a plane has been loaded.
    void updateDisplay();
    void setColours(const ColourChoice& choice);
    // The automatic range the window follows: "Full", percentiles or the selected region.
    void setAutoRange(const AutoRangeChoice& choice);

    // What "Save Figure..." and "Copy Figure" show of the window: its picture, colour bar, scale
    // bar and the acquisition's regions; nothing before the first picture.
    std::optional<FigureContent> figureContent() const;

    // The text of the readout strip for shown pixel (x, y); empty outside the plane.
    QString readoutText(int x, int y) const;

    // The window's content size (the area below the menu bar).
    QSize contentSize() const;
    // The picture area's side in screen pixels (256 or 512 from the menu, else the picture's).
    int viewSide() const { return m_viewSide; }
    // The zoom is 2^step.
    int zoomStep() const;
    void setZoomStep(int step);
    ImageView* imageView() const { return m_view; }
    // Tiling: zooms to 2^step, the picture area no larger than now, and takes the new size at
    // once.
    void showAt(int step);

    QPushButton* linLogButton() const { return m_linLogButton; }
    QPushButton* minButton() const { return m_minButton; }
    QLineEdit* minField() const { return m_minField; }
    QPushButton* maxButton() const { return m_maxButton; }
    QLineEdit* maxField() const { return m_maxField; }
    QPushButton* colourButton() const { return m_colourButton; }
    Canvas* imageCanvas() const { return m_imageCanvas; }
    Canvas* colourBarCanvas() const { return m_colourBarCanvas; }
    Canvas* scaleCanvas() const { return m_scaleCanvas; }
    QLabel* readout() const { return m_readout; }

    // The height of the readout strip under the canvases.
    static constexpr int kReadoutHeight = 16;
    // The content around its picture area, without the readout: the button row and margins
    // across, the rows above and below it down.
    static constexpr int kExtraWidth = 121;
    static constexpr int kExtraHeight = 59;

signals:
    // Emitted as the window closes, with its frame's top-left corner.
    void closing(const QPoint& topLeft);
    // The pictures were redrawn: a new plane, display range or colours.
    void displayUpdated();
    // Page Up (-1) or Page Down (+1) was pressed in the window.
    void layerStepRequested(int delta);

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // What both constructors do once the source is set.
    void setUp();
    void layOut();
    // What the buttons, fields and canvases do.
    void connectControls();
    // The plane asked for, summed as long work when it is not quick; false when cancelled.
    bool loadPlane(const PlaneRequest& request, Result<PlaneResult>& result);
    // reload() for an overlay: the planes of its sources under the current selection.
    void reloadOverlay();
    // The overlay's picture, framed, and its legend.
    void showOverlay();
    QString overlayReadout(int x, int y) const;
    // The View menu's zoom and automatic-range items, and what follows the zoom and scrolling.
    void addViewCommands();
    // Sets the picture area to `view` pixels (less where the screen has no room for it) and the
    // zoom to 2^step.
    void setViewSide(int view, int step);
    // Places the canvases for the picture area and the zoom.
    void placeCanvases();
    // The largest picture area whose window fits the available screen area.
    int roomForView() const;
    // A plane of a new size: the window opens at 100%, or at the largest step that fits.
    void sizeForPlane(int side);
    // The name a title starts with: the source's, marked " HSI" for an HSI image.
    QString titleName() const;
    void updateTitle();
    void updateScale();

    void toggleLinLog();
    void toggleLimit(bool& automatic, double& limit, double extreme, QPushButton* button,
                     QLineEdit* field, const QString& autoCaption, const QString& manualCaption);
    void limitTextChanged(const QString& text, bool& automatic, double& limit, QPushButton* button,
                          const QString& manualCaption, const QString& historyLine);
    void openColourSelector();
    void saveImage();
    // "Export Counts...": the plane shown, as a one-page count TIFF.
    void exportCounts();
    // Puts the automatic limits in force for the plane shown and writes them into the fields.
    void settleLimits();
    // The automatic range's ends for the plane shown.
    std::pair<double, double> automaticLimits() const;
    const Region* selectedRegion() const;
    // Checks the shared menu's range items as this window's choice is.
    void showAutoRange() const;
    void choosePercentiles();
    void showReadout(const QPoint& canvasPixel);
    // Shows the readout again where the mouse rests, after the values under it changed.
    void refreshReadout();
    bool sourceInFile() const;
    // A new file: a ratio finds its species by their labels, or closes, saying why; a species
    // whose label changed goes back to the automatic range. Then the window reloads.
    void followFile();
    QStringList sourceLabels() const;

    Acquisition& m_acquisition;
    PlaneSource m_source; // its species follow their labels to a new file
    QStringList m_labels; // the labels of the source's species in the plane shown
    const std::optional<HsiBrightness> m_hsi;
    const std::optional<OverlayDefinition> m_overlay;
    QList<PlanePtr> m_overlayPlanes;                   // by source
    QList<OverlayChannel> m_overlayChannels; // over those planes, ranges found once
    ImageWindowList& m_windows;
    DisplaySettings m_settings;
    PlaneResult m_planes;
    PlaneRequest m_request; // the request m_planes answers
    bool m_reloadPending = false;
    bool m_reloading = false;
    // True while reload() writes the automatic limits into the fields: their change handlers
    // then leave the redraw to the load, which redraws once at its end.
    bool m_writingLimits = false;
    // The scale-bar problem of a file is told once per window, not at every redraw.
    bool m_scaleProblemShown = false;

    int m_viewSide = 0;
    int m_shownSide = 0;             // the side of the plane the window was sized for
    QString m_title;                 // the title without the zoom
    std::optional<QPoint> m_hoverAt; // where the mouse rests on the canvas, on the screen

    QWidget* m_content = nullptr;
    ImageView* m_view = nullptr;
    QPushButton* m_linLogButton = nullptr;
    QPushButton* m_minButton = nullptr;
    QLineEdit* m_minField = nullptr;
    QPushButton* m_maxButton = nullptr;
    QLineEdit* m_maxField = nullptr;
    QPushButton* m_colourButton = nullptr;
    Canvas* m_imageCanvas = nullptr;
    Canvas* m_colourBarCanvas = nullptr;
    Canvas* m_scaleCanvas = nullptr;
    QLabel* m_readout = nullptr;
};

} // namespace isolumen
