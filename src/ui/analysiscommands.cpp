#include "ui/analysiscommands.h"

#include "core/model/acquisition.h"
#include "core/progress.h"
#include "ui/dialogs.h"
#include "ui/imagewindow.h"
#include "ui/imagewindowlist.h"
#include "ui/menu.h"

AnalysisCommands::AnalysisCommands(Acquisition& acquisition, const ImageWindowList& windows,
                                   QWidget* dialogParent, std::function<int()> selectedLayer)
    : m_acquisition(acquisition), m_windows(windows), m_dialogParent(dialogParent),
      m_selectedLayer(std::move(selectedLayer))
{
    Menu& menu = Menu::instance();
    menu.setCommand(QStringLiteral("analysisSum"), [this] { sumOfLayers(); });
    menu.setCommand(QStringLiteral("analysisSingleLayer"), [this] { singleLayer(); });
}

bool AnalysisCommands::prepareWindows(const QString& label,
                                      const std::function<void(PlaneRequest&)>& change) const
{
    QList<PlaneRequest> requests;
    for (const ImageWindow* w : m_windows.windows()) {
        PlaneRequest r = m_acquisition.request(w->source());
        change(r);
        if (!m_acquisition.isQuick(r))
            requests << r;
    }
    if (requests.isEmpty())
        return true;
    return Dialogs::runLongWork(m_dialogParent, label, [&](Progress& progress) {
        progress.setTotal(m_acquisition.work(requests));
        return m_acquisition.prepare(requests, &progress);
    });
}

void AnalysisCommands::sumOfLayers()
{
    const int layers = m_acquisition.layerCount();
    if (!m_acquisition.isOpen() || layers < 1)
        return;
    const bool summing = m_acquisition.isSum();
    const std::optional<std::pair<int, int>> range =
        Dialogs::layerRange(m_dialogParent, summing ? m_acquisition.firstLayer() : 1,
                            summing ? m_acquisition.lastLayer() : layers, layers);
    if (!range)
        return;
    const int first = std::clamp(range->first, 1, layers);
    const int last = std::clamp(range->second, first, layers);
    const bool done = prepareWindows(
        QStringLiteral("Summing layers %1 to %2...").arg(first).arg(last), [&](PlaneRequest& r) {
            r.firstLayer = first;
            r.lastLayer = last;
        });
    if (done)
        m_acquisition.setLayerRange(first, last);
}

void AnalysisCommands::singleLayer()
{
    if (m_acquisition.isOpen())
        m_acquisition.setLayer(m_selectedLayer());
}
