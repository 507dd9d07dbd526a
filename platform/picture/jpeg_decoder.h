#pragma once
// JPEG pages decoded with libjpeg-turbo, large ones on two threads.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace jpeg {

// A JPEG file whose end marker follows the start of its first scan.
bool isWholeJpeg(const QByteArray &bytes);

// The picture decoded straight into RGB32 (colour) or Grayscale8 (grey), as Qt's reader
// gives them, or a null image when the file is one for Qt's reader (turned by EXIF,
// CMYK, or anything the direct path does not take). A file that no reader may take, one
// larger than `maxBytes` as RGB32 or with more scans than its size allows (such files
// take minutes to decode), gives a null image and the reason in `refusal`.
// `spare`, when it has the page's size and format, lends its memory. Once `cancel` is
// set the decode stops early, with a null image and a refusal.
QImage decodeDirect(const QByteArray &bytes, qint64 maxBytes, QImage *spare,
                    QString *refusal = nullptr, const std::atomic<bool> *cancel = nullptr);

// What is left of a page after decodeTop(): the rows below the part in view and the
// columns beside it, decoded by run() into the same picture.
class PageRest
{
public:
    struct Plan;
    explicit PageRest(std::unique_ptr<Plan> plan);
    ~PageRest();

    // Decodes the rest (on a worker thread); false when the file turns out broken.
    bool run();
    // Ends without decoding, as a file broken below the top rows would.
    void abandon();
    // From any thread: a run() in progress stops soon, and one to come ends at once; the
    // picture is left as it is, never whole.
    void cancel();
    bool cancelled() const { return m_cancel; }
    // From any thread: run() waits between rows while paused (until resumed or cancelled),
    // leaving the processors to another page.
    void pause(bool paused);
    // run() and its helper, between rows.
    void holdWhilePaused();
    // Blocks until rows [0, rows) are decoded in the columns in view, or run() is over.
    void waitForRows(int rows);
    // The rows decoded so far in the columns in view.
    int rowsReady() const;
    // Blocks until run() is over; its result.
    bool wait();
    bool isDone() const;
    // The columns decoded with the top rows; the others are there only once run() is over.
    int columnsInView() const { return m_columns; }

    // run() tells the rows decoded so far.
    void rowsDone(int rows);

private:
    std::unique_ptr<Plan> m_plan;
    const int m_columns;
    // The standard library's lock: ThreadSanitizer sees it, Qt's (built without it) not.
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_rows = 0;
    bool m_done = false;
    bool m_whole = false;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_paused{false};
};

// For a page that decodeDirect decodes whole on two threads (upright, baseline, colour
// or grey, of a million pixels or more) and taller than `view`: decodes only its top
// `view.height()` rows, their first `view.width()` columns, into `picture`, which takes
// the page's full size, and returns what is left to decode. Otherwise returns null and
// leaves `picture` alone: decodeDirect decodes such a file.
std::shared_ptr<PageRest> decodeTop(const QByteArray &bytes, qint64 maxBytes, QImage *spare,
                                    QSize view, QImage *picture);

} // namespace jpeg
