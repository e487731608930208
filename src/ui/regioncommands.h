#pragma once

#include "core/stats/regionmeasures.h"
#include "ui/menu.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <optional>
#include <vector>

class QWidget;

namespace isolumen {

class Acquisition;
class DepthProfileWindow;
class ImageWindow;
class ImageWindowList;
class RegionsWindow;
class ScatterPlotWindow;

// The region items of the Analysis menu: the drawing tools, the "Regions" table, "Depth
// Profile", "Line Profile", "Histogram", "Save Regions...", "Load Regions...", "Find Regions...",
// "Classify Regions..." and "Scatter Plot". It opens the region windows and feeds the line-profile
// and histogram windows from the image window each was opened on, whenever that window redraws or
// the line or regions change. It keeps the shared selection and line in step with the acquisition
// (a new file starts without either), and closes the windows it opened when it goes.
class RegionCommands : public QObject
{
    Q_OBJECT

public:
    RegionCommands(Acquisition& acquisition, const ImageWindowList& windows, QWidget* dialogParent,
                   QObject* parent = nullptr);
    ~RegionCommands() override;

    // "Regions": opens the table, or raises it.
    void showRegions();
    // "Depth Profile": the selected regions (all when none is) layer by layer. The window
    // follows the selection, the regions, the corrections and the alignment; a second call
    // raises it.
    void depthProfile();
    // "Line Profile" and "Histogram" of the front image window.
    void lineProfile();
    void histogram();
    // "Save Regions..." and "Load Regions...": the regions as JSON; loading replaces them.
    void saveRegions();
    void loadRegions();
    // "Find Regions...": cells found in a plane, shown while the dialog is open, made regions
    // in one step when it is accepted.
    void findRegions();
    // Region masks: label images to and from other image tools.
    void exportMask();
    void importMask();
    // "Classify Regions...": sets the class of every region for which the rules chosen hold,
    // over the current layer or sum, in one step.
    void classifyRegions();
    // "Scatter Plot": a point per region, the figures chosen on its axes, following the regions
    // and the layers; a click on a point selects its region. A second call raises it.
    void scatterPlot();

private:
    // The image window in front, else the first one open; null (with a message) when none is.
    ImageWindow* imageWindowForPlot() const;
    QList<PlaneSource> ratioSources() const;
    QStringList regionLabels() const;
    void opened(QWidget* window);
    // Measures the depth profile's regions into its window; false when cancelled or failed.
    bool measureDepth();
    // The regions' rows in the sources the measures need, over the current layer or sum; absent
    // when cancelled or failed (told in a message).
    std::optional<QList<RegionRows>>
    measureRegions(const QList<RegionMeasure>& measures);
    QStringList speciesLabels() const;
    // Measures the regions on the scatter plot's axes into it; false when cancelled or failed.
    bool measureScatter();

    Acquisition& m_acquisition;
    const ImageWindowList& m_windows;
    QWidget* m_dialogParent;
    QPointer<RegionsWindow> m_regionsWindow;
    QPointer<DepthProfileWindow> m_depthProfile;
    QPointer<ScatterPlotWindow> m_scatterPlot;
    QList<QPointer<QWidget>> m_opened;
    std::vector<MenuCommand> m_commands; // unregistered when this goes
};

} // namespace isolumen
