#pragma once

#include "ui/menu.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace isolumen {

class Acquisition;
class ImageWindow;
class ImageWindowList;
struct PlaneSource;

class AnalysisHistory;
struct AnalysisFile;
struct OverlayRecord;
struct OverlayDefinition;
struct WindowRecord;

// Keeps the analysis of the open acquisition: File > "Save Analysis..." and "Open Analysis...",
// the recovery file that every change is written to (at most once a second, in the
// application's data folder, named by the header's hash) and offered back when the acquisition
// is opened again after a crash, and the question "Save the analysis of a.im?" before the
// analysis is left behind (Quit, closing the main window, opening another file). The .im file
// is never written.
class AnalysisSession : public QObject
{
    Q_OBJECT

public:
    using OpenWindow = std::function<ImageWindow*(const PlaneSource&)>;
    using OpenOverlay = std::function<ImageWindow*(const OverlayDefinition&)>;

    // openImage opens an acquisition as File > Open does; openWindow opens (or raises) the
    // image window of a source, openOverlay that of an overlay.
    AnalysisSession(Acquisition& acquisition, const ImageWindowList& windows, QWidget* dialogParent,
                    std::function<void(const QString&)> openImage, OpenWindow openWindow,
                    OpenOverlay openOverlay);
    ~AnalysisSession() override;

    // "Save Analysis...": asks where; true when it was written.
    bool saveAnalysis();
    // "Open Analysis...".
    void openAnalysis();
    // Opens the analysis at path, finding its acquisition beside it or asking for it.
    void openAnalysisFile(const QString& path);
    // Asks "Save the analysis of a.im?" when something changed since the last save; false when
    // the user cancels (the analysis must then stay).
    bool mayLeave();

    // Where the recovery of the open acquisition is written; empty without one.
    QString recoveryPath() const;

private:
    // The saved analysis, or the copy kept for recovery after a crash.
    enum class Copy { Saved, Recovery };
    bool writeTo(const QString& path, Copy copy);
    void scheduleRecovery();
    void writeRecovery();
    void offerRecovery();
    void applyFound(const AnalysisFile& analysis, const QString& path);
    void openWindows(const AnalysisFile& analysis);
    QStringList labels() const;
    WindowRecord overlayRecord(const ImageWindow& window) const;
    // The overlay of a record over the open acquisition's species; absent when it lacks one.
    std::optional<OverlayDefinition> overlayOf(const OverlayRecord& record) const;

    Acquisition& m_acquisition;
    const ImageWindowList& m_windows;
    QWidget* m_dialogParent;
    std::function<void(const QString&)> m_openImage;
    OpenWindow m_openWindow;
    OpenOverlay m_openOverlay;
    QJsonObject m_kept; // the analysis as opened, with keys this version does not know
    AnalysisHistory* m_history;
    QString m_path;         // where the analysis was last saved or opened from
    QString m_recoveryPath; // of the acquisition open
    QTimer m_recoveryTimer;
    std::vector<MenuCommand> m_commands; // unregistered when this goes
};

} // namespace isolumen
