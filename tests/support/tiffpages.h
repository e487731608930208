#pragma once

// Count TIFFs read back through libtiff, page by page, for the tests of --export-counts and
// "Export Counts...". Link libtiff to use it.

#include <QFile>
#include <QList>
#include <cstring>
#include <tiffio.h>
#include <vector>

namespace isolumen {

namespace TiffPages {

struct Page
{
    uint16_t bits = 0;
    uint16_t format = 0; // SAMPLEFORMAT_UINT 1, SAMPLEFORMAT_IEEEFP 3
    float xResolution = 0;
    float yResolution = 0;
    uint16_t unit = 0;          // RESUNIT_NONE 1, RESUNIT_CENTIMETER 3
    QByteArray description;     // ImageDescription
    std::vector<double> values; // row by row
};

// Every page of the file; none when libtiff cannot open it.
inline QList<Page> read(const QString& path)
{
    QList<Page> pages;
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    for (bool more = tiff != nullptr; more; more = TIFFReadDirectory(tiff)) {
        Page p;
        uint32_t width = 0, height = 0;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &p.bits);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &p.format);
        TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &p.xResolution);
        TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &p.yResolution);
        TIFFGetField(tiff, TIFFTAG_RESOLUTIONUNIT, &p.unit);
        const char* text = nullptr;
        if (TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &text) && text)
            p.description = text;
        std::vector<uchar> line(size_t(TIFFScanlineSize(tiff)));
        const auto sample = [&](auto type, uint32_t x) {
            std::memcpy(&type, line.data() + sizeof(type) * x, sizeof(type));
            return double(type);
        };
        const bool real = p.format == SAMPLEFORMAT_IEEEFP;
        for (uint32_t y = 0; y < height && TIFFReadScanline(tiff, line.data(), y) == 1; ++y) {
            for (uint32_t x = 0; x < width; ++x)
                p.values.push_back(p.bits == 16   ? sample(quint16(), x)
                                   : p.bits == 64 ? sample(double(), x)
                                   : real         ? sample(float(), x)
                                                  : sample(quint32(), x));
        }
        pages << p;
    }
    if (tiff)
        TIFFClose(tiff);
    return pages;
}

} // namespace TiffPages

} // namespace isolumen
