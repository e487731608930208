#pragma once

#include "app/planeoptions.h"
#include "core/result.h"

#include <QImage>
#include <optional>
#include <variant>

class QCommandLineParser;

namespace isolumen {

// --export OUT FILE --overlay SRC,SRC[,SRC] [--overlay-colours rgb|mgc]
// [--overlay-range LOW:HIGH,...]: a composite of two or three sources (a species 2, a sum 1+2
// or a ratio 2/1), each in its colour over its range (its own minimum to maximum where none is
// given), in the layers --plane, --layers or --sum choose.
void addOverlayOptions(QCommandLineParser& parser);
bool isOverlayRequested(const QCommandLineParser& parser);

// Why the options around --overlay do not fit it, checked before any file is read.
Result<> overlayOptionsProblem(const QCommandLineParser& parser);

// The overlay picture, side x side pixels, for the open acquisition with the choice in force.
Result<QImage> overlayPictureOf(const QCommandLineParser& parser, const PlaneChoice& choice,
                                const Acquisition& acquisition);

} // namespace isolumen
