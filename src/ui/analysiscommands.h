#pragma once

#include "core/model/corrections.h"
#include "core/model/stripes.h"
#include "core/render/hsi.h"
#include "core/render/overlay.h"
#include "ui/menu.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace isolumen {

namespace Dialogs {
enum class RatioKind;
} // namespace Dialogs

class Acquisition;
class AlignmentWindow;
struct Alignment;
struct Shift;
class ImageWindow;
class ImageWindowList;
struct PlaneRequest;
struct PlaneSource;

// The commands of the Analysis menu. They act on the acquisition as a whole, whichever window
// is in front: they change what the model serves (a sum of layers, single layers, corrections)
// and the image windows follow, or open windows of new sources (ratios, HSI images). Work that
// takes long is done first, with a progress dialog, and the change is made only when it is
// complete, so that a cancel leaves everything as it was.
class AnalysisCommands : public QObject
{
    Q_OBJECT

public:
    using OpenWindow =
        std::function<ImageWindow*(const PlaneSource&, std::optional<HsiBrightness>)>;
    using OpenOverlay = std::function<ImageWindow*(const OverlayDefinition&)>;

    // selectedLayer gives the layer chosen on the main window; openWindow opens (or raises) the
    // window of a source, openOverlay that of an overlay.
    AnalysisCommands(Acquisition& acquisition, const ImageWindowList& windows,
                     QWidget* dialogParent, std::function<int()> selectedLayer,
                     OpenWindow openWindow, OpenOverlay openOverlay);
    ~AnalysisCommands() override;

    // "Sum of Layers...": asks for the range (all layers by default) and shows its sum.
    void sumOfLayers();
    // "Single Layer": back to the layer chosen on the main window.
    void singleLayer();
    // "Ratio Image..." and "HSI Image...": ask for the ratio and open its window.
    void ratioImage(Dialogs::RatioKind kind);
    // "Overlay Image...": asks for the sources, ranges and colours and opens the overlay.
    void overlayImage();
    // "Dead-Time Correction": turns the correction of the header's dead times on or off.
    void toggleDeadTime(bool on);
    // "Correction Settings...": dead times by hand and QSA.
    void correctionSettings();
    // "Align Layers...": estimates the drift and aligns every layer of every species.
    void alignLayers();
    // "Undo Alignment": back to the layers as recorded.
    void undoAlignment();
    // "Show Alignment": the table and path of the drift in force.
    void showAlignment();
    // "Exclude Layers...": asks for the layers to leave out of sums, profiles and alignment.
    void excludeLayers();

private:
    // Computes the planes the open windows would show after a change, with a progress dialog;
    // false when cancelled. change adjusts a window's current request.
    bool prepareWindows(const QString& label,
                        const std::function<void(PlaneRequest&)>& change) const;
    // Puts settings in force when their planes could be made; else keeps the old ones.
    bool applyCorrections(const CorrectionSettings& settings);
    // Puts an alignment (or none) in force when its planes could be made.
    bool applyAlignment(std::shared_ptr<const Alignment> alignment);
    void resetForNewFile();
    // Puts the alignment in force with a layer's shift set by hand.
    void setShiftByHand(int layer, Shift shift);
    // Enables the items that would do something with the file as it is: "Single Layer" while a
    // sum is shown, "Undo Alignment" and "Show Alignment" while layers are aligned.
    void updateItems() const;

    Acquisition& m_acquisition;
    const ImageWindowList& m_windows;
    QWidget* m_dialogParent;
    std::function<int()> m_selectedLayer;
    OpenWindow m_openWindow;
    OpenOverlay m_openOverlay;
    CorrectionSettings m_corrections;
    QPointer<AlignmentWindow> m_alignmentWindow;
    std::vector<MenuCommand> m_commands; // unregistered when this goes
    // The layer profiles of the stripe pictures, of species m_profilesSpecies.
    std::optional<LayerProfiles> m_profiles;
    int m_profilesSpecies = -1;
};

} // namespace isolumen
