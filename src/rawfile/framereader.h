#pragma once

#include <QDataStream>
#include <cstddef>
#include <optional>
#include <vector>

class QIODevice;

// One loaded frame, as the image window holds it: side x side samples in display order.
struct Plane
{
    int side = 0;
    // Row-major in display order: the sample shown in column c and row r (0-based from the top
    // left) is samples[r * side + c].
    std::vector<double> samples;
    double min = 0; // smallest sample
    double max = 0; // largest sample, raised by 1 for a flat plane so that min < max

    double at(int c, int r) const { return samples[std::size_t(r) * side + c]; }
};

struct SampleFormat
{
    int bytesPerSample = 2; // 2: unsigned 16-bit; 4: unsigned 32-bit
    QDataStream::ByteOrder byteOrder = QDataStream::BigEndian;
};

// Reads the side x side frame that starts at byte offset. Each file row becomes a picture row,
// top to bottom, and the first sample of a file row is shown at the right-hand end. The frame
// is read with one bulk read; samples that lie past the end of a short file read as 0.
// Absent when side is not positive or the memory for the frame cannot be had.
std::optional<Plane> readPlane(QIODevice& device, qint64 offset, int side, SampleFormat format);

// The same read into a plane that already exists, reusing its memory: a layer switch then
// allocates nothing. Returns false, leaving into unchanged, when side is not positive or the
// memory cannot be had.
bool readPlaneInto(QIODevice& device, qint64 offset, int side, SampleFormat format, Plane& into);
