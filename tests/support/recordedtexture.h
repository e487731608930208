#pragma once

#include "core/model/acquisition.h"
#include "driftstack.h"

#include <QDir>
#include <QString>
#include <utility>
#include <vector>

namespace isolumen {

// Gives the drift case the 12C plane of the recorded acquisition 040702 as its texture, when the
// folder of recorded files holds it; else leaves the case's synthesized texture. True when used.
inline bool useRecordedTexture(DriftCase& c, const QString& folderPath)
{
    static const std::pair<std::vector<float>, int> recorded = [&folderPath] {
        const QDir folder(folderPath);
        const QStringList named = folder.entryList({QStringLiteral("*040702*.im")}, QDir::Files);
        const QString path = named.isEmpty() ? QString() : folder.filePath(named.first());
        Acquisition a;
        if (path.isEmpty() || a.open(path) != ImFile::Status::Accepted || !a.frameSide())
            return std::pair<std::vector<float>, int>{};
        const Result<PlaneResult> r = a.plane(a.request(PlaneSource{}));
        if (!r)
            return std::pair<std::vector<float>, int>{};
        const int side = r->shown->side;
        std::vector<float> v(std::size_t(side) * side);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                v[std::size_t(y) * side + x] = float(r->shown->value(x, y));
        return std::pair{v, side};
    }();
    c.texture = recorded.first;
    c.textureSide = recorded.second;
    return !c.texture.empty();
}

} // namespace isolumen
