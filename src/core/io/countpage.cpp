#include "core/io/countpage.h"

#include "core/model/acquisition.h"

#include <memory>

namespace isolumen {

CountPage countPage(const Plane& plane, std::optional<CountType> as)
{
    CountPage page;
    std::visit(
        [&](const auto& values) {
            using T = typename std::decay_t<decltype(values)>::value_type;
            if (as == CountType::Float32) {
                page.type = CountType::Float32;
                page.converted32.assign(values.begin(), values.end());
                page.samples = page.converted32.data();
                return;
            }
            page.samples = values.data();
            if constexpr (std::is_same_v<T, double>) {
                page.type = CountType::Float64;
                return;
            }
            if (as == CountType::Float64) {
                page.type = CountType::Float64;
                page.converted64.assign(values.begin(), values.end());
                page.samples = page.converted64.data();
            } else if constexpr (std::is_same_v<T, quint16>) {
                page.type = CountType::UInt16;
            } else {
                page.type = CountType::UInt32;
            }
        },
        plane.samples);
    return page;
}

std::optional<CountType> exportType(const PlaneRequest& like, int fileBytesPerSample, qint64 pages)
{
    if (like.source.ratio)
        return CountType::Float32;
    if (like.corrections || like.alignment)
        return like.isSum() ? CountType::Float64 : CountType::Float32;
    if (like.isSum() && fileBytesPerSample == 4 && pages > 1)
        return CountType::Float64;
    return std::nullopt;
}

// A writer that fails leaves nothing behind.
Result<> writeCountTiff(const QString& path, const CountStack& stack, const PlaneRequest& like,
                        int fileBytesPerSample,
                        const std::function<Result<PlanePtr>(int i)>& planes)
{
    std::optional<CountType> type = exportType(like, fileBytesPerSample, stack.pages());
    std::unique_ptr<CountTiffWriter> writer;
    for (int i = 0; i < stack.pages(); ++i) {
        const Result<PlanePtr> plane = planes(i);
        if (!plane || !*plane)
            return Failure{QStringLiteral("Cannot write %1: %2")
                               .arg(path, plane ? QString() : plane.error().message)};
        const CountPage page = countPage(**plane, type);
        if (!writer) {
            type = page.type;
            writer = std::make_unique<CountTiffWriter>(path, stack, page.type);
        }
        if (!writer->addPage(page.type, page.samples))
            return Failure{writer->error()};
    }
    if (!writer)
        return Failure{QStringLiteral("No page was written to %1.").arg(path)};
    if (!writer->commit())
        return Failure{writer->error()};
    return {};
}

} // namespace isolumen
