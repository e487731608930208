#include "core/io/counttiff.h"

#include "core/io/replacingfile.h"

#include <QFile>
#include <cmath>
#include <tiffio.h>

namespace {

// The file libtiff writes: the temporary file, and the first reason the system gave for a
// failed write or seek ("No space left on device"), which says more than libtiff's own words.
struct TiffTarget
{
    explicit TiffTarget(const QString& path) : replacing(path) {}
    isolumen::ReplacingFile replacing;
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

} // namespace

struct CountTiffWriter::State
{
    explicit State(const QString& path) : path(path), target(path) {}

    QString path;
    int side = 0;
    double pixelsPerCm = 0; // 0: uncalibrated
    int pages = 0;
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

CountTiffWriter::CountTiffWriter(const QString& path, double micronSize, int side,
                                 qint64 expectedBytes)
    : d(std::make_unique<State>(path))
{
    d->side = side;
    if (std::isfinite(micronSize) && micronSize > 0)
        d->pixelsPerCm = side / (micronSize * 1e-4);
    if (side <= 0) {
        d->fail(QStringLiteral("pages of %1 x %1 samples cannot be written.").arg(side));
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
    const char* mode = expectedBytes > kClassicSampleLimit ? "w8" : "w";
    d->tiff.reset(TIFFClientOpenExt(QFile::encodeName(path).constData(), mode, &d->target, readFile,
                                    writeFile, seekFile, keepFileOpen, fileSize, noMapping,
                                    noUnmapping, options));
    TIFFOpenOptionsFree(options);
    if (!d->tiff)
        d->fail(QStringLiteral("libtiff cannot start the file."));
}

CountTiffWriter::~CountTiffWriter()
{
    d->tiff.reset(); // before the temporary file goes with the state
}

bool CountTiffWriter::addPage(CountType type, const void* samples, const QString& description)
{
    TIFF* tiff = d->tiff.get();
    if (!tiff)
        return d->fail(QStringLiteral("the file was already finished or failed."));
    if (!samples)
        return d->fail(QStringLiteral("a page without samples cannot be written."));
    const bool isFloat = type == CountType::Float32 || type == CountType::Float64;
    const int bytes = type == CountType::UInt16 ? 2 : type == CountType::Float64 ? 8 : 4;
    const qint64 pageBytes = qint64(d->side) * d->side * bytes;
    const QByteArray text = description.toUtf8();
    bool ok = TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE) &&
              TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(d->side)) &&
              TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(d->side)) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1) &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8 * bytes) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT,
                           isFloat ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT) &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) &&
              TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(d->side)) &&
              (text.isEmpty() || TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, text.constData()));
    if (ok && d->pixelsPerCm > 0)
        ok = TIFFSetField(tiff, TIFFTAG_XRESOLUTION, d->pixelsPerCm) &&
             TIFFSetField(tiff, TIFFTAG_YRESOLUTION, d->pixelsPerCm) &&
             TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
    // One uncompressed strip a page, as ImageJ writes them, in the machine's byte order, in
    // which libtiff writes the samples as they are (it never changes them).
    void* page = const_cast<void*>(samples);
    ok = ok && TIFFWriteEncodedStrip(tiff, 0, page, tmsize_t(pageBytes)) == pageBytes;
    if (!ok || !TIFFWriteDirectory(tiff))
        return d->fail(QStringLiteral("page %1 could not be written.").arg(d->pages + 1));
    ++d->pages;
    return true;
}

bool CountTiffWriter::commit()
{
    if (!d->tiff)
        return d->fail(QStringLiteral("the file was already finished or failed."));
    if (d->pages == 0)
        return d->fail(QStringLiteral("no page was written."));
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
