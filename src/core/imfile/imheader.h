#pragma once

#include <QDataStream>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <initializer_list>
#include <optional>

class QIODevice;

namespace isolumen {

// What the mass table records of one species for counting corrections.
struct SpeciesCounting
{
    qint32 trolley = 0;              // the detector's trolley index
    double mass = 0;                 // amu
    double countTime = 0;            // seconds of counting per layer; 0 when not recorded
    bool secondaryElectrons = false; // trolley 8, or mass 0 with an empty label
    // The detector (1 to 7) whose dead time applies; 0 for none (secondary electrons, unknown
    // trolleys).
    int detector() const;
};

// The values of an accepted raw image header. Every field starts at zero or empty, so a
// half-read header never holds garbage.
struct ImHeader
{
    qint64 fileSize = 0; // the true 64-bit length of the file
    QString date;        // as shown: "05-Mar-2007, 14:30"
    qint32 headerSize = 0;
    qint32 speciesCount = 0; // as recorded; may be absurd in a damaged file
    QString fileName;        // the name the user sees
    QString originalName;
    QString userName;
    qint32 speciesCount2 = 0; // the second count of the image block; kept, not used
    qint32 positionX = 0;
    qint32 positionY = 0;
    qint32 duration = 0; // seconds
    QString sampleName;
    qint32 imageType = 0;
    qint32 pixelWidth = 0;
    qint32 pixelHeight = 0;
    qint32 pixelDepth = 0; // bytes per sample as recorded
    qint32 planeCount = 0;
    qint32 nmSize = 0; // side of the field in nanometres
    QString originalName2;
    // Species labels, one per species up to kMaxSpecies; an empty last label reads "S.E.".
    QStringList species;
    QList<SpeciesCounting> counting; // one per species of `species`
    // The dead times of detectors 1 to 7 in ns, where the file records them: absent for all when
    // the analysis parameters are missing, for 6 and 7 when their second block is.
    std::array<std::optional<int>, 7> deadTimesNs{};
    bool deadTimesRecorded = false;
    // Side of the field in micrometres, rounded to 0.1: for the texts and the scale bar only.
    // Every measured quantity takes micronsPerPixel() instead.
    double micronSize = 0;
    qint64 frameSize = 0; // pixelWidth x pixelHeight x bytes per sample

    // How the image data is stored. Files of the classic layout are big-endian with two bytes
    // per sample; later instrument software writes little-endian files and 4-byte samples.
    QDataStream::ByteOrder byteOrder = QDataStream::BigEndian;
    int bytesPerSample = 2;

    // Labels are read for at most this many species: instruments have far fewer detectors,
    // and a damaged count must not make the summary endless.
    static constexpr int kMaxSpecies = 64;
    // The main window has buttons and detail rows for this many species.
    static constexpr int kButtonSpecies = 8;

    // Species with a label and frames the viewer can address.
    int usableSpecies() const { return int(species.size()); }

    // The side of a pixel in micrometres, from the field as recorded in nanometres: the one
    // calibration of the readout, region areas, profiles, count TIFFs and CSV. 0 when the
    // header gives no field or no width.
    double micronsPerPixel() const
    {
        return nmSize > 0 && pixelWidth > 0 ? nmSize / 1000.0 / pixelWidth : 0;
    }
};

// What reading a header gives: its values, the frame side and what to tell the user.
struct HeaderReadResult
{
    // Absent when the file is refused as not being a raw image file.
    std::optional<ImHeader> header;
    // Side of the square frames when the viewer can show them (64 to 2048), else absent.
    std::optional<int> frameSide;
    // Inconsistencies to tell the user, in the order they were found.
    QStringList messages;
};

// Checks and reads the header of a raw image file. device must be open for reading; length is
// its size in bytes and displayName the name the user sees. Reads never go before the start or
// past the end of the file: bytes beyond the end read as zero.
HeaderReadResult readImHeader(QIODevice& device, qint64 length, const QString& displayName);

// Acquisition date text from the header's date field ("05.03.07" -> "05-Mar-2007").
QString dateText(const QString& dateField);

// Byte offset of the frame of a species in a plane, both counted from 1. 64-bit, so frames of
// acquisitions of several GB are addressed right. Callers keep both in range; -1 when a damaged
// header's counts would put the frame beyond any 64-bit offset.
qint64 framePosition(const ImHeader& h, int species, int plane);

// The product of the factors, or nothing when it does not fit 64 bits.
std::optional<qint64> product(std::initializer_list<qint64> factors);

} // namespace isolumen
