#include "core/io/counttiff.h"

#include "core/io/replacingfile.h"

#include <QFile>
#include <cmath>
#include <tiffio.h>

namespace isolumen {

namespace {

// The file libtiff writes: the temporary file, and the first reason the system gave for a
// failed write or seek ("No space left on device"), which says more than libtiff's own words.
struct TiffTarget
{
    explicit TiffTarget(const QString& path) : replacing(path) {}
    ReplacingFile replacing;
    QFile& file = replacing.device();
    QString ioError;
};

tmsize_t readFile(thandle_t handle, void* data, tmsize_t size)
{
    return static_cast<TiffTarget*>(handle)->file.read(static_cast<char*>(data), size);
}

tmsize_t writeFile(thandle_t handle, void* data, tmsize_t size)
{
    TiffTarget* target = static_cast<TiffTarget*>(handle);
    const qint64 written = target->file.write(static_cast<const char*>(data), size);
    if (written != size && target->ioError.isEmpty())
        target->ioError = target->file.errorString();
    return written;
}

toff_t seekFile(thandle_t handle, toff_t offset, int whence)
{
    QFile& file = static_cast<TiffTarget*>(handle)->file;
    const qint64 base = whence == SEEK_CUR ? file.pos() : whence == SEEK_END ? file.size() : 0;
    const qint64 to = base + qint64(offset);
    return to >= 0 && file.seek(to) ? toff_t(to) : toff_t(-1);
}

toff_t fileSize(thandle_t handle)
{
    return toff_t(static_cast<TiffTarget*>(handle)->file.size());
}

int keepFileOpen(thandle_t)
{
    return 0;
}

int noMapping(thandle_t, void**, toff_t*)
{
    return 0;
}

void noUnmapping(thandle_t, void*, toff_t) {}

struct TiffCleanup
{
    // Frees the handle without writing anything more into the file.
    void operator()(TIFF* tiff) const { TIFFCleanup(tiff); }
};

// Classic TIFF addresses 4 GiB; BigTIFF is used only for samples within an eighth of that,
// the eighth left for page directories and descriptions.
constexpr qint64 kClassicSampleLimit = (qint64(1) << 32) / 8 * 7;

constexpr double kMicronsPerCm = 1e4;

// The description by which ImageJ/Fiji and tifffile know a hyperstack: the version field comes
// first and must be one ImageJ accepts; no spacing, for the layers are not a z distance.
QByteArray imageJDescription(const CountStack& stack)
{
    return QStringLiteral("ImageJ=1.11a\nimages=%1\nchannels=%2\nslices=%3\nhyperstack=true\n"
                          "mode=grayscale\nunit=micron\n")
        .arg(stack.pages())
        .arg(stack.species)
        .arg(stack.layers)
        .toUtf8();
}

// The tags of a page's layout: one uncompressed strip of side x side samples of type.
bool setLayout(TIFF* tiff, int side, CountType type)
{
    const bool isFloat = type == CountType::Float32 || type == CountType::Float64;
    const int bytes = bytesPerSample(type);
    return TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE) &&
           TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(side)) &&
           TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(side)) &&
           TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1) &&
           TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8 * bytes) &&
           TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT,
                        isFloat ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT) &&
           TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) &&
           TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
           TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
           TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(side));
}

// A page's texts and calibration: a single page plainly, a stack's pages as ImageJ reads them.
bool setTextsAndCalibration(TIFF* tiff, const CountStack& stack, int page)
{
    const bool isStack = stack.pages() > 1;
    const QByteArray name = stack.names.value(page).toUtf8();
    bool ok = true;
    if (isStack && page == 0)
        ok = TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, imageJDescription(stack).constData());
    if (ok && !name.isEmpty())
        ok = TIFFSetField(tiff, isStack ? TIFFTAG_PAGENAME : TIFFTAG_IMAGEDESCRIPTION,
                          name.constData());
    if (!ok || !(stack.micronsPerPixel > 0) || !std::isfinite(stack.micronsPerPixel))
        return ok;
    const double perUnit = (isStack ? 1 : kMicronsPerCm) / stack.micronsPerPixel;
    return TIFFSetField(tiff, TIFFTAG_XRESOLUTION, perUnit) &&
           TIFFSetField(tiff, TIFFTAG_YRESOLUTION, perUnit) &&
           TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, isStack ? RESUNIT_NONE : RESUNIT_CENTIMETER);
}

// Writes the directories of every page with their strip places left open: the samples, written
// after them, then lie one page after the other.
bool writeDirectories(TIFF* tiff, const CountStack& stack, CountType type)
{
    for (int p = 0; p < stack.pages(); ++p) {
        if (!setLayout(tiff, stack.side, type) || !setTextsAndCalibration(tiff, stack, p) ||
            !TIFFDeferStrileArrayWriting(tiff) || !TIFFWriteCheck(tiff, 0, "CountTiffWriter") ||
            !TIFFWriteDirectory(tiff))
            return false;
    }
    return true;
}

} // namespace

int bytesPerSample(CountType type)
{
    switch (type) {
    case CountType::UInt16:
        return 2;
    case CountType::UInt32:
    case CountType::Float32:
        return 4;
    case CountType::Float64:
        break;
    }
    return 8;
}

struct CountTiffWriter::State
{
    explicit State(const QString& path) : path(path), target(path) {}

    QString path;
    CountStack stack;
    CountType type = CountType::UInt16;
    int pages = 0; // added so far
    QString error;
    QString libtiffError;
    TiffTarget target;                       // declared before tiff, so destroyed after it
    std::unique_ptr<TIFF, TiffCleanup> tiff; // null once failed or committed

    // Drops the handle and the temporary file at once. The error names the file once and gives
    // the system's reason, else libtiff's, else why.
    bool fail(const QString& why)
    {
        if (error.isEmpty()) {
            const QString reason = !target.ioError.isEmpty() ? target.ioError
                                   : !libtiffError.isEmpty() ? libtiffError
                                                             : why;
            error = QStringLiteral("Cannot write %1: %2").arg(path, reason);
        }
        tiff.reset();
        target.replacing.cancel();
        return false;
    }

    // Keeps libtiff's first complaint, and off standard error.
    static int onError(TIFF*, void* state, const char* module, const char* format, va_list args)
    {
        QString& error = static_cast<State*>(state)->libtiffError;
        if (error.isEmpty())
            error = QStringLiteral("%1: %2").arg(QString::fromUtf8(module),
                                                 QString::vasprintf(format, args));
        return 1;
    }
    static int ignoreWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }
};

CountTiffWriter::CountTiffWriter(const QString& path, const CountStack& stack, CountType type)
    : d(std::make_unique<State>(path))
{
    d->stack = stack;
    d->type = type;
    if (stack.side <= 0 || stack.species < 1 || stack.layers < 1) {
        d->fail(QStringLiteral("%1 species x %2 layers of %3 x %3 samples cannot be written.")
                    .arg(stack.species)
                    .arg(stack.layers)
                    .arg(stack.side));
        return;
    }
    // In the target's folder, so that commit() is a rename within one file system.
    if (!d->target.replacing.open()) {
        d->fail(d->target.replacing.errorString());
        return;
    }
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, &State::onError, d.get());
    TIFFOpenOptionsSetWarningHandlerExtR(options, &State::ignoreWarning, nullptr);
    // "c": a directory read back to add its samples keeps its one strip.
    const qint64 bytes = stack.pages() * stack.side * stack.side * bytesPerSample(type);
    const char* mode = bytes > kClassicSampleLimit ? "w8c" : "wc";
    d->tiff.reset(TIFFClientOpenExt(QFile::encodeName(path).constData(), mode, &d->target, readFile,
                                    writeFile, seekFile, keepFileOpen, fileSize, noMapping,
                                    noUnmapping, options));
    TIFFOpenOptionsFree(options);
    if (!d->tiff)
        d->fail(QStringLiteral("libtiff cannot start the file."));
    else if (!writeDirectories(d->tiff.get(), stack, type))
        d->fail(QStringLiteral("the pages' directories could not be written."));
}

CountTiffWriter::~CountTiffWriter()
{
    d->tiff.reset(); // before the temporary file goes with the state
}

bool CountTiffWriter::addPage(CountType type, const void* samples)
{
    TIFF* tiff = d->tiff.get();
    if (!tiff)
        return d->fail(QStringLiteral("the file was already finished or failed."));
    if (!samples || type != d->type)
        return d->fail(
            QStringLiteral("page %1 has no samples of the stack's type.").arg(d->pages + 1));
    if (d->pages >= d->stack.pages())
        return d->fail(
            QStringLiteral("it holds %1 pages; no more can be added.").arg(d->stack.pages()));
    // Back to the page's directory (the next one after the first), its one uncompressed strip
    // appended at the end of the file, in the machine's byte order, in which libtiff writes the
    // samples as they are (it never changes them); then the strip's place goes into the
    // directory.
    const qint64 pageBytes = qint64(d->stack.side) * d->stack.side * bytesPerSample(type);
    const bool ok = (d->pages == 0 ? TIFFSetDirectory(tiff, 0) : TIFFReadDirectory(tiff)) &&
                    TIFFWriteEncodedStrip(tiff, 0, const_cast<void*>(samples),
                                          tmsize_t(pageBytes)) == pageBytes &&
                    TIFFForceStrileArrayWriting(tiff);
    if (!ok)
        return d->fail(QStringLiteral("page %1 could not be written.").arg(d->pages + 1));
    ++d->pages;
    return true;
}

bool CountTiffWriter::commit()
{
    if (!d->tiff)
        return d->fail(QStringLiteral("the file was already finished or failed."));
    if (d->pages != d->stack.pages())
        return d->fail(
            QStringLiteral("%1 of its %2 pages were written.").arg(d->pages).arg(d->stack.pages()));
    if (!TIFFFlush(d->tiff.get()))
        return d->fail(QStringLiteral("the file could not be finished."));
    TIFFClose(d->tiff.release());
    if (!d->target.replacing.commit())
        return d->fail(d->target.replacing.errorString());
    return true;
}

QString CountTiffWriter::error() const
{
    return d->error;
}

} // namespace isolumen
