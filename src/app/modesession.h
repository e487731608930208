#pragma once

#include "app/planeoptions.h"
#include "core/model/acquisition.h"
#include "core/model/alignment.h"
#include "core/result.h"

#include <QString>
#include <functional>
#include <utility>

class QCommandLineParser;
class QTextStream;

namespace isolumen {

// What a command-line mode does with its plane choice once it has a file: open it, put the
// choice's analysis, corrections, exclusions and alignment in force, and name the sources and
// layers the choice asks for, checked against the file.

// Opens path into the acquisition, expanding a compressed file first (the expanded copy lives
// as long as the acquisition holds the file). A file that cannot be expanded is a Failure;
// otherwise the reader's verdict. path may be a chain of runs, FILE+FILE2+... (see
// chainedFiles()): any file of it that cannot be opened or appended is a Failure naming it.
Result<ImFile::Status> openFile(Acquisition& acquisition, const QString& path);

// Whether out names an existing file that path reads: path itself, or any run of its chain.
bool readsFile(const QString& path, const QString& out);

// The refusal of a file that is not a raw image file, naming it.
Failure notAnImage(const QString& path);

// Opens an acquisition for a command-line mode. Compressed files are expanded first. Absent,
// with the reason, for a missing, unreadable or refused file, or one whose frames cannot be
// shown; the reader's messages about the file go to warn.
Result<> openForMode(Acquisition& acquisition, const QString& path,
                     const std::function<void(const QString&)>& warn);

// Puts the choice's analysis (when it was made of this acquisition), then its corrections and
// its alignment in force on the acquisition; the notes about corrections go to warn.
Result<> applyChoice(const PlaneChoice& choice, Acquisition& acquisition,
                     const std::function<void(const QString&)>& warn);

// Puts the choice's excluded layers in force, checked against the file's layers.
Result<> applyExclusion(const PlaneChoice& choice, Acquisition& acquisition);

// Estimates the drift of the layers as the choice's --align-species and --align-layer say
// (by default the species with most counts in layer 1, against layer 1).
Result<Alignment> estimateAlignment(const PlaneChoice& choice, const Acquisition& acquisition);

// The sources a choice names, checked against the file: the ratio, or the species (every
// species for --species all). Species are 0-based here.
Result<QList<PlaneSource>> chosenSources(const PlaneChoice& choice, const Acquisition& acquisition);

// The species (0-based) a choice names, checked against the file: every species for
// --species all.
Result<QList<int>> chosenSpecies(const PlaneChoice& choice, const Acquisition& acquisition);

// The layer ranges a choice names, checked against the file's complete layers: one range for a
// single layer or a sum, one range per layer for --layers A-B without --sum.
Result<QList<std::pair<int, int>>> chosenLayers(const PlaneChoice& choice,
                                                const Acquisition& acquisition);

// The warning for a result of the choice in which no pixel has a value (what names it): the
// result is still written, and this says why it is empty.
QString noValueWarning(const QString& what, const PlaneChoice& choice, bool ratio);

// The start every command-line mode shares: its messages go to standard error, a failure ends
// it with kFailureStatus, and its options name the one file and the plane choice it works on.
class ModeSession
{
public:
    ModeSession(const QCommandLineParser& parser, QTextStream& err);

    // Reads the mode's one file (onlyFile(); mode names the mode in messages, "--stats"), then
    // the plane choice. False, having said why, when either cannot be read.
    bool start(const QString& mode, AllSpecies allSpecies);
    bool readFile(const QString& mode);
    bool readChoice(AllSpecies allSpecies);

    // Writes message to standard error and gives the status that ends the mode.
    int fail(const QString& message) const;
    int fail(const Failure& failure) const { return fail(failure.message); }
    // Writes a message the mode goes on after; the form openForMode() and applyChoice() take.
    const std::function<void(const QString&)>& warn() const { return m_warn; }

    const QString& path() const { return m_path; }
    PlaneChoice& choice() { return m_choice; }

private:
    const QCommandLineParser& m_parser;
    QTextStream& m_err;
    std::function<void(const QString&)> m_warn;
    QString m_path;
    PlaneChoice m_choice;
};

} // namespace isolumen
