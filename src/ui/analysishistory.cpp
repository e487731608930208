#include "ui/analysishistory.h"

#include "core/model/acquisition.h"
#include "ui/menu.h"

#include <QAction>
#include <QUndoCommand>
#include <QUndoStack>
#include <algorithm>
#include <cmath>

namespace isolumen {

namespace {

// Coordinates that differ by less than this are the same (a drag adds and subtracts).
constexpr double kSame = 1e-9;

bool near(const QPointF& a, const QPointF& b)
{
    return std::abs(a.x() - b.x()) < kSame && std::abs(a.y() - b.y()) < kSame;
}

// Whether after is before moved as a whole.
bool isMove(const Region& before, const Region& after)
{
    const QRectF b = before.boundingRect(), a = after.boundingRect();
    const QPointF d = a.topLeft() - b.topLeft();
    if (before.shape != after.shape ||
        !near(QPointF(b.width(), b.height()), QPointF(a.width(), a.height())))
        return false;
    for (qsizetype i = 0; i < before.polygon.size() && i < after.polygon.size(); ++i) {
        if (!near(before.polygon[i] + d, after.polygon[i]))
            return false;
    }
    return before.polygon.size() == after.polygon.size();
}

QList<int> idsOf(const QList<Region>& regions)
{
    QList<int> ids;
    for (const Region& r : regions)
        ids << r.id;
    return ids;
}

// One step: the states before and after it. Undo and redo put in force only what the step
// changed, so that layers stepped through since stay as they are.
class Step : public QUndoCommand
{
public:
    Step(AnalysisHistory& history, AnalysisHistory::State before, AnalysisHistory::State after,
         const QString& text)
        : QUndoCommand(text), m_history(history), m_before(std::move(before)),
          m_after(std::move(after))
    {
    }
    void undo() override { m_history.restore(m_before, m_after); }
    void redo() override
    {
        if (m_done) // pushed after the change was made
            m_done = false;
        else
            m_history.restore(m_after, m_before);
    }

private:
    AnalysisHistory& m_history;
    AnalysisHistory::State m_before;
    AnalysisHistory::State m_after;
    bool m_done = true;
};

} // namespace

QString regionsStepName(const QList<Region>& before, const QList<Region>& after)
{
    if (before == after)
        return {};
    if (after.size() == before.size() + 1 && after.mid(0, before.size()) == before)
        return QStringLiteral("Add Region %1").arg(after.last().id);
    const QList<int> was = idsOf(before), is = idsOf(after);
    if (after.size() < before.size() &&
        std::all_of(after.begin(), after.end(),
                    [&](const Region& r) { return before.contains(r); })) {
        return before.size() - after.size() == 1
                   ? QStringLiteral("Delete Region %1")
                         .arg(*std::find_if(was.begin(), was.end(),
                                            [&](int id) { return !is.contains(id); }))
                   : QStringLiteral("Delete Regions");
    }
    if (was != is)
        return QStringLiteral("Load Regions");
    QList<int> changed;
    for (qsizetype i = 0; i < after.size(); ++i) {
        if (before[i] != after[i])
            changed << int(i);
    }
    const bool moved = std::all_of(changed.begin(), changed.end(),
                                   [&](int i) { return isMove(before[i], after[i]); });
    const bool classed = std::all_of(changed.begin(), changed.end(), [&](int i) {
        Region was = before[i];
        was.regionClass = after[i].regionClass;
        return was == after[i];
    });
    if (changed.size() > 1)
        return classed ? QStringLiteral("Classify Regions")
               : moved ? QStringLiteral("Move Regions")
                       : QStringLiteral("Change Regions");
    const Region& b = before[changed.first()];
    const Region& a = after[changed.first()];
    const QString step = b.name != a.name                 ? QStringLiteral("Rename Region %1")
                         : b.regionClass != a.regionClass ? QStringLiteral("Set Class of Region %1")
                         : moved                          ? QStringLiteral("Move Region %1")
                                                          : QStringLiteral("Resize Region %1");
    return step.arg(a.id);
}

AnalysisHistory::AnalysisHistory(Acquisition& acquisition)
    : QObject(&acquisition), m_acquisition(acquisition), m_stack(new QUndoStack(this))
{
    m_state = current();
    connect(&acquisition, &Acquisition::fileChanged, this, &AnalysisHistory::reset);
    for (auto signal : {&Acquisition::layersChanged, &Acquisition::correctionsChanged,
                        &Acquisition::alignmentChanged})
        connect(&acquisition, signal, this, &AnalysisHistory::record);
    connect(&acquisition, &Acquisition::regionsChanged, this, &AnalysisHistory::record);
    connect(m_stack, &QUndoStack::indexChanged, this, &AnalysisHistory::changed);

    Menu& menu = Menu::instance();
    m_commands.push_back(menu.setCommand(QStringLiteral("editUndo"), [this] { m_stack->undo(); }));
    m_commands.push_back(menu.setCommand(QStringLiteral("editRedo"), [this] { m_stack->redo(); }));
    auto showItems = [this] {
        for (const auto& [name, can, text] :
             {std::tuple{"editUndo", m_stack->canUndo(), m_stack->undoText()},
              std::tuple{"editRedo", m_stack->canRedo(), m_stack->redoText()}}) {
            QAction* item = Menu::instance().item(QLatin1String(name));
            const QString verb = QLatin1String(name) == QLatin1String("editUndo")
                                     ? QStringLiteral("Undo")
                                     : QStringLiteral("Redo");
            item->setEnabled(can);
            item->setText(can ? verb + QLatin1Char(' ') + text : verb);
        }
    };
    connect(m_stack, &QUndoStack::indexChanged, this, showItems);
    showItems();
}

AnalysisHistory::~AnalysisHistory()
{
    if (!Menu::exists()) // the acquisition may outlive the menus at shutdown
        return;
    for (const char* name : {"editUndo", "editRedo"})
        Menu::instance().item(QLatin1String(name))->setEnabled(false);
}

AnalysisHistory* AnalysisHistory::of(const Acquisition& acquisition)
{
    return acquisition.findChild<AnalysisHistory*>(QString(), Qt::FindDirectChildrenOnly);
}

bool AnalysisHistory::isModified() const
{
    return !m_stack->isClean();
}

void AnalysisHistory::markSaved()
{
    m_stack->setClean();
}

void AnalysisHistory::hold()
{
    ++m_held;
}

void AnalysisHistory::release()
{
    m_held = std::max(0, m_held - 1);
    record();
}

AnalysisHistory::State AnalysisHistory::current() const
{
    return {m_acquisition.regions(), m_acquisition.corrections(), m_acquisition.alignment(),
            m_acquisition.firstLayer(), m_acquisition.lastLayer()};
}

void AnalysisHistory::record()
{
    if (m_restoring || m_held > 0 || !m_acquisition.isOpen())
        return;
    const State after = current();
    const bool sums = m_state.lastLayer > m_state.firstLayer || after.lastLayer > after.firstLayer;
    const bool layersMoved =
        m_state.firstLayer != after.firstLayer || m_state.lastLayer != after.lastLayer;
    QString name = regionsStepName(m_state.regions, after.regions);
    if (name.isEmpty() && m_state.corrections != after.corrections)
        name = QStringLiteral("Change Corrections");
    if (name.isEmpty() && m_state.alignment != after.alignment)
        name = after.alignment ? QStringLiteral("Align Layers") : QStringLiteral("Undo Alignment");
    if (name.isEmpty() && sums && layersMoved)
        name =
            after.lastLayer > after.firstLayer
                ? QStringLiteral("Sum of Layers %1-%2").arg(after.firstLayer).arg(after.lastLayer)
                : QStringLiteral("Leave Sum of Layers");
    State before = m_state;
    m_state = after;
    if (name.isEmpty()) // a step between single layers: no step of the history
        return;
    m_stack->push(new Step(*this, before, after, name));
}

void AnalysisHistory::restore(const State& state, const State& other)
{
    m_restoring = true;
    const State now = current();
    if (state.regions != other.regions && now.regions != state.regions) {
        if (idsOf(now.regions) == idsOf(state.regions)) {
            for (qsizetype i = 0; i < state.regions.size(); ++i) {
                if (now.regions[i] != state.regions[i])
                    m_acquisition.replaceRegion(int(i), state.regions[i]);
            }
        } else {
            m_acquisition.setRegions(state.regions);
        }
    }
    if (state.corrections != other.corrections)
        m_acquisition.setCorrections(state.corrections);
    if (state.alignment != other.alignment)
        m_acquisition.setAlignment(state.alignment);
    if (state.firstLayer != other.firstLayer || state.lastLayer != other.lastLayer)
        m_acquisition.setLayerRange(state.firstLayer, state.lastLayer);
    m_restoring = false;
    m_state = current();
}

void AnalysisHistory::reset()
{
    m_stack->clear();
    m_state = current();
    m_stack->setClean();
}

} // namespace isolumen
