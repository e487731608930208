#pragma once

#include "core/stats/region.h"
#include "ui/menu.h"

#include <QList>
#include <QObject>
#include <memory>
#include <vector>

class QUndoStack;

namespace isolumen {

class Acquisition;
struct Alignment;
struct Corrections;

// The undo history of the acquisition's analysis: regions added, moved, resized, renamed,
// classed, deleted or loaded; corrections; alignment; choosing or leaving a sum of layers (a
// step from one single layer to another is no step of its own). It watches the model's
// signals, so every window's change is recorded however it was made, and names each step for
// the Edit menu ("Move Region 3"); undo and redo change the model through its setters. A drag
// holds the recording (hold/release) so that it becomes one step. A new file starts a new
// history. It lives as a child of the acquisition, where any window finds it (of()).
class AnalysisHistory : public QObject
{
    Q_OBJECT

public:
    explicit AnalysisHistory(Acquisition& acquisition);
    ~AnalysisHistory() override;

    // The history of an acquisition, or null when none was made.
    static AnalysisHistory* of(const Acquisition& acquisition);

    QUndoStack& stack() { return *m_stack; }
    // Whether something changed since the analysis was last saved (or the file opened).
    bool isModified() const;
    void markSaved();
    // Forgets every step: the model as it is becomes the saved state (a new file, an opened
    // analysis).
    void reset();

    // While held, changes are not recorded; release records them as one step.
    void hold();
    void release();

    // The state the history compares with: what the model held after the last step.
    struct State
    {
        QList<Region> regions;
        std::shared_ptr<const Corrections> corrections;
        std::shared_ptr<const Alignment> alignment;
        int firstLayer = 1;
        int lastLayer = 1;
    };
    // Puts in force, through the model's setters, the parts in which state differs from other
    // (undo and redo of a step between them).
    void restore(const State& state, const State& other);

signals:
    // Something changed that the analysis holds (recorded, undone or redone).
    void changed();

private:
    State current() const;
    void record();

    Acquisition& m_acquisition;
    QUndoStack* m_stack;
    std::vector<MenuCommand> m_commands; // unregistered when this goes
    State m_state;
    int m_held = 0;
    bool m_restoring = false;
};

// The name of the step from one list of regions to another: "Add Region 4", "Move Region 3",
// "Delete Regions"...; empty when they are the same.
QString regionsStepName(const QList<Region>& before, const QList<Region>& after);

} // namespace isolumen
