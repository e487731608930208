#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <array>

// The little state that several windows share for the whole run: the frame side of the open
// file, the species handed to the next image window, and where each species' window opens.
// The colour table catalogue lives in colour/catalogue.h, frame addressing in rawfile/.
namespace Globals {

// Side in pixels of the frames of the open file; 0 until a file with a frame size the viewer
// can show has been opened.
inline int PSize = 0;

// Species index (0 to 7) handed to the image window that is about to open.
inline int AssignID = 0;

// Remembered top-left corner of each species' image window (index 8 is never used).
inline std::array<int, 9> ImageTop{};
inline std::array<int, 9> ImageLeft{};

struct ImagePositions
{
    std::array<int, 8> top{};
    std::array<int, 8> left{};
};

// Default places of the eight image windows: two rows of four to the right of the main window
// of width mainWidth, in the screen's available area.
ImagePositions defaultImagePositions(const QRect& available, int mainWidth);

// Whether a font family of that name is installed.
bool FontAvailable(const QString& name);

// The font family for text drawn into pictures (axis labels, scale bar). The first installed of
// the preferred names; else the platform's own sans-serif family. Only when no font at all can
// be found does it say "Is there no sans serif font installed?" (once per run) and return an
// empty name, which leaves the default font in use.
QString SansSerifFont();

// The choice itself, apart from the font database, so that it can be checked for any set of
// installed families. Returns an empty name when installed is empty.
QString chooseSansSerif(const QStringList& installed, const QString& platformSansSerif);

} // namespace Globals
