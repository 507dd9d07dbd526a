#pragma once
// What the windows rely on from a forms runtime: screen metrics in twips, the
// program's folder, picture decoding, message boxes and the page list of a folder.

#include <QImage>
#include <QLoggingCategory>
#include <QRect>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QWidget;
namespace jpeg {
class PageRest;
}

Q_DECLARE_LOGGING_CATEGORY(lcTiming)

namespace forms {

// With QT_LOGGING_RULES="zorvane.timing.debug=true", the moments a page change passes
// each stage (monotonic clock, ms, as the bench's), to stderr: where a page's time goes.
void timingMark(const char *stage, const QString &detail = {});

// An error as a handler sees it: a number and a description.
struct Error {
    int number = 0;
    QString description;
};

// Error numbers, after the runtime this program was first written for.
inline constexpr int ErrFileNotFound = 53;
inline constexpr int ErrPermissionDenied = 70;
inline constexpr int ErrPathNotFound = 76;
inline constexpr int ErrInvalidPicture = 481;
inline constexpr int ErrDeviceIo = 57;
inline constexpr int ErrTypeMismatch = 13;
inline constexpr int ErrOverflow = 6;

// The primary screen, in twips (1/1440 inch).
namespace Screen {
int TwipsPerPixelX();
int TwipsPerPixelY();
double Width();   // twips
double Height();  // twips
// The primary screen on the desktop, in pixels. Twip places count from its top-left
// corner, as on a desktop where the primary screen always starts at 0, 0.
QRect Area();
// The widest window, in Qt's pixels, that starts at the screen's left edge and does not
// reach past its right edge in the screen's own pixels: with a fractional scale (1.5 at
// 144 dpi on Windows) a window as wide as Area() can come out a pixel wider.
int FittingWidth();
}

// The page folder, without a trailing separator: the folder of the running executable
// unless start-up chose another (an argument, the folder chooser). Pages, the page
// list and current.txt are found here.
QString AppPath();
void setAppPath(const QString &folder);
// Tests point the program at a folder of their own.
inline void setAppPathForTesting(const QString &folder) { setAppPath(folder); }

// Joins a folder and a name with the platform's separator, always adding one.
QString joinPath(const QString &folder, const QString &name);

// Decodes the picture at `path` (EXIF orientation applied). On failure returns a
// null image and fills `error` with a number and a description that names the reason.
QImage LoadPicture(const QString &path, Error *error);
// As above; when `spare` is a picture of the page's size and format that nothing else
// holds, the page is decoded into its memory (and `spare` is left null), which saves
// faulting in fresh memory. Otherwise `spare` is left as it was. Once `cancel` is set
// (from another thread), a decode still running may stop early with an error.
QImage LoadPicture(const QString &path, Error *error, QImage *spare,
                   const std::atomic<bool> *cancel = nullptr);

// LoadPicture in its two steps, for a reader that must know which one it is in: the
// file's bytes (the step a stalled file or folder can hold up), then their decode.
bool ReadPictureFile(const QString &path, Error *error, QByteArray *bytes);
QImage DecodePicture(const QString &path, const QByteArray &bytes, Error *error, QImage *spare,
                     const std::atomic<bool> *cancel = nullptr);

// The size and the modification and status-change times (ms since the epoch) of the
// file at `path`, pages with names that are not UTF-8 included; false when it is not there.
bool fileTimes(const QString &path, qint64 *size, qint64 *modified, qint64 *changed);

// What is left to decode of a picture that LoadPictureTop gave by its top rows.
class PictureRest
{
public:
    PictureRest(QString path, QByteArray bytes, std::shared_ptr<::jpeg::PageRest> rest);

    // Decodes the rest, on a worker thread, unless a wait below has already done it. A
    // file that turns out broken below the top rows is decoded again as LoadPicture
    // would: into another picture, or an error.
    void run();
    // Block until rows [0, rows) of the first `columns` columns are in the picture, or
    // until run() is over. A wait that comes before any run() decodes the rest itself.
    void waitFor(int rows, int columns);
    // True when the picture is whole; otherwise `replacement` is LoadPicture's picture
    // of the file, or null with `error` filled in.
    bool wait(QImage *replacement, Error *error);
    bool isDone() const;
    // The page is left for another: a run() in progress stops within milliseconds, one to
    // come ends at once, without decoding or a replacement. The picture stays as it is,
    // never whole.
    void cancel();
    // While paused, a run() in progress waits between rows (a cancel ends it).
    void pause(bool paused);

private:
    const QString m_path;
    QByteArray m_bytes;
    std::shared_ptr<::jpeg::PageRest> m_rest;
    // Written by run() before it reports that it is over.
    QImage m_replacement;
    Error m_error;
    // The standard library's lock: ThreadSanitizer sees it, Qt's (built without it) not.
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_over = false;
    std::atomic<bool> m_claimed{false};
};

// As LoadPicture, for a page about to be shown in a view of `view` (columns, and rows from
// the top): a large page has only that part decoded before this returns, into a picture
// of its full size, and `rest` says what is left for a worker (run()). Otherwise `rest`
// is null and the picture whole.
QImage LoadPictureTop(const QString &path, Error *error, QImage *spare, QSize view,
                      std::shared_ptr<PictureRest> *rest);
// LoadPictureTop's decode, of bytes ReadPictureFile gave.
QImage DecodePictureTop(const QString &path, QByteArray bytes, Error *error, QImage *spare,
                        QSize view, std::shared_ptr<PictureRest> *rest);
// Tests: runs on the worker at the start of PictureRest::run(), so that a test can hold a
// rest in flight; returning false makes the file count as broken below its top rows.
void setPictureRestHookForTesting(std::function<bool(const QString &path)> hook);

// The entries of `folder` matching `*.jpg` in any letter case, sorted by name
// without regard to case and with digit runs compared by value.
QStringList listPages(const QString &folder);
// Starts listPages(folder) on a thread of its own, so that a folder of many thousand
// pages is read and sorted while the windows are made; the next listPages(folder) takes
// the result. Names that need their raw bytes are known to the program from that call on.
void listPagesAhead(const QString &folder);

// Shows a message box with `text`, an OK button and `caption`; returns when it is closed.
void MsgBox(const QString &text, const QString &caption);

// The window that owns the message boxes (the panel): they stay above it and have no
// taskbar button of their own.
void setMessageBoxOwner(QWidget *owner);
// Puts the open message boxes back above every other window of the program, after a
// window was raised over them.
void raiseOpenBoxes();

// The title message boxes carry when the caller gives none.
QString appTitle();

// Replaces the message box; the handler runs where the box would, on the GUI thread.
// Pass an empty function to restore the real box.
using MessageBoxHandler = std::function<void(const QString &text, const QString &caption)>;
void setMessageBoxHandler(MessageBoxHandler handler);

} // namespace forms
