#pragma once

#include "core/io/counttiff.h"
#include "core/model/plane.h"

#include <QString>
#include <functional>
#include <vector>

// A plane's values as a page of a count TIFF: counts in their own integer type (a layer as the
// file stores it, a sum in 32 bits), a sum too large for 32 bits as 64-bit float, and values
// that are not whole numbers (asReal: ratios, corrected or shifted counts) as 32-bit float with
// NaN for no value. Owns the converted samples where a conversion was needed.
struct CountPage
{
    CountType type = CountType::UInt16;
    const void* samples = nullptr;
    std::vector<float> converted;

    static qint64 bytesPerSample(CountType type);
};

CountPage countPage(const Plane& plane, bool asReal);

// Writes `count` pages of side x side values as a count TIFF at path, complete or nothing.
// pages(i, ...) gives the plane and description of page i, or false with the reason in error.
// mayNeedDoubles: whether a page can be a sum too large for 32 bits (it decides between classic
// TIFF and BigTIFF with the page sizes).
bool writeCountTiff(
    const QString& path, double micronSize, int side, int count, bool asReal, bool mayNeedDoubles,
    const std::function<bool(int i, PlanePtr& plane, QString& description, QString& error)>& pages,
    QString* error);
