#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <memory>

namespace isolumen {

// The sample types of count pages: unsigned 16 and 32 bit, and 32 and 64 bit floating point
// (NaN where a page has no value).
enum class CountType { UInt16, UInt32, Float32, Float64 };

int bytesPerSample(CountType type);

// The pages of a count TIFF: side x side samples of one type each, `layers` layers of `species`
// pages, layer by layer, the species in order within a layer (the order of an ImageJ
// hyperstack), each with its text.
struct CountStack
{
    int side = 0;
    double micronsPerPixel = 0; // 0 or less: uncalibrated
    int species = 1;
    int layers = 1;
    QStringList names; // each page's text, in page order

    qint64 pages() const { return qint64(species) * layers; }
};

// Writes raw counts (not colours) as a multi-page TIFF through libtiff, one page at a time, so
// that a caller never holds more than the page it adds. Every page's directory is written first
// and the samples of the pages follow one another, as ImageJ reads a stack: from the first
// page's samples on, without looking at the other directories. A single page carries its text
// as its ImageDescription and its calibration in pixels per centimetre, the plain TIFF way. A
// stack opens in ImageJ/Fiji and tifffile as a hyperstack (channels the species, slices the
// layers): its first ImageDescription is ImageJ's, its resolution is in pixels per micrometre
// with no unit (ImageJ takes "unit=micron" from the description and the pixel size as
// 1 / XResolution whatever the unit tag says), and each page's text is its PageName. Owns a
// temporary file next to the target and the libtiff handle on it; commit() puts the finished
// file in place. A writer that fails or is destroyed before commit() leaves no file and no
// temporary file behind, and an older file of that name untouched.
class CountTiffWriter
{
public:
    // Every page of the stack holds samples of type; more than 4 GB of them makes a BigTIFF.
    CountTiffWriter(const QString& path, const CountStack& stack, CountType type);
    ~CountTiffWriter();
    CountTiffWriter(const CountTiffWriter&) = delete;
    CountTiffWriter& operator=(const CountTiffWriter&) = delete;

    // Adds the next page: side * side samples of type (the stack's), row-major as shown (the top
    // row first). Returns false, with error(), on failure; every later call then fails too.
    bool addPage(CountType type, const void* samples);
    // Finishes the file and gives it its name. Returns false, with error(), on failure or when
    // fewer pages were added than the stack holds; nothing is left behind then.
    bool commit();
    // Why the last call failed; empty while all went well.
    QString error() const;

private:
    struct State;
    std::unique_ptr<State> d;
};

} // namespace isolumen
