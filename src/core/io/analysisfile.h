#pragma once

#include "core/model/alignment.h"
#include "core/model/ratiodefinition.h"
#include "core/render/overlay.h"
#include "core/result.h"
#include "core/stats/region.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>
#include <variant>
#include <vector>

namespace isolumen {

class Acquisition;

// An overlay window's sources by label ("12C", "12C+13C", "13C/12C"), their ranges and its
// colour set.
struct OverlayRecord
{
    QStringList sources;
    QList<OverlayRange> ranges; // by source
    OverlayColours colours = OverlayColours::RedGreenBlue;
};

// How one image window showed its source: "12C" or "13C/12C" (as the acquisition names it), a
// ratio's scale and unit, the colour table (1 to 20) and the display range (a limit absent
// while it follows the plane). An overlay's source is its name, which names no species, so
// that versions without overlays pass over it.
struct WindowRecord
{
    QString source;
    double scale = 1;
    RatioUnit unit = RatioUnit::Plain;
    double standard = 1; // a δ value's standard ratio
    int table = 10;
    std::optional<double> min;
    std::optional<double> max;
    bool log = false;
    std::optional<OverlayRecord> overlay;
};

// The alignment as a file keeps it: its reference by species label and layer, and the shifts.
struct AlignmentRecord
{
    QString species;
    int layer = 1;
    bool subpixel = false;
    std::vector<Shift> shifts;
    // Beside the shifts (empty when the file has none): how sure each is, and whether it was
    // measured, set by hand or interpolated; and how the drift was estimated.
    std::vector<double> confidences;
    std::vector<ShiftOrigin> origins;
    AlignmentSettings settings;
    int usedBin = 1;
};

// One file of an acquisition: its name, size and the SHA-256 of its header.
struct AcquisitionRecord
{
    QString name;
    qint64 size = 0;
    QString headerSha256; // lower-case hex

    bool operator==(const AcquisitionRecord&) const = default;
};

// An analysis of one acquisition as the file ".isolumen" holds it: which acquisition (name,
// size and the SHA-256 of its header, and those of the files of a chain of runs appended), the
// layers shown and those left out of sums, the regions, the corrections and the alignment (species
// by label), and the windows. What the file held beyond these is kept in `read` and written again.
struct AnalysisFile
{
    static constexpr int kVersion = 1;

    QString acquisitionName;
    qint64 acquisitionSize = 0;
    QString headerSha256;              // lower-case hex
    QList<AcquisitionRecord> appended; // the further files of a chain, in order
    int firstLayer = 1;
    int lastLayer = 1;
    QList<int> excludedLayers;
    QList<Region> regions;
    int nextRegionId = 0; // where new ids go on; 0 when the file does not say
    bool deadTime = false;
    QMap<QString, double> deadTimeNs; // by label
    bool qsa = false;
    double qsaCurrentPa = 0;
    QMap<QString, double> qsaBeta; // by label
    std::optional<AlignmentRecord> alignment;
    QList<WindowRecord> windows;
    // Whether it came from a bare regions file: it then holds regions alone.
    bool regionsOnly = false;
    QJsonObject read; // the document as read, unknown keys with it
};

// The file's text: the analysis over what it was read from, so that keys this version does not
// know survive.
QByteArray writeAnalysis(const AnalysisFile& analysis);
// An analysis file, or a regions file (regionsOnly); else why not. A file of a later version
// is refused.
Result<AnalysisFile> readAnalysis(const QByteArray& json);
// Reads the file at path (refusing any far larger than an analysis can be).
Result<AnalysisFile> readAnalysisFile(const QString& path);
// The acquisition an analysis names, as the command line and the viewer open it: its file in
// folder, or its chain of runs, FILE+FILE2+...; empty when it names none.
QString acquisitionArgument(const AnalysisFile& analysis, const QString& folder);

// The SHA-256 of the open file's header bytes, lower-case hex; empty without a file.
QString headerSha256(const Acquisition& acquisition);
// What tells the acquisition open from any other: its header's SHA-256, or for a chain of runs
// the SHA-256 of its files' header hashes in order; empty without a file.
QString acquisitionSha256(const Acquisition& acquisition);
// Whether the analysis was made of the acquisition open: the same files, sizes and headers.
bool sameAcquisition(const AnalysisFile& analysis, const Acquisition& acquisition);

// The analysis of the acquisition's state: its file, layers, regions, corrections, alignment.
AnalysisFile analysisOf(const Acquisition& acquisition);

// What of an analysis to put in force.
enum class AnalysisPart {
    Regions = 1,
    Layers = 2, // the layer or sum shown
    Corrections = 4,
    Alignment = 8,
    Excluded = 16, // the layers left out of sums, profiles and alignment
    All = 31
};
// Puts the parts of an analysis in force on the open acquisition through its setters. A part
// that does not fit the file (a species it lacks, shifts for other layers) is left as it is and
// named in the returned problems.
QStringList applyAnalysis(const AnalysisFile& analysis, Acquisition& acquisition,
                          int parts = int(AnalysisPart::All));

} // namespace isolumen
