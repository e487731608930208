#pragma once

#include "core/imfile/imfile.h"
#include "core/model/alignment.h"
#include "core/model/corrections.h"
#include "core/model/plane.h"
#include "core/model/planebuilder.h"
#include "core/result.h"
#include "core/stats/region.h"

#include <QList>
#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

namespace isolumen {

class Progress;

// What a window shows: the counts of one species, or a ratio of species or of their sums.
struct PlaneSource
{
    int species = 0; // 0-based, when there is no ratio
    std::optional<RatioDefinition> ratio;

    bool operator==(const PlaneSource&) const = default;
};

// Everything that decides a plane: its source, its layers (a sum when lastLayer > firstLayer),
// and the corrections and alignment in force. A request is a value: it can be handed to a
// worker thread while the model goes on.
struct PlaneRequest
{
    PlaneSource source;
    int firstLayer = 1; // from 1
    int lastLayer = 1;
    std::shared_ptr<const Corrections> corrections; // null: counts as recorded
    std::shared_ptr<const Alignment> alignment;     // null: layers as recorded
    std::vector<int> excluded;                      // layers (from 1, sorted) a sum leaves out

    bool isSum() const { return lastLayer > firstLayer; }
};

// The layers a request shows: "Layer 3" or "Sum of Layers 1-50".
QString layersText(const PlaneRequest& request);

// A plane as the model serves it: what is shown, and for a ratio the counts it was made of
// (the readout and the region statistics use them).
struct PlaneResult
{
    PlanePtr shown;
    PlanePtr numerator;         // a ratio's numerator: the sum of its species
    PlanePtr denominator;       // and its denominator
    QList<PlanePtr> counts;     // a ratio's species, in the order of RatioDefinition::species()
    qint64 saturatedPixels = 0; // pixels without value because a detector was saturated
};

// The open acquisition: the one object every window and every command-line mode asks for
// planes. It owns the open file, the selected layer or range of layers, the corrections and the
// alignment, and serves the plane of any request through plane(). Sums are computed on all
// cores and kept (bounded in memory), so a colour or range change never recomputes them.
// Signals tell the windows when the file or the selection changes.
class Acquisition : public QObject
{
    Q_OBJECT

public:
    explicit Acquisition(QObject* parent = nullptr);
    ~Acquisition() override;

    // Opens the raw image file at path; displayName, when given, is the name to show instead
    // (a compressed file it was expanded from), and keepAlive is held as long as the file is
    // open (the expanded file's owner). An accepted file becomes the acquisition, at layer 1
    // without corrections or alignment, and fileChanged() follows. Any other outcome closes
    // the previous file but keeps its header, which windows keep showing.
    Result<ImFile::Status> open(const QString& path, const QString& displayName = {},
                                std::shared_ptr<void> keepAlive = {});
    // Appends a further run of the same field, its layers after those open (see ImFile). The
    // longer sequence is a new acquisition, as after open(); a file that cannot follow leaves
    // the acquisition as it was, and is a Failure saying why.
    Result<ImFile::Status> append(const QString& path, const QString& displayName = {},
                                  std::shared_ptr<void> keepAlive = {});
    void close();

    bool isOpen() const { return m_file != nullptr; }
    // The last accepted header (kept after a refused open).
    const ImHeader& header() const { return m_header; }
    // The open file; null while none is open.
    std::shared_ptr<const ImFile> file() const { return m_file; }
    // Inconsistencies of the last accepted file, for the user.
    QStringList messages() const;

    // Layers offered: those the file holds whole.
    int layerCount() const;
    int speciesCount() const { return m_header.usableSpecies(); }
    QString speciesName(int species) const;
    // Empty when the file's frames can be shown; else why not.
    QString unshowableReason() const;
    std::optional<int> frameSide() const;

    // The layers windows show: one layer (first == last), or the sum of first..last.
    int firstLayer() const { return m_firstLayer; }
    int lastLayer() const { return m_lastLayer; }
    bool isSum() const { return m_lastLayer > m_firstLayer; }
    // Selects one layer; layersChanged() when it differs.
    void setLayer(int layer);
    // Selects the sum of first..last (a range of one layer is that layer).
    void setLayerRange(int first, int last);

    std::shared_ptr<const Corrections> corrections() const { return m_corrections; }
    void setCorrections(std::shared_ptr<const Corrections> corrections);
    std::shared_ptr<const Alignment> alignment() const { return m_alignment; }
    void setAlignment(std::shared_ptr<const Alignment> alignment);

    // Layers (from 1, sorted, without repeats) left out of sums, profiles and alignment; a new
    // file starts without any. excludedLayersChanged() when the set changes.
    const std::vector<int>& excludedLayers() const { return m_excluded; }
    void setExcludedLayers(std::vector<int> layers);
    bool isExcluded(int layer) const;
    // By layer from 0 (layerCount() entries): whether it is excluded, as alignment takes it.
    std::vector<bool> exclusionMask() const;

    // The regions of interest, in the order drawn. They belong to the acquisition: every window
    // shows the same ones, and a new file starts without any. Each keeps its id, its number
    // for the user: ids are never given twice while the file stays open, so deleting region 2
    // leaves region 3 as 3.
    const QList<Region>& regions() const { return m_regions; }
    // Replaces the list; regions without an id (or with one taken) get new ones. nextId, when
    // larger, is where new ids continue (an analysis read back).
    void setRegions(const QList<Region>& regions, int nextId = 0);
    // Adds a region at the end with a new id, named "Region N" when it has no name; returns its
    // index.
    int addRegion(const Region& region);
    // The id the next new region gets.
    int nextRegionId() const { return m_nextRegionId; }
    // The index of the region with an id, or -1.
    int regionIndex(int id) const;
    void replaceRegion(int index, const Region& region);
    void removeRegion(int index);

    // The request for a source under the current selection, corrections and alignment.
    PlaneRequest request(const PlaneSource& source) const;
    // Whether plane() answers at once (no sum to compute): no progress needs showing.
    bool isQuick(const PlaneRequest& request) const;
    // Progress units plane() works through for these requests.
    qint64 work(const QList<PlaneRequest>& requests) const;

    // The plane of a request. Safe to call from a worker thread while the model stays put;
    // a cancelled or failed request is a Failure saying why (cancelled, memory, no such layer),
    // and changes nothing. A plane that is given always has its shown plane.
    Result<PlaneResult> plane(const PlaneRequest& request, Progress* progress = nullptr) const;
    // The sum of the counts of species (0-based) under a request's layers, corrections and
    // alignment: a species' own plane for one species, doubles for several (no value where any
    // has none). Absent, with why in error, when cancelled or failed.
    Result<BuiltPlane> termPlane(const PlaneRequest& request, const QList<int>& species,
                                 Progress* progress) const;
    // Computes and keeps the planes of requests, so that a following change of selection shows
    // them at once. False when cancelled.
    bool prepare(const QList<PlaneRequest>& requests, Progress* progress) const;
    // The memory the kept sums may take (1 GiB unless set). 0 keeps none: a command-line mode
    // that asks for each sum once then never holds more than the sum it is writing.
    void setSumCacheBudget(qint64 bytes);

    // "12C", "13C/12C", "13C/(12C+13C)", and a ratio's scale and unit after it:
    // "13C/12C ×10000", "13C/(12C+13C) at-%", "13C/12C δ (‰)"
    QString sourceName(const PlaneSource& source) const;
    // A window's title: "12C (Layer 3)", "13C/12C (Sum of Layers 1-50, aligned)",
    // "12C (Sum of Layers 1-50, 3 excluded)"; shownName, when given, stands in the source's
    // name ("13C/12C ×10000 HSI", an overlay's name).
    QString title(const PlaneRequest& request, const QString& shownName = {}) const;

signals:
    void fileChanged();
    void layersChanged();
    void correctionsChanged();
    void alignmentChanged();
    void excludedLayersChanged();
    // index: the region that changed, or -1 when the list did.
    void regionsChanged(int index);

private:
    struct CachedPlane
    {
        PlanePtr plane;
        qint64 saturated = 0;
        quint64 lastUse = 0;
        // Held with the entry, so that the pointers of its key are never reused by newer
        // objects while it exists.
        std::shared_ptr<const Corrections> corrections;
        std::shared_ptr<const Alignment> alignment;
    };
    using CacheKey =
        std::tuple<int, int, int, const Corrections*, const Alignment*, std::vector<int>>;
    // A sum's key: what decides its counts.
    static CacheKey cacheKey(const PlaneRequest& request, int species);

    // The counts of one species under a request's layers, corrections and alignment.
    Result<BuiltPlane> speciesPlane(const PlaneRequest& request, int species,
                                    Progress* progress) const;
    void clearCache();
    // Makes an accepted file the acquisition, at its start.
    void adopt(std::shared_ptr<const ImFile> file, std::shared_ptr<void> keepAlive);

    std::shared_ptr<const ImFile> m_file;
    std::vector<std::shared_ptr<void>> m_keepAlive; // by run
    ImHeader m_header;
    int m_firstLayer = 1;
    int m_lastLayer = 1;
    std::shared_ptr<const Corrections> m_corrections;
    std::shared_ptr<const Alignment> m_alignment;
    std::vector<int> m_excluded;
    QList<Region> m_regions;
    int m_nextRegionId = 1;

    // Sums already computed, the least recently used dropped first beyond a memory budget.
    mutable std::mutex m_cacheLock;
    mutable std::map<CacheKey, CachedPlane> m_cache;
    mutable quint64 m_useCounter = 0;
    qint64 m_cacheBudget;
};

} // namespace isolumen
