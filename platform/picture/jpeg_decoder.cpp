// Decoding pages with libjpeg-turbo straight into the picture's memory.

#include "platform/picture/jpeg_decoder.h"
#include "platform/picture/picture_memory.h"

#include <QColorSpace>
#include <QThreadPool>

#include <condition_variable>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
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
    // Rows above `keepRows` hold their first `keepBytes` bytes already (the part in view,
    // decoded first and perhaps being painted): only the bytes after them are written.
    int keepRows = 0;
    qsizetype keepBytes = 0;
    // Told the rows decoded so far, as they come.
    PageRest *progress = nullptr;
    // Pauses and cancels the decode of the rest of a page (both bands).
    PageRest *rest = nullptr;
    // Once set, the decode stops: nobody wants the picture any more.
    const std::atomic<bool> *cancel = nullptr;
    // The first `columns` columns only (a little more: whole blocks); 0: every column.
    int columns = 0;
};

enum class BandResult { Whole, Failed, TooManyScans, Cancelled };

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
    if (band.columns > 0 && JDIMENSION(band.columns) < cinfo.output_width) {
        JDIMENSION left = 0;
        JDIMENSION width = JDIMENSION(band.columns);
        jpeg_crop_scanline(&cinfo, &left, &width);
    }
    // Skipping still entropy-decodes the rows above, but leaves out the IDCT and colour
    // work; in steps, so that a cancel is seen within milliseconds.
    constexpr int RowsPerSkip = 512;
    while (int(cinfo.output_scanline) < band.first) {
        if (band.rest)
            band.rest->holdWhilePaused();
        if (band.cancel && band.cancel->load(std::memory_order_relaxed)) {
            jpeg_destroy_decompress(&cinfo);
            return BandResult::Cancelled;
        }
        const int count = std::min(RowsPerSkip, band.first - int(cinfo.output_scanline));
        if (jpeg_skip_scanlines(&cinfo, JDIMENSION(count)) == 0)
            break;
    }
    constexpr int RowsPerCall = 16;
    JSAMPROW rows[RowsPerCall];
    std::vector<uchar> scratch;
    while (int(cinfo.output_scanline) < band.last) {
        if (band.rest)
            band.rest->holdWhilePaused();
        if (band.cancel && band.cancel->load(std::memory_order_relaxed)) {
            jpeg_destroy_decompress(&cinfo);
            return BandResult::Cancelled;
        }
        const int start = int(cinfo.output_scanline);
        const int count = std::min(RowsPerCall, band.last - start);
        const bool kept = start < band.keepRows;
        if (kept)
            scratch.resize(size_t(band.bytesPerLine) * RowsPerCall);
        for (int i = 0; i < count; ++i)
            rows[i] = kept ? scratch.data() + i * band.bytesPerLine
                           : band.bits + (start + i) * band.bytesPerLine;
        if (jpeg_read_scanlines(&cinfo, rows, JDIMENSION(count)) == 0)
            break;  // data ended early: the caller's check has ruled that out already
        for (int i = 0; kept && i < count; ++i) {
            uchar *row = band.bits + (start + i) * band.bytesPerLine;
            const qsizetype from = start + i < band.keepRows ? band.keepBytes : 0;
            std::memcpy(row + from, rows[i] + from, size_t(band.bytesPerLine - from));
        }
        if (band.progress)
            band.progress->rowsDone(start + count);
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
    return picturememory::allocate(width, height, format);
}

} // namespace

// At most as many scans as there are start-of-scan markers in the bytes: entropy-coded
// data never holds that byte pair, so the count never falls short.
int scanMarkerCount(const QByteArray &bytes)
{
    // memchr: this runs before a page not read ahead is shown, over megabytes.
    int count = 0;
    const char *at = bytes.constData();
    const char *const end = at + bytes.size();
    while (end - at >= 2) {
        at = static_cast<const char *>(std::memchr(at, 0xFF, size_t(end - at - 1)));
        if (!at)
            break;
        if (uchar(at[1]) == 0xDA)
            ++count;
        ++at;
    }
    return count;
}

namespace {

// What the direct path makes of a file: the format, or why no reader may take it.
struct DirectPlan {
    JpegHeader header;
    QByteArray icc;
    qint64 pixels = 0;
    int maxScans = 0;
    QImage::Format format = QImage::Format_Invalid;  // Invalid: a file for Qt's reader
    J_COLOR_SPACE outColorSpace = JCS_UNKNOWN;
    QString refusal;
};

DirectPlan planDirect(const QByteArray &bytes, qint64 maxBytes)
{
    DirectPlan plan;
    JpegHeader &header = plan.header;
    if (!readJpegHeader(bytes, &header))
        return plan;
    if (header.icc)
        plan.icc = QByteArray(reinterpret_cast<const char *>(header.icc), qsizetype(header.iccSize));
    std::free(header.icc);
    header.icc = nullptr;

    // Limits that bound the time of any file, whichever reader takes it: the decoded size
    // (as RGB32, what Qt's reader makes of colour pages), and the scans.
    plan.pixels = qint64(header.width) * header.height;
    if (plan.pixels * 4 > maxBytes) {
        plan.refusal = QStringLiteral("%1 x %2 pixels is too large").arg(header.width).arg(header.height);
        return plan;
    }
    plan.maxScans = scanLimit(plan.pixels);
    if (scanMarkerCount(bytes) > plan.maxScans) {
        plan.refusal = QStringLiteral("more than %1 scans").arg(plan.maxScans);
        return plan;
    }
    if (!exifSaysUpright(bytes) || header.width <= 0 || header.height <= 0)
        return plan;
    if (header.components == 3 && (header.colorSpace == JCS_YCbCr || header.colorSpace == JCS_RGB)
        && QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
        plan.format = QImage::Format_RGB32;
        plan.outColorSpace = JCS_EXT_BGRX;  // QImage's RGB32 in memory on little-endian machines
    } else if (header.components == 1 && header.colorSpace == JCS_GRAYSCALE) {
        plan.format = QImage::Format_Grayscale8;
        plan.outColorSpace = JCS_GRAYSCALE;
    }
    return plan;
}

// As Qt's reader does: the resolution from the JFIF header, the ICC profile as colour space.
void describePicture(QImage &picture, const DirectPlan &plan)
{
    const JpegHeader &header = plan.header;
    if (header.densityUnit == 1) {
        picture.setDotsPerMeterX(int(100. * header.densityX / 2.54));
        picture.setDotsPerMeterY(int(100. * header.densityY / 2.54));
    } else if (header.densityUnit == 2) {
        picture.setDotsPerMeterX(int(100. * header.densityX));
        picture.setDotsPerMeterY(int(100. * header.densityY));
    }
    if (!plan.icc.isEmpty())
        picture.setColorSpace(QColorSpace::fromIccProfile(plan.icc));
}

// The rows of a picture decoded by this thread and, for a large baseline page, a helper
// taking the lower band.
BandResult decodeRows(JpegBand upper, bool progressive, qint64 pixels)
{
    if (progressive || pixels < SplitDecodeMinPixels)
        return decodeJpegBand(upper);
    // Band edges on 16-row boundaries: the largest row group of a JPEG.
    const int height = upper.last;
    const int split = int(height * SplitDecodeUpperShare) / 16 * 16;
    JpegBand lower = upper;
    upper.last = lower.first = split;
    // The rows kept (those in view, perhaps being painted) can reach below the split
    // when the view was scrolled down: the lower band keeps them too.
    lower.progress = nullptr;
    // The lower band's end is handed over with the standard mutex and condition variable,
    // which ThreadSanitizer sees (QSemaphore it cannot). Not std::latch: libstdc++ 12
    // without futexes (the Windows build) can signal a latch's waiter between its last
    // look and its sleep, and the wait never ends. Shared: the helper may still be
    // signalling when the waiter wakes and returns.
    struct Handoff {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
        BandResult lower = BandResult::Failed;
    };
    const auto handoff = std::make_shared<Handoff>();
    const bool helped = bandHelpers()->tryStart([handoff, lower] {
        const BandResult result = decodeJpegBand(lower);
        {
            const std::lock_guard lock(handoff->mutex);
            handoff->lower = result;
            handoff->done = true;
        }
        handoff->changed.notify_one();
    });
    if (!helped) {
        // Every helper busy with other pages: this thread does the whole picture.
        upper.last = height;
        return decodeJpegBand(upper);
    }
    const BandResult result = decodeJpegBand(upper);
    std::unique_lock lock(handoff->mutex);
    handoff->changed.wait(lock, [&] { return handoff->done; });
    return result == BandResult::Whole ? handoff->lower : result;
}

} // namespace

// The picture decoded straight into RGB32 (colour) or Grayscale8 (grey), as Qt's
// reader gives them; a null image when this file is one for Qt's reader.
QImage decodeDirect(const QByteArray &bytes, qint64 maxBytes, QImage *spare, QString *refusal,
                    const std::atomic<bool> *cancel)
{
    const DirectPlan plan = planDirect(bytes, maxBytes);
    if (!plan.refusal.isEmpty() && refusal)
        *refusal = plan.refusal;
    if (!plan.refusal.isEmpty() || plan.format == QImage::Format_Invalid)
        return {};
    const JpegHeader &header = plan.header;

    const bool hadSpare = spare && !spare->isNull();
    QImage picture = pictureMemory(header.width, header.height, plan.format, spare);
    if (picture.isNull())
        return {};
    JpegBand rows{&bytes, plan.maxScans, plan.outColorSpace, 0, header.height,
                  picture.bits(), picture.bytesPerLine()};
    rows.cancel = cancel;
    const BandResult result = decodeRows(rows, header.progressive, plan.pixels);
    if (result != BandResult::Whole) {
        if (hadSpare && spare->isNull())
            *spare = std::move(picture);  // the caller frees it where it frees spares
        if (result == BandResult::TooManyScans && refusal)
            *refusal = QStringLiteral("more than %1 scans").arg(plan.maxScans);
        if (result == BandResult::Cancelled && refusal)
            *refusal = QStringLiteral("cancelled");
        return {};
    }
    describePicture(picture, plan);
    return picture;
}

// ---- The part in view first ------------------------------------------------------------
// A page not decoded ahead is shown by its top rows: only the part the page window shows
// is decoded before the page is painted (a tenth of the work on a 300-dpi page), the
// rest right after it on a worker thread, into the same memory.

struct PageRest::Plan {
    QByteArray bytes;
    QImage picture;  // holds the memory until run() is over
    uchar *bits = nullptr;
    qsizetype bytesPerLine = 0;
    int height = 0;
    qint64 pixels = 0;
    int maxScans = 0;
    J_COLOR_SPACE outColorSpace = JCS_UNKNOWN;
    int topRows = 0;
    qsizetype topBytes = 0;
};

PageRest::PageRest(std::unique_ptr<Plan> plan)
    : m_plan(std::move(plan))
    , m_columns(int(m_plan->topBytes / (m_plan->picture.depth() / 8)))
    , m_rows(m_plan->topRows)
{
}

PageRest::~PageRest() = default;

bool PageRest::run()
{
    Plan &plan = *m_plan;
    JpegBand rows{&plan.bytes, plan.maxScans, plan.outColorSpace, 0, plan.height, plan.bits,
                  plan.bytesPerLine, plan.topRows, plan.topBytes, this, this, &m_cancel};
    const bool whole = !m_cancel && decodeRows(rows, false, plan.pixels) == BandResult::Whole;
    // The bytes and the reference to the picture are let go here, off the GUI thread.
    plan.bytes = QByteArray();
    plan.picture = QImage();
    {
        std::unique_lock lock(m_mutex);
        m_done = true;
        m_whole = whole;
    }
    m_changed.notify_all();
    return whole;
}

void PageRest::abandon()
{
    m_plan->bytes = QByteArray();
    m_plan->picture = QImage();
    {
        std::unique_lock lock(m_mutex);
        m_done = true;
    }
    m_changed.notify_all();
}

void PageRest::cancel()
{
    {
        std::unique_lock lock(m_mutex);
        m_cancel = true;
    }
    m_changed.notify_all();
}

void PageRest::pause(bool paused)
{
    {
        std::unique_lock lock(m_mutex);
        m_paused = paused;
    }
    m_changed.notify_all();
}

void PageRest::holdWhilePaused()
{
    if (!m_paused)
        return;
    std::unique_lock lock(m_mutex);
    while (m_paused && !m_cancel)
        m_changed.wait(lock);
}

void PageRest::rowsDone(int rows)
{
    {
        std::unique_lock lock(m_mutex);
        if (rows <= m_rows)
            return;
        m_rows = rows;
    }
    m_changed.notify_all();
}

void PageRest::waitForRows(int rows)
{
    std::unique_lock lock(m_mutex);
    while (!m_done && m_rows < rows)
        m_changed.wait(lock);
}

int PageRest::rowsReady() const
{
    std::unique_lock lock(m_mutex);
    return m_rows;
}

bool PageRest::wait()
{
    std::unique_lock lock(m_mutex);
    while (!m_done)
        m_changed.wait(lock);
    return m_whole;
}

bool PageRest::isDone() const
{
    std::unique_lock lock(m_mutex);
    return m_done;
}

namespace {

// Decodes rows [0, rows) of the first `columns` columns, on two threads when the band
// is large (a 4K view of a 600-dpi page is a third of it): the typist waits for these.
bool decodeTopRows(const QByteArray &bytes, const DirectPlan &plan, int rows, int columns,
                   QImage &picture)
{
    JpegBand top{&bytes, plan.maxScans, plan.outColorSpace, 0, rows, picture.bits(),
                 picture.bytesPerLine()};
    top.columns = columns;
    return decodeRows(top, false, qint64(rows) * columns) == BandResult::Whole;
}

} // namespace

std::shared_ptr<PageRest> decodeTop(const QByteArray &bytes, qint64 maxBytes, QImage *spare,
                                    QSize view, QImage *picture)
{
    const DirectPlan plan = planDirect(bytes, maxBytes);
    const JpegHeader &header = plan.header;
    if (!plan.refusal.isEmpty() || plan.format == QImage::Format_Invalid || header.progressive
        || plan.pixels < SplitDecodeMinPixels || view.isEmpty() || view.height() >= header.height)
        return nullptr;
    QImage page = pictureMemory(header.width, header.height, plan.format, spare);
    if (page.isNull())
        return nullptr;
    const int columns = std::min(view.width(), header.width);
    // One block more than the view: the colour of a decoded edge column is worked out
    // from its own side only, so the columns in view come out as in a whole decode.
    constexpr int EdgeBlock = 16;
    if (!decodeTopRows(bytes, plan, view.height(), std::min(columns + EdgeBlock, header.width), page)) {
        if (spare && spare->isNull())
            *spare = std::move(page);
        return nullptr;
    }
    describePicture(page, plan);

    auto rest = std::make_unique<PageRest::Plan>();
    rest->bytes = bytes;
    rest->bits = page.bits();  // before the picture is shared: bits() would copy it then
    rest->bytesPerLine = page.bytesPerLine();
    rest->height = header.height;
    rest->pixels = plan.pixels;
    rest->maxScans = plan.maxScans;
    rest->outColorSpace = plan.outColorSpace;
    rest->topRows = view.height();
    rest->topBytes = qsizetype(columns) * (page.depth() / 8);
    rest->picture = page;
    *picture = std::move(page);
    return std::make_shared<PageRest>(std::move(rest));
}

} // namespace jpeg
