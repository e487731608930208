#pragma once

#include "core/stats/studytable.h"

#include <optional>

class QCommandLineParser;
class QTextStream;

namespace isolumen {

class Progress;

// `isolumen --stats FILE.im --roi SHAPE ... [options]`: the statistics of regions of interest as
// CSV on standard output, one row per region and species (and ratio), over one layer, a sum of
// layers, or layer by layer.
void addStatsOptions(QCommandLineParser& parser);
bool isStatsRequested(const QCommandLineParser& parser);
// Returns the exit status: 0, or 2 with a message on err.
int runStats(const QCommandLineParser& parser, QTextStream& err);

// `isolumen --study OUT.csv INPUT... [options]`: the statistics of many acquisitions in one CSV,
// each row led by the acquisition's file name and the analysis's "treatment". An input is an
// analysis file (its acquisition beside it) or an .im file measured with the region options.
// Inputs are measured in parallel (--jobs N) and written in input order. Returns 0; 3 when some
// inputs failed (named on err, their rows left out); 2 when none could be measured.
void addStudyOptions(QCommandLineParser& parser);
bool isStudyRequested(const QCommandLineParser& parser);
int runStudy(const QCommandLineParser& parser, QTextStream& err);

// The study of the viewer's File > "Open Study...": the same table as --study over the inputs,
// with the options the viewer was started with (none of the study's own) and the ratios given
// as --ratio takes them, on all cores.
std::optional<StudyTable> measureStudyTable(const QCommandLineParser& parser,
                                                      const QStringList& inputs,
                                                      const QStringList& ratios,
                                                      Progress& progress);

} // namespace isolumen
