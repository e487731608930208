#pragma once

#include "core/model/corrections.h"
#include "core/model/planebuilder.h"
#include "core/render/figure.h"
#include "core/render/hsi.h"
#include "core/render/overlay.h"
#include "core/stats/findregions.h"
#include "core/stats/regionmeasures.h"

#include <QImage>
#include <QRgb>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QWidget;

namespace isolumen {

class Progress;
struct ImHeader;

// What "Align Layers..." asks for.
struct AlignChoice
{
    int species = 0;        // 0-based
    int referenceLayer = 1; // from 1
    int region = -1;        // index of the region to align on; -1: the whole frame
    bool subpixel = false;
};
// What "Find Regions..." asks for: where and how to find cells, and whether they replace the
// regions or join them.
struct FindRegionsChoice
{
    RegionFinding finding;
    bool replace = true;
};
// What "Ratio Image..." and "HSI Image..." ask for.
struct RatioDialogChoice
{
    RatioDefinition ratio; // species 0-based
    HsiBrightness brightness = HsiBrightness::Denominator;
    std::optional<double> rMin; // HSI: absent for the ratio's own range
    std::optional<double> rMax;
};

// Modal dialogs go through these seams. The defaults show the real Qt dialogs; tests install
// stand-ins so that no test ever waits on a dialog. Each setter returns the seam it replaces;
// an empty function restores the default.
namespace Dialogs {

// Open dialog: the chosen file's path, or empty when the user cancels.
using OpenFileSeam =
    std::function<QString(QWidget* parent, const QString& title, const QString& filter)>;
// Open dialog for several files: their paths, or none when the user cancels.
using OpenFilesSeam =
    std::function<QStringList(QWidget* parent, const QString& title, const QString& filter)>;
// Save dialog: the chosen path (empty when cancelled) and the filter chosen with it.
using SaveFileSeam = std::function<std::pair<QString, QString>(
    QWidget* parent, const QString& title, const QString& suggestedName, const QString& filters)>;
// Colour picker: the picked colour, or nothing when the user cancels.
using SelectColourSeam =
    std::function<std::optional<QRgb>(QWidget* parent, QRgb initial, const QString& prompt)>;
// "Sum of Layers...": the first and last layer chosen (from 1), or nothing when cancelled.
using LayerRangeSeam = std::function<std::optional<std::pair<int, int>>(QWidget* parent, int first,
                                                                        int last, int layerCount)>;
// "Align Layers...": the choice, or nothing when cancelled. regions are the regions' names.
using AlignSeam = std::function<std::optional<AlignChoice>(
    QWidget* parent, const QStringList& species, int layerCount, const QStringList& regions,
    const AlignChoice& proposed)>;
// Which of the two ratio windows a dialog sets up.
enum class RatioKind { Ratio, Hsi };
// "Ratio Image..." and "HSI Image...": the choice, or nothing when cancelled. species are the
// labels to choose from.
using RatioSeam = std::function<std::optional<RatioDialogChoice>(
    QWidget* parent, const QStringList& species, RatioKind kind)>;
// "Correction Settings...": dead times by hand and QSA; nothing when cancelled.
using CorrectionsSeam = std::function<std::optional<CorrectionSettings>(
    QWidget* parent, const ImHeader& header, const CorrectionSettings& current)>;
// "Exclude Layers...": the layers (from 1, sorted) to leave out, or nothing when cancelled.
using ExcludeLayersSeam = std::function<std::optional<std::vector<int>>(
    QWidget* parent, const std::vector<int>& current, int layerCount)>;

// "Percentiles...": the low and high percentile of an automatic range (0 <= low < high <= 100),
// or nothing when cancelled.
// "Find Regions...": the choice, or nothing when cancelled. preview is called with each choice
// the user makes while the dialog is open, and with nothing when it closes.
using FindRegionsPreview = std::function<void(const std::optional<FindRegionsChoice>&)>;
using FindRegionsSeam = std::function<std::optional<FindRegionsChoice>(
    QWidget* parent, const QStringList& species, const FindRegionsPreview& preview)>;
// "Classify Regions...": the rules and the class they set, or nothing when cancelled. species are
// the labels to choose from.
using ClassifySeam = std::function<std::optional<Classification>(
    QWidget* parent, const QStringList& species)>;
using PercentilesSeam = std::function<std::optional<std::pair<double, double>>(
    QWidget* parent, double low, double high)>;
// "Overlay Image...": the sources, their ranges and the colour set, or nothing when cancelled.
// species are the labels to choose from.
using OverlaySeam =
    std::function<std::optional<OverlayDefinition>(QWidget* parent, const QStringList& species)>;
// "Save Figure...": what the figure shows, starting from proposed; nothing when cancelled.
// hasRegions tells whether there are outlines to offer.
using FigureOptionsSeam = std::function<std::optional<FigureOptions>(
    QWidget* parent, const FigureOptions& proposed, bool hasRegions)>;
// Watches long work while the GUI waits for it, once just before it starts (elapsedMs 0) and
// every few tens of milliseconds after: the default shows a progress dialog with Cancel once the
// work has taken half a second.
using ProgressSeam = std::function<void(QWidget* parent, const QString& label, Progress& progress,
                                        qint64 elapsedMs)>;

OpenFileSeam setOpenFile(OpenFileSeam seam);
OpenFilesSeam setOpenFiles(OpenFilesSeam seam);
SaveFileSeam setSaveFile(SaveFileSeam seam);
SelectColourSeam setSelectColour(SelectColourSeam seam);
LayerRangeSeam setLayerRange(LayerRangeSeam seam);
RatioSeam setRatio(RatioSeam seam);
AlignSeam setAlign(AlignSeam seam);
CorrectionsSeam setCorrections(CorrectionsSeam seam);
ProgressSeam setProgress(ProgressSeam seam);
ExcludeLayersSeam setExcludeLayers(ExcludeLayersSeam seam);
PercentilesSeam setPercentiles(PercentilesSeam seam);
FindRegionsSeam setFindRegions(FindRegionsSeam seam);
OverlaySeam setOverlay(OverlaySeam seam);
ClassifySeam setClassify(ClassifySeam seam);
FigureOptionsSeam setFigureOptions(FigureOptionsSeam seam);

QString openFile(QWidget* parent, const QString& title, const QString& filter);
QStringList openFiles(QWidget* parent, const QString& title, const QString& filter);
std::pair<QString, QString> saveFile(QWidget* parent, const QString& title,
                                     const QString& suggestedName, const QString& filters);
std::optional<QRgb> selectColour(QWidget* parent, QRgb initial, const QString& prompt);
std::optional<std::pair<int, int>> layerRange(QWidget* parent, int first, int last, int layerCount);
std::optional<RatioDialogChoice> ratio(QWidget* parent, const QStringList& species, RatioKind kind);
std::optional<AlignChoice> align(QWidget* parent, const QStringList& species, int layerCount,
                                 const QStringList& regions, const AlignChoice& proposed);
std::optional<CorrectionSettings> corrections(QWidget* parent, const ImHeader& header,
                                              const CorrectionSettings& current);
std::optional<std::vector<int>> excludeLayers(QWidget* parent, const std::vector<int>& current,
                                              int layerCount);

std::optional<std::pair<double, double>> percentiles(QWidget* parent, double low, double high);
std::optional<FindRegionsChoice> findRegions(QWidget* parent, const QStringList& species,
                                             const FindRegionsPreview& preview);
std::optional<OverlayDefinition> overlay(QWidget* parent, const QStringList& species);
std::optional<Classification> classify(QWidget* parent, const QStringList& species);
std::optional<FigureOptions> figureOptions(QWidget* parent, const FigureOptions& proposed,
                                           bool hasRegions);

// Runs work on a worker thread while the GUI keeps running, watched through the progress seam;
// returns what work returned, or false when it was cancelled. work must stop soon after the
// progress it gets is cancelled.
bool runLongWork(QWidget* parent, const QString& label, const std::function<bool(Progress&)>& work);
// Whether runLongWork is waiting for work; and a cancel of all such work, as its Cancel does.
bool isLongWorkRunning();
void cancelLongWork();

// "Save Image As...": asks for a file and a picture format, then writes the picture; a failure
// is told in a message.
void exportPicture(QWidget* parent, const QImage& picture);
// The name a picture chosen in the save dialog is written under: the chosen name when its
// suffix names a picture format, else the name with the first suffix of the chosen filter
// ("pic" with "TIFF image (*.tif *.tiff)" gives "pic.tif").
QString pictureFileName(const QString& chosen, const QString& chosenFilter);

// "Save Figure...": asks what the figure shows, then for a file (PNG, TIFF, SVG or PDF), and
// writes it as long work; a failure is told in a message. The choice is kept for the next
// figure.
void exportFigure(QWidget* parent, const FigureContent& content);
// "Copy Figure": the figure, as last chosen in "Save Figure...", on the clipboard as a picture
// (PNG for the applications that take one).
void copyFigure(QWidget* parent, const FigureContent& content);

// Installs the modal message box as the handler of showMessage (ui/messagebox.h).
void installMessageBox();

} // namespace Dialogs

} // namespace isolumen
