#pragma once

#include "core/result.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace isolumen {

class ImFile;
struct ImHeader;

// How the counts of one species are corrected before they are shown, summed, put in a ratio,
// read out or exported. At high count rates a detector misses the ions that arrive while it is
// dead: N' = N / (1 - N tau / t), with t the dwell time per pixel of one layer. QSA (the yield's
// dependence on the secondary-ion rate) follows on request: N'' = N' (1 + beta K), with
// K = Kexp / (1 - Kexp / 2) and Kexp = N' / (t I 6.2415e6), I the primary current in pA.
struct CountCorrection
{
    double deadTimeNs = 0;       // tau; 0 leaves dead time uncorrected
    double dwellSeconds = 0;     // t
    double qsaBeta = 0;          // beta; 0 leaves QSA uncorrected
    double primaryCurrentPa = 0; // I

    bool active() const
    {
        return (deadTimeNs > 0 && dwellSeconds > 0) ||
               (qsaBeta != 0 && dwellSeconds > 0 && primaryCurrentPa > 0);
    }

    // The corrected count; NaN where the detector was saturated (N tau / t >= 1), for such a
    // pixel has no meaningful count.
    double apply(double n) const
    {
        if (deadTimeNs > 0 && dwellSeconds > 0) {
            const double deadFraction = n * deadTimeNs * 1e-9 / dwellSeconds;
            if (!(deadFraction < 1))
                return std::numeric_limits<double>::quiet_NaN();
            n = n / (1 - deadFraction);
        }
        if (qsaBeta != 0 && dwellSeconds > 0 && primaryCurrentPa > 0) {
            const double kExp = n / (dwellSeconds * primaryCurrentPa * 6.2415e6);
            const double k = kExp / (1 - kExp / 2);
            n = n * (1 + qsaBeta * k);
        }
        return n;
    }
};

// What the user asks of the corrections: dead time from the header (or given by hand, per
// species or for all), and QSA with a beta per species and the primary current.
struct CorrectionSettings
{
    bool deadTime = false;
    QMap<int, double> deadTimeNs;        // by species: tau given by hand
    std::optional<double> deadTimeAllNs; // tau for every species (secondary electrons aside)
    bool qsa = false;
    QMap<int, double> qsaBeta; // by species
    double primaryCurrentPa = 0;

    bool any() const { return deadTime || qsa; }
};

// The corrections of every species of an acquisition, by file and species index. Each file of a
// chain of runs corrects its own layers with its own count times and dead times. A species
// beyond a file's list is left as counted.
struct Corrections
{
    struct Run
    {
        int firstLayer = 1; // the file's first layer in the acquisition, from 1
        std::vector<CountCorrection> species;
    };
    std::vector<Run> runs;       // the first file's first
    CorrectionSettings settings; // what they were made of, for the user to see and change

    // The correction of a species in a layer (from 1); null where its counts stay as recorded.
    const CountCorrection* forLayer(int species, int layer) const
    {
        const Run* in = nullptr;
        for (const Run& run : runs) {
            if (run.firstLayer <= layer)
                in = &run;
        }
        if (!in || species < 0 || species >= int(in->species.size()) ||
            !in->species[size_t(species)].active())
            return nullptr;
        return &in->species[size_t(species)];
    }
    // Whether any layer of a species is corrected.
    bool corrects(int species) const
    {
        for (const Run& run : runs) {
            if (forLayer(species, run.firstLayer))
                return true;
        }
        return false;
    }
};

// The corrections made of a user's settings for one file, with what to tell the user.
struct CorrectionSetup
{
    std::shared_ptr<const Corrections> corrections; // null when nothing is corrected
    QStringList notes; // for the user: species left uncorrected and why
};

// The dwell time per pixel of one layer of a species: its count time spread over the frame's
// pixels, or, where the header records no count time, the acquisition's duration spread over
// every pixel of every layer. 0 when neither is known.
double dwellSeconds(const ImHeader& h, int species);
// The dead time the header records for the detector of a species; absent for secondary
// electrons, for trolleys without a detector and where the file records none.
std::optional<int> recordedDeadTimeNs(const ImHeader& h, int species);

// The corrections of settings for the species of a header. Secondary electrons are never
// corrected. Dead-time correction of a file that records no dead times needs them by hand.
Result<CorrectionSetup> makeCorrections(const ImHeader& h, const CorrectionSettings& settings);
// The same for every file of an open acquisition, each file's layers by its own header.
Result<CorrectionSetup> makeCorrections(const ImFile& file, const CorrectionSettings& settings);

} // namespace isolumen
