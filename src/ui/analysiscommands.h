#pragma once

#include <QList>
#include <QObject>
#include <functional>

class Acquisition;
class ImageWindowList;
class QWidget;
struct PlaneRequest;

// The commands of the Analysis menu. They act on the acquisition as a whole, whichever window
// is in front: they change what the model serves (a sum of layers, single layers, ...) and the
// image windows follow. Work that takes long is done first, with a progress dialog, and the
// change is made only when it is complete, so that a cancel leaves everything as it was.
class AnalysisCommands : public QObject
{
    Q_OBJECT

public:
    // selectedLayer gives the layer chosen on the main window.
    AnalysisCommands(Acquisition& acquisition, const ImageWindowList& windows,
                     QWidget* dialogParent, std::function<int()> selectedLayer);

    // "Sum of Layers...": asks for the range (all layers by default) and shows its sum.
    void sumOfLayers();
    // "Single Layer": back to the layer chosen on the main window.
    void singleLayer();

private:
    // Computes the planes the open windows would show after a change, with a progress dialog;
    // false when cancelled. change adjusts a window's current request.
    bool prepareWindows(const QString& label,
                        const std::function<void(PlaneRequest&)>& change) const;

    Acquisition& m_acquisition;
    const ImageWindowList& m_windows;
    QWidget* m_dialogParent;
    std::function<int()> m_selectedLayer;
};
