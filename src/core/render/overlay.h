#pragma once

#include <QImage>
#include <QList>
#include <QRgb>

struct Plane;

namespace isolumen {

// Composite pictures of two or three sources, each drawn in a colour of its own.

// One source of an overlay: its plane, its colour and the range that maps it from 0 (low) to
// 1 (high).
struct OverlayChannel
{
    const Plane* plane = nullptr;
    QRgb colour = 0;
    double low = 0;
    double high = 1;
};

// The colour sets offered: red, green, blue; or magenta, green, cyan, which readers with a
// red-green colour vision deficiency tell apart.
enum class OverlayColours { RedGreenBlue, MagentaGreenCyan };
QList<QRgb> overlayColours(OverlayColours set);

// The overlay picture, side x side pixels as shown (no frame): each component is the sum over
// the channels of the channel colour's component times the channel's mapped value, clamped to
// 255. A pixel where a source has no value takes nothing from it. The channels' planes must
// have the same side; null when there is no channel.
QImage overlayPicture(const QList<OverlayChannel>& channels);

} // namespace isolumen
