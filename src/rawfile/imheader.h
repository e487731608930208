#pragma once

#include <QDataStream>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <initializer_list>
#include <optional>

class QIODevice;

// The values of an accepted raw image header, as the main window holds and shows them.
// Every field starts at zero or empty, so a half-read header never holds garbage.
struct ImHeader
{
    qint64 FileSize = 0; // the true 64-bit length of the file
    QString Date;
    qint32 HeaderSize = 0;
    qint32 Nspecies = 0;
    QString FileName;
    QString OrigName;
    QString UserName;
    qint32 Nspecies2 = 0;
    qint32 PositionX = 0;
    qint32 PositionY = 0;
    qint32 Duration = 0;
    QString SampleName;
    qint32 ImageType = 0;
    qint32 PixelWidth = 0;
    qint32 PixelHeight = 0;
    qint32 PixelDepth = 0;
    qint32 Nplanes = 0;
    qint32 nmSize = 0;
    QString OrigName2;
    std::array<QString, 8> Species{};
    double micronSize = 0;
    qint64 FrameSize = 0; // PixelWidth x PixelHeight x bytes per sample

    // How the image data is stored. Files of the classic layout are big-endian with two bytes
    // per sample; later instrument software writes little-endian files and 4-byte samples.
    QDataStream::ByteOrder byteOrder = QDataStream::BigEndian;
    int bytesPerSample = 2;

    // Number of species the viewer shows (at most eight).
    int shownSpecies() const;
    // Whether the file holds any frame to show: planes and species recorded and data after the
    // header. Header-only files are summarised but open no image window.
    bool hasFrames() const;
};

struct HeaderReadResult
{
    // Absent when the file is refused as not being a raw image file.
    std::optional<ImHeader> header;
    // Side of the square frames when the viewer can show them (64 to 2048), else absent.
    std::optional<int> frameSide;
    // Inconsistencies to tell the user, in the order they were found.
    QStringList messages;
};

// Checks and reads the header of a raw image file. device must be open for reading; length is
// its size in bytes and displayName the name the user sees. Reads never go before the start or
// past the end of the file: bytes beyond the end read as zero.
HeaderReadResult readImHeader(QIODevice& device, qint64 length, const QString& displayName);

// Acquisition date text from the header's date field ("05.03.07" -> "05-Mar-2007").
QString dateText(const QString& dateField);

// One caption of the summary with the text shown beside it.
struct SummaryRow
{
    QString control; // name of the label that shows the text
    QString caption; // caption beside it, empty for the two headline fields
    QString text;
};

// Frame size and field size, the two texts of the main window's headline.
QString pixelSizeText(const ImHeader& h);  // "256 x 256"
QString micronSizeText(const ImHeader& h); // "20.0 µm"

// The rows of the details area in their order, from "Original Name:" to "Number of Species:",
// then one row per shown species ("Species 1:" ...).
QList<SummaryRow> detailRows(const ImHeader& h);

// Byte offset of the frame of a species in a plane, both counted from 1. 64-bit, so frames of
// acquisitions of several GB are addressed right. Callers keep both in range; -1 when a damaged
// header's counts would put the frame beyond any 64-bit offset.
qint64 Position(const ImHeader& h, int species, int plane);

// The product of the factors, or nothing when it does not fit 64 bits.
std::optional<qint64> product(std::initializer_list<qint64> factors);
