#pragma once

#include "app/planeoptions.h"
#include "core/result.h"
#include "core/stats/findregions.h"

#include <QList>
#include <QString>
#include <optional>
#include <variant>

class QCommandLineParser;
class QTextStream;

namespace isolumen {

// Regions that come from pictures rather than shapes: found in a plane (--find-regions SOURCE
// with its --smooth, --threshold, --split, --min-area, --max-area and --exclude-edge) or read
// from a label image (--regions-mask IN.tif); and where the regions go besides the mode's own
// output (--save-regions OUT.json, and the --export-mask OUT.tif mode).

// --find-regions SOURCE: a species (2), a sum of species (1+2) or a ratio (2/1), from 1.
void addRegionOptions(QCommandLineParser& parser);

// The --find-regions request, if any, checked without touching a file.
Result<std::optional<RegionFinding>> readRegionFinding(const QCommandLineParser& parser);

// The regions the picture options give for the open acquisition, in the layers the choice
// names (all of them summed when it names none): those found, then those of the mask.
Result<QList<Region>> pictureRegions(const QCommandLineParser& parser, const PlaneChoice& choice,
                                     const Acquisition& acquisition);

// The regions of --rois and --roi, as given (a file's ids kept).
Result<QList<Region>> shapeRegions(const QCommandLineParser& parser);
// Whether any option gives regions: shapes, pictures or an analysis.
bool regionsGiven(const QCommandLineParser& parser);
// The regions a mode works on, for the open acquisition with the choice in force: the shapes,
// then those of the pictures, numbered; or else those of the analysis.
Result<QList<Region>> modeRegions(const QCommandLineParser& parser, const PlaneChoice& choice,
                                  const Acquisition& acquisition);

// Writes regions where --save-regions says, if it is given.
Result<> saveRegionsOption(const QCommandLineParser& parser, const QList<Region>& regions);

// --export-mask OUT.tif FILE: the regions (of --roi, --rois, --analysis or the picture options)
// as a 16-bit label image, each region's pixels holding its id.
bool isMaskExportRequested(const QCommandLineParser& parser);
int runMaskExport(const QCommandLineParser& parser, QTextStream& err);

} // namespace isolumen
