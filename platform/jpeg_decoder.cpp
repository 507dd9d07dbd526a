// Decoding pages with libjpeg-turbo straight into the picture's memory.

#include "platform/jpeg_decoder.h"

#include <QColorSpace>
#include <QSemaphore>
#include <QThreadPool>

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>
#include <utility>
#include <vector>

#include <jpeglib.h>

namespace jpeg {

// A JPEG file whose end marker follows the start of its (first) scan. Walking the
// segments skips an EXIF thumbnail, whose own end marker would otherwise count.
bool isWholeJpeg(const QByteArray &bytes)
{
    if (!bytes.startsWith("\xFF\xD8"))
        return false;
    qsizetype pos = 2;
    while (pos + 4 <= bytes.size()) {
        if (uchar(bytes[pos]) != 0xFF)
            return false;
        const uchar marker = uchar(bytes[pos + 1]);
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xDA)
            return bytes.lastIndexOf("\xFF\xD9") > pos;
        const int length = (uchar(bytes[pos + 2]) << 8) | uchar(bytes[pos + 3]);
        if (length < 2)
            return false;
        pos += 2 + length;
    }
    return false;
}

// ---- Direct JPEG decoding ---------------------------------------------------------------
// Qt's JPEG reader decodes to RGB and converts every scanline to RGB32 on one thread.
// A page turn waits for the decode, so ordinary pages (baseline or progressive, colour
// or grey, upright) are decoded here straight into the picture's memory; a large
// baseline page is decoded by two threads, each taking a band of rows. Anything else,
// and every failure, goes to Qt's reader, which then gives its own picture or error.

namespace {

// Below this many pixels a second thread costs more than it saves.
constexpr qint64 SplitDecodeMinPixels = 1'000'000;
// The second thread must entropy-decode the rows above its band before it reaches its
// own (about half the work on a scanned page), so it takes the smaller, lower band.
constexpr double SplitDecodeUpperShare = 0.65;

// Threads that decode the lower band of a page, kept waiting between pages: starting a
// thread for each page cost up to 2 ms. One per page decoded at the same time (the one
// on screen and two decoded ahead). Never deleted: the threads end with the process.
QThreadPool *bandHelpers()
{
    static QThreadPool *const pool = [] {
        auto *helpers = new QThreadPool;
        helpers->setObjectName(QStringLiteral("page band decoder"));
        helpers->setMaxThreadCount(3);
        helpers->setExpiryTimeout(-1);
        return helpers;
    }();
    return pool;
}

// Each scan of a progressive file walks the whole picture again: a file of thousands of
// tiny scans took minutes. Real pages have about 10 scans; the work allowed is that of
// 16 scans over a 600-dpi A4 page (a smaller page may have more), never past MaxScans.
constexpr int MaxScans = 1000;
constexpr qint64 MaxScanPixels = qint64(16) * 4961 * 7016;

// The most scans a picture of this many pixels may have.
int scanLimit(qint64 pixels)
{
    return int(qBound(qint64(1), MaxScanPixels / qMax(qint64(1), pixels), qint64(MaxScans)));
}

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    jpeg_progress_mgr progress;
    int maxScans = MaxScans;
    bool tooManyScans = false;
};

[[noreturn]] void jpegErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrorManager *>(info->err)->jump, 1);
}

// Warnings (a damaged but readable scan) are not failures, as in Qt's reader.
void jpegIgnoreMessage(j_common_ptr) {}

// Called as the decoder reads each row of each scan: stops a file with too many scans.
void jpegProgress(j_common_ptr info)
{
    auto *cinfo = reinterpret_cast<j_decompress_ptr>(info);
    auto *errors = reinterpret_cast<JpegErrorManager *>(info->err);
    if (cinfo->input_scan_number > errors->maxScans) {
        errors->tooManyScans = true;
        std::longjmp(errors->jump, 1);
    }
}

void initJpegErrors(jpeg_decompress_struct &cinfo, JpegErrorManager &errors)
{
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jpegErrorExit;
    errors.pub.output_message = jpegIgnoreMessage;
    errors.progress = {};
    errors.progress.progress_monitor = jpegProgress;
}

// What the header says. Plain data: libjpeg reports errors by longjmp, which must not
// skip the destructors of C++ objects.
struct JpegHeader {
    int width = 0;
    int height = 0;
    int components = 0;
    J_COLOR_SPACE colorSpace = JCS_UNKNOWN;
    bool progressive = false;
    int densityUnit = 0;
    int densityX = 0;
    int densityY = 0;
    JOCTET *icc = nullptr;  // malloc'ed by libjpeg
    unsigned int iccSize = 0;
};

// Creates the decompressor on `bytes`; the caller has armed its error jump already.
void beginDecompress(jpeg_decompress_struct &cinfo, const QByteArray &bytes)
{
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
}

bool readJpegHeader(const QByteArray &bytes, JpegHeader *header)
{
    jpeg_decompress_struct cinfo{};
    JpegErrorManager errors;
    initJpegErrors(cinfo, errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    beginDecompress(cinfo, bytes);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);  // ICC profile chunks
    jpeg_read_header(&cinfo, TRUE);
    header->width = int(cinfo.image_width);
    header->height = int(cinfo.image_height);
    header->components = cinfo.num_components;
    header->colorSpace = cinfo.jpeg_color_space;
    header->progressive = jpeg_has_multiple_scans(&cinfo);
    header->densityUnit = cinfo.density_unit;
    header->densityX = cinfo.X_density;
    header->densityY = cinfo.Y_density;
    if (!jpeg_read_icc_profile(&cinfo, &header->icc, &header->iccSize)) {
        header->icc = nullptr;
        header->iccSize = 0;
    }
    jpeg_destroy_decompress(&cinfo);
    return true;
}

struct JpegBand {
    const QByteArray *bytes;
    int maxScans;
    J_COLOR_SPACE outColorSpace;
    int first;  // rows [first, last)
    int last;
    uchar *bits;
    qsizetype bytesPerLine;
};

enum class BandResult { Whole, Failed, TooManyScans };

// Decodes one band of rows into the picture's memory.
BandResult decodeJpegBand(const JpegBand &band)
{
    jpeg_decompress_struct cinfo{};
    JpegErrorManager errors;
    initJpegErrors(cinfo, errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return errors.tooManyScans ? BandResult::TooManyScans : BandResult::Failed;
    }
    beginDecompress(cinfo, *band.bytes);
    errors.maxScans = band.maxScans;
    cinfo.progress = &errors.progress;
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = band.outColorSpace;
    jpeg_start_decompress(&cinfo);
    // Skipping still entropy-decodes the rows above, but leaves out the IDCT and colour work.
    while (int(cinfo.output_scanline) < band.first) {
        if (jpeg_skip_scanlines(&cinfo, JDIMENSION(band.first) - cinfo.output_scanline) == 0)
            break;
    }
    constexpr int RowsPerCall = 16;
    JSAMPROW rows[RowsPerCall];
    while (int(cinfo.output_scanline) < band.last) {
        const int start = int(cinfo.output_scanline);
        const int count = std::min(RowsPerCall, band.last - start);
        for (int i = 0; i < count; ++i)
            rows[i] = band.bits + (start + i) * band.bytesPerLine;
        if (jpeg_read_scanlines(&cinfo, rows, JDIMENSION(count)) == 0)
            break;  // data ended early: the caller's check has ruled that out already
    }
    const bool whole = int(cinfo.output_scanline) >= band.last;
    jpeg_destroy_decompress(&cinfo);
    return whole ? BandResult::Whole : BandResult::Failed;
}

// EXIF orientation of the file: true when no EXIF block turns the picture (none, or
// orientation 1). Any block it cannot read counts as turned, so Qt's reader decides.
bool exifSaysUpright(const QByteArray &bytes)
{
    const auto byteAt = [&](qsizetype i) { return uchar(bytes[i]); };
    qsizetype pos = 2;
    while (pos + 4 <= bytes.size()) {
        if (byteAt(pos) != 0xFF)
            return false;  // stray bytes between segments: Qt's reader knows how to skip them
        const uchar marker = byteAt(pos + 1);
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            break;
        const qsizetype length = (byteAt(pos + 2) << 8) | byteAt(pos + 3);
        if (length < 2 || pos + 2 + length > bytes.size())
            return false;
        const qsizetype start = pos + 4;
        const qsizetype size = length - 2;
        if (marker == 0xE1 && size >= 6 && bytes.mid(start, 6) == QByteArray("Exif\0\0", 6)) {
            const qsizetype tiff = start + 6;
            const qsizetype tiffSize = size - 6;
            if (tiffSize < 8)
                return false;
            const bool big = bytes[tiff] == 'M';
            if (!big && bytes[tiff] != 'I')
                return false;
            const auto u16 = [&](qsizetype at) -> int {
                return big ? (byteAt(tiff + at) << 8) | byteAt(tiff + at + 1)
                           : byteAt(tiff + at) | (byteAt(tiff + at + 1) << 8);
            };
            const auto u32 = [&](qsizetype at) -> qint64 {
                return big ? (qint64(u16(at)) << 16) | u16(at + 2)
                           : qint64(u16(at)) | (qint64(u16(at + 2)) << 16);
            };
            const qint64 ifd = u32(4);
            if (ifd < 8 || ifd + 2 > tiffSize)
                return false;
            const int entries = u16(ifd);
            if (ifd + 2 + qint64(entries) * 12 > tiffSize)
                return false;
            for (int i = 0; i < entries; ++i) {
                const qint64 entry = ifd + 2 + qint64(i) * 12;
                if (u16(entry) == 0x0112 && u16(entry + 8) != 1)
                    return false;
            }
        }
        pos += 2 + length;
    }
    return true;
}

// `spare` made into a blank picture of this size and format, if it is one nothing else
// holds; else a new picture.
QImage pictureMemory(int width, int height, QImage::Format format, QImage *spare)
{
    if (spare && spare->width() == width && spare->height() == height
        && spare->format() == format && spare->isDetached() && spare->textKeys().isEmpty()) {
        QImage picture = std::exchange(*spare, QImage());
        // What a new picture would say about itself; the pixels are all written over.
        static const QImage fresh(1, 1, QImage::Format_RGB32);
        picture.setDotsPerMeterX(fresh.dotsPerMeterX());
        picture.setDotsPerMeterY(fresh.dotsPerMeterY());
        picture.setOffset(QPoint());
        picture.setDevicePixelRatio(1);
        picture.setColorSpace(QColorSpace());
        return picture;
    }
    return QImage(width, height, format);
}

} // namespace

// At most as many scans as there are start-of-scan markers in the bytes: entropy-coded
// data never holds that byte pair, so the count never falls short.
int scanMarkerCount(const QByteArray &bytes)
{
    int count = 0;
    for (qsizetype at = bytes.indexOf("\xFF\xDA"); at >= 0; at = bytes.indexOf("\xFF\xDA", at + 2))
        ++count;
    return count;
}

// The picture decoded straight into RGB32 (colour) or Grayscale8 (grey), as Qt's
// reader gives them; a null image when this file is one for Qt's reader.
QImage decodeDirect(const QByteArray &bytes, qint64 maxBytes, QImage *spare, QString *refusal)
{
    const auto refuse = [&](const QString &why) {
        if (refusal)
            *refusal = why;
        return QImage();
    };
    JpegHeader header;
    if (!readJpegHeader(bytes, &header))
        return {};
    const QByteArray icc = header.icc
        ? QByteArray(reinterpret_cast<const char *>(header.icc), qsizetype(header.iccSize))
        : QByteArray();
    std::free(header.icc);

    // Limits that bound the time of any file, whichever reader takes it: the decoded size
    // (as RGB32, what Qt's reader makes of colour pages), and the scans.
    const qint64 pixels = qint64(header.width) * header.height;
    if (pixels * 4 > maxBytes)
        return refuse(QStringLiteral("%1 x %2 pixels is too large").arg(header.width).arg(header.height));
    const int maxScans = scanLimit(pixels);
    if (scanMarkerCount(bytes) > maxScans)
        return refuse(QStringLiteral("more than %1 scans").arg(maxScans));
    if (!exifSaysUpright(bytes))
        return {};

    QImage::Format format = QImage::Format_Invalid;
    J_COLOR_SPACE outColorSpace = JCS_UNKNOWN;
    if (header.components == 3 && (header.colorSpace == JCS_YCbCr || header.colorSpace == JCS_RGB)) {
        format = QImage::Format_RGB32;
        outColorSpace = JCS_EXT_BGRX;  // QImage's RGB32 in memory on little-endian machines
    } else if (header.components == 1 && header.colorSpace == JCS_GRAYSCALE) {
        format = QImage::Format_Grayscale8;
        outColorSpace = JCS_GRAYSCALE;
    }
    if (format == QImage::Format_RGB32 && QSysInfo::ByteOrder != QSysInfo::LittleEndian)
        return {};
    if (format == QImage::Format_Invalid || header.width <= 0 || header.height <= 0)
        return {};

    const bool hadSpare = spare && !spare->isNull();
    QImage picture = pictureMemory(header.width, header.height, format, spare);
    if (picture.isNull())
        return {};
    JpegBand upper{&bytes, maxScans, outColorSpace, 0, header.height, picture.bits(), picture.bytesPerLine()};
    BandResult result = BandResult::Whole;
    if (!header.progressive && pixels >= SplitDecodeMinPixels) {
        // Band edges on 16-row boundaries: the largest row group of a JPEG.
        const int split = int(header.height * SplitDecodeUpperShare) / 16 * 16;
        JpegBand lower = upper;
        upper.last = lower.first = split;
        BandResult lowerResult = BandResult::Failed;
        QSemaphore lowerDone;
        const bool helped = bandHelpers()->tryStart([&] {
            lowerResult = decodeJpegBand(lower);
            lowerDone.release();
        });
        if (helped) {
            result = decodeJpegBand(upper);
            lowerDone.acquire();
            if (result == BandResult::Whole)
                result = lowerResult;
        } else {
            // Every helper busy with other pages: this thread does the whole picture.
            upper.last = header.height;
            result = decodeJpegBand(upper);
        }
    } else {
        result = decodeJpegBand(upper);
    }
    if (result != BandResult::Whole) {
        if (hadSpare && spare->isNull())
            *spare = std::move(picture);  // the caller frees it where it frees spares
        if (result == BandResult::TooManyScans)
            return refuse(QStringLiteral("more than %1 scans").arg(maxScans));
        return {};
    }

    // As Qt's reader does: the resolution from the JFIF header, the ICC profile as colour space.
    if (header.densityUnit == 1) {
        picture.setDotsPerMeterX(int(100. * header.densityX / 2.54));
        picture.setDotsPerMeterY(int(100. * header.densityY / 2.54));
    } else if (header.densityUnit == 2) {
        picture.setDotsPerMeterX(int(100. * header.densityX));
        picture.setDotsPerMeterY(int(100. * header.densityY));
    }
    if (!icc.isEmpty())
        picture.setColorSpace(QColorSpace::fromIccProfile(icc));
    return picture;
}

} // namespace jpeg
