#pragma once

#include <utility>

namespace isolumen {

// The store behind the seams of ui/dialogs.h, shared by the files that define them.
namespace Dialogs::seams {

// The function in force for a seam of type Seam: one per type, the default until replaced.
template <typename Seam> Seam& slot(Seam fallback)
{
    static Seam current = std::move(fallback);
    return current;
}

template <typename Seam> Seam replace(Seam seam, Seam fallback)
{
    Seam& current = slot(fallback);
    Seam previous = std::move(current);
    current = seam ? std::move(seam) : std::move(fallback);
    return previous;
}

} // namespace Dialogs::seams

} // namespace isolumen
