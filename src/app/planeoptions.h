#pragma once

#include "core/io/analysisfile.h"
#include "core/model/acquisition.h"
#include "core/model/corrections.h"
#include "core/result.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

class QCommandLineParser;
class QTextStream;

namespace isolumen {

// The options that choose planes, shared by the command-line modes that read them: which
// species (--species N or all), which layers (--plane P, --layers A-B, --sum). Numbers are
// counted from 1 as the user counts them.

// A mode that meets a Failure ends with this status, after the message on standard error.
constexpr int kFailureStatus = 2;

// What the options of a command-line mode ask for, before any file is read.
struct PlaneChoice
{
    std::optional<int> species;                // from 1; absent: the first
    bool allSpecies = false;                   // --species all
    std::optional<int> plane;                  // --plane P
    std::optional<std::pair<int, int>> layers; // --layers A-B
    bool sum = false;                          // --sum
    std::optional<RatioDefinition> ratio; // --ratio N/D with --scale, thresholds and unit; 0-based
    QList<RatioDefinition> ratios;        // every --ratio given (only --study takes more than one)
    CorrectionSettings corrections; // --deadtime, --deadtime-ns T; --current-pa I
    // --qsa-beta: beta by species label or number as given; applyChoice finds the species.
    QList<std::pair<QString, double>> qsaBeta;
    bool align = false;              // --align
    std::optional<int> alignSpecies; // --align-species N, from 1
    std::optional<int> alignLayer;   // --align-layer L
    bool alignSubpixel = false;      // --align-subpixel
    AlignmentSettings alignSettings; // --align-bin, --align-region, --align-min-confidence,
                                     // --align-max-step
    std::vector<int> excluded;       // --exclude 3,7-9: layers from 1
    // --analysis FILE.isolumen: its regions, corrections and alignment, where options given
    // beside it do not say otherwise.
    std::shared_ptr<const AnalysisFile> analysis;
    QString analysisPath;
};

// Adds the options of plane choice, ratios and corrections to a parser.
void addPlaneOptions(QCommandLineParser& parser);

// Whether a mode takes "--species all", every species at once.
enum class AllSpecies { Refused, Accepted };

// Reads the options without touching any file.
Result<PlaneChoice> readPlaneChoice(const QCommandLineParser& parser, AllSpecies allSpecies);

// The one .im file a mode (--stats, ...) is given, or why not. Without one, --analysis names
// it: the acquisition of that name beside the analysis.
Result<QString> onlyFile(const QCommandLineParser& parser, const QString& mode);

// A number given to an option, the whole of its text; "." is the decimal point in every locale.
std::optional<double> realNumber(const QString& text);

// A whole number given to an option, within first..last.
std::optional<int> wholeNumber(const QString& text, int first, int last);

// The choice's corrections, with the beta of each species the file's header names.
Result<CorrectionSettings> correctionsFor(const PlaneChoice& choice, const ImHeader& h);

} // namespace isolumen
