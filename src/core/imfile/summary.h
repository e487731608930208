#pragma once

#include <QList>
#include <QString>

namespace isolumen {

class ImFile;
struct ImHeader;

// The acquisition summary as captions and texts: the main window's details area and the lines
// of `--info` are made from the same rows.
struct SummaryRow
{
    QString caption; // "File Size:"
    QString text;    // "2,622,440 bytes"
};

// Frame size and field size, the two texts of the main window's headline.
QString pixelSizeText(const ImHeader& h);  // "256 x 256"
QString micronSizeText(const ImHeader& h); // "20.0 µm"

// The detail rows in their order, from "Original Name:" to "Number of Species:", then one row
// per species ("Species 1:" ...). completePlanes is the number of layers the file holds whole;
// when it is fewer than the header's planes, "Complete Planes:" follows "Number of Planes:".
QList<SummaryRow> detailRows(const ImHeader& h, int completePlanes);
// The rows of an open file: those of the first file's header, but for a chain of runs
// "Number of Planes:" counts the planes of every file, and one row per further file follows:
// "Appended:" "NAME (N planes)".
QList<SummaryRow> detailRows(const ImFile& file);

// One row per species with the dead time of its detector: "Dead Time 1:" "44 ns", or "-" for
// secondary electrons and where the file records none.
QList<SummaryRow> deadTimeRows(const ImHeader& h);

} // namespace isolumen
