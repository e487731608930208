#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

// The sample types of count pages: unsigned 16 and 32 bit, and 32 and 64 bit floating point
// (NaN where a page has no value).
enum class CountType { UInt16, UInt32, Float32, Float64 };

// Writes raw counts (not colours) as a multi-page TIFF through libtiff, one page at a time, so
// that a caller never holds more than the page it adds. Every page is side x side samples with
// the caller's ImageDescription and the field's calibration: XResolution and YResolution in
// pixels per centimetre, unit centimetre, which tifffile and ImageJ/Fiji show as micrometres
// per pixel. Owns a temporary file next to the target and the libtiff handle on it; commit()
// puts the finished file in place. A writer that fails or is destroyed before commit() leaves
// no file and no temporary file behind, and an older file of that name untouched.
class CountTiffWriter
{
public:
    // micronSize is the width of the field in micrometres (the pages are uncalibrated when it is
    // not a positive number); expectedBytes, the samples of all pages together, decides between
    // classic TIFF and BigTIFF.
    CountTiffWriter(const QString& path, double micronSize, int side, qint64 expectedBytes);
    ~CountTiffWriter();
    CountTiffWriter(const CountTiffWriter&) = delete;
    CountTiffWriter& operator=(const CountTiffWriter&) = delete;

    // Adds a page of side * side samples of type, row-major as shown (the top row first).
    // Returns false, with error(), on failure; every later call then fails too.
    bool addPage(CountType type, const void* samples, const QString& description);
    // Finishes the file and gives it its name. Returns false, with error(), on failure or when
    // no page was added; nothing is left behind then.
    bool commit();
    // Why the last call failed; empty while all went well.
    QString error() const;

private:
    struct State;
    std::unique_ptr<State> d;
};
