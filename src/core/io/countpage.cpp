#include "core/io/countpage.h"

qint64 CountPage::bytesPerSample(CountType type)
{
    switch (type) {
    case CountType::UInt16:
        return 2;
    case CountType::UInt32:
    case CountType::Float32:
        return 4;
    case CountType::Float64:
        return 8;
    }
    return 8;
}

CountPage countPage(const Plane& plane, bool asReal)
{
    CountPage page;
    std::visit(
        [&](const auto& values) {
            using T = typename std::decay_t<decltype(values)>::value_type;
            if (asReal) {
                page.type = CountType::Float32;
                page.converted.assign(values.begin(), values.end());
                page.samples = page.converted.data();
                return;
            }
            page.samples = values.data();
            if constexpr (std::is_same_v<T, quint16>)
                page.type = CountType::UInt16;
            else if constexpr (std::is_same_v<T, quint32>)
                page.type = CountType::UInt32;
            else
                page.type = CountType::Float64;
        },
        plane.samples);
    return page;
}

bool writeCountTiff(const QString& path, double micronSize, int side, int count, bool asReal,
                    bool mayNeedDoubles,
                    const std::function<bool(int, PlanePtr&, QString&, QString&)>& pages,
                    QString* error)
{
    const qint64 perSample = asReal ? 4 : mayNeedDoubles ? 8 : 4;
    CountTiffWriter writer(path, micronSize, side, qint64(count) * side * side * perSample);
    for (int i = 0; i < count; ++i) {
        PlanePtr plane;
        QString description;
        QString why;
        if (!pages(i, plane, description, why) || !plane) {
            if (error)
                *error = QStringLiteral("Cannot write %1: %2").arg(path, why);
            return false; // the writer leaves nothing behind
        }
        const CountPage page = countPage(*plane, asReal);
        if (!writer.addPage(page.type, page.samples, description)) {
            if (error)
                *error = writer.error();
            return false;
        }
    }
    if (!writer.commit()) {
        if (error)
            *error = writer.error();
        return false;
    }
    return true;
}
