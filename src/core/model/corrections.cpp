#include "core/model/corrections.h"

#include "core/imfile/imfile.h"

namespace isolumen {

double dwellSeconds(const ImHeader& h, int species)
{
    const double pixels = double(h.pixelWidth) * h.pixelHeight;
    if (species < 0 || species >= h.counting.size() || !(pixels > 0))
        return 0;
    const double countTime = h.counting[species].countTime;
    if (countTime > 0)
        return countTime / pixels;
    if (h.duration > 0 && h.planeCount > 0)
        return h.duration / (double(h.planeCount) * pixels);
    return 0;
}

std::optional<int> recordedDeadTimeNs(const ImHeader& h, int species)
{
    if (species < 0 || species >= h.counting.size())
        return std::nullopt;
    const int detector = h.counting[species].detector();
    if (detector < 1)
        return std::nullopt;
    return h.deadTimesNs[detector - 1];
}

Result<CorrectionSetup> makeCorrections(const ImHeader& h, const CorrectionSettings& settings)
{
    CorrectionSetup setup;
    if (!settings.any())
        return setup;
    if (settings.deadTime && !h.deadTimesRecorded && !settings.deadTimeAllNs &&
        settings.deadTimeNs.isEmpty())
        return Failure{QStringLiteral("This file records no dead times: dead-time correction is "
                                      "possible only with dead times given by hand.")};
    auto corrections = std::make_shared<Corrections>();
    corrections->settings = settings;
    corrections->runs.resize(1);
    QStringList uncorrected;
    for (int s = 0; s < h.counting.size(); ++s) {
        CountCorrection c;
        c.dwellSeconds = dwellSeconds(h, s);
        if (!h.counting[s].secondaryElectrons) {
            if (settings.deadTime) {
                std::optional<double> tau = settings.deadTimeAllNs;
                if (settings.deadTimeNs.contains(s))
                    tau = settings.deadTimeNs.value(s);
                if (!tau) {
                    if (const std::optional<int> recorded = recordedDeadTimeNs(h, s))
                        tau = *recorded;
                }
                if (tau && *tau > 0)
                    c.deadTimeNs = *tau;
                else
                    uncorrected << h.species.value(s);
            }
            if (settings.qsa) {
                c.qsaBeta = settings.qsaBeta.value(s, 0);
                c.primaryCurrentPa = settings.primaryCurrentPa;
            }
        }
        corrections->runs.front().species.push_back(c);
    }
    if (!uncorrected.isEmpty())
        setup.notes << QStringLiteral("No dead time is known for %1: its counts stay uncorrected.")
                           .arg(uncorrected.join(QStringLiteral(", ")));
    setup.corrections = std::move(corrections);
    return setup;
}

Result<CorrectionSetup> makeCorrections(const ImFile& file, const CorrectionSettings& settings)
{
    CorrectionSetup setup;
    if (!file.isOpen() || !settings.any())
        return setup;
    auto corrections = std::make_shared<Corrections>();
    corrections->settings = settings;
    const bool chained = file.runs().size() > 1;
    for (const ImFile::Run& run : file.runs()) {
        const Result<CorrectionSetup> ofRun = makeCorrections(run.header, settings);
        const QString prefix = chained ? run.header.fileName + QStringLiteral(": ") : QString();
        if (!ofRun)
            return Failure{prefix + ofRun.error().message};
        for (const QString& note : ofRun->notes)
            setup.notes << prefix + note;
        corrections->runs.push_back({run.firstLayer, ofRun->corrections->runs.front().species});
    }
    setup.corrections = std::move(corrections);
    return setup;
}

} // namespace isolumen
