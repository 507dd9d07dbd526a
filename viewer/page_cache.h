#pragma once
// Decoded pages, kept ready so that a step to a neighbouring page shows at once.
//
// The panel loads every page through load(), on the GUI thread, and then names the
// pages likely to come next with prefetch(). Those are decoded on worker threads; a
// later load() of one of them takes the decoded picture if the file is still the one
// that was decoded (same path, size and times, checked with one stat), and otherwise
// decodes the file as forms::LoadPicture would, with its result and its error.
// In memory: the page last loaded and the pages named by the last prefetch(): whole when
// the read-ahead budget holds one page of this size, otherwise only their part in view
// (the rest decodes once such a page is shown, as for a page not read ahead). A page let
// go lends its memory to the next decode (as far as the budget holds), or is freed on
// another thread once the new page is on screen.

#include "platform/forms/forms.h"

#include <QEvent>
#include <QFuture>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>
#include <QStringList>
#include <QThreadPool>

#include <functional>
#include <memory>

class PageCache : public QObject
{
public:
    explicit PageCache(QObject *parent = nullptr);
    ~PageCache() override;

    // The picture at `path`, as forms::LoadPicture gives it.
    QImage load(const QString &path, forms::Error *error);
    // As load(), for the page about to be shown in a view of `view` (columns, and rows
    // from the top): a large page not in memory has only that part decoded before this
    // returns, the rest on a worker once the event loop has painted that part
    // (pendingRest() until finishRest()). The rest of another page still pending is
    // dropped once this page has loaded: that page, never whole, is let go.
    QImage loadShowing(const QString &path, forms::Error *error, QSize view);
    // The rest of the page last loaded, while it is not known to be whole.
    std::shared_ptr<forms::PictureRest> pendingRest() const { return m_rest; }
    enum class RestOutcome {
        None,      // nothing was pending
        Whole,     // the page is whole
        Replaced,  // the file turned out broken; `picture` is what a direct load gives
        Failed,    // the file turned out broken; the page before it (`picture`, read again from
                   // its file if it was not kept) is current again
        Running,   // still decoding, and not waited for
    };
    // Waits for the rest of the page last loaded (unless `wait` is false), and says how it
    // ended.
    RestOutcome finishRest(QImage *picture, forms::Error *error, bool wait = true);
    // Runs from the event loop when a rest is over that finishRest() did not wait for.
    void setRestOverHandler(std::function<void()> handler) { m_restOver = std::move(handler); }
    // Decodes these pages ahead, as many of the first as the read-ahead budget holds (one
    // at least); pages not named are dropped (their decodes cancelled). The decodes start once the events already queued, the
    // repaint of a new page among them, have been handled.
    void prefetch(const QStringList &paths);
    // The view pages read ahead in part are decoded for from now on (loadShowing() sets
    // it too): a layout switch changes it without a new page.
    void setView(QSize view) { m_view = view; }

    // The page the typist is about to ask for (a name typed in full, the list entry under
    // the pointer or below Page Down): its part in view decoded on a worker, so that
    // asking for it in this view only paints. Nothing else changes; a load of any other
    // page, or another guess, drops it; an empty path drops it now.
    void guess(const QString &path, QSize view);
    // Tests: waits until the guess in flight, if any, has decoded its page.
    void waitForGuessForTesting() { m_guess.future.waitForFinished(); }

    // Memory for pages read ahead whole (and pages let go kept for their memory), beside
    // the page on screen. With the page on screen and the program, a book of 600-dpi A4
    // pages (139 MB each as pixels, read ahead in part) stays within 256 MB, and one of up
    // to 500 dpi with the next page whole.
    static constexpr qint64 DefaultReadAheadBudget = qint64(100) << 20;
    void setReadAheadBudget(qint64 bytes) { m_budget = bytes; }

    // What load() did, for tests and measurements.
    struct Counters {
        int fromMemory = 0;  // a page decoded ahead (or the page on screen again) was used
        int decodedOnLoad = 0;  // the file was decoded by load() itself
        int guessed = 0;        // a guess() had decoded the page's part in view
    };
    Counters counters() const { return m_counters; }

    // Tests: runs on the worker thread before each read ahead opens its file (after its
    // file stamp is taken; `fileRead` false) and again before it decodes the bytes read
    // (`fileRead` true), so a test can hold a read or a decode in flight. Empty: none.
    void setDecodeStartHookForTesting(std::function<void(const QString &path, bool fileRead)> hook);
    // Tests: starts the decodes ahead now, without waiting for the event loop.
    void startDecodesForTesting() { submitPending(); }
    // Tests: starts the decodes ahead now and waits until every worker is idle.
    void waitForIdleForTesting();

protected:
    bool event(QEvent *event) override;

private:
    struct FileStamp {
        bool exists = false;
        qint64 size = -1;
        qint64 modified = 0;  // ms since the epoch
        qint64 changed = 0;
        bool operator==(const FileStamp &) const = default;
    };
    struct Decoded {
        QImage picture;
        forms::Error error;
        FileStamp stamp;  // taken before the file was read
        std::shared_ptr<forms::PictureRest> rest;  // a page read ahead in part: the rest
    };
    struct Job;  // shared with the worker: path and state
    struct Entry {
        std::shared_ptr<Job> job;
        QFuture<Decoded> future;  // invalid until submitted
        bool submitted = false;
    };

    struct Guess {
        QImage picture;
        std::shared_ptr<forms::PictureRest> rest;
        FileStamp stamp;
    };
    struct Guessing {
        std::shared_ptr<Job> job;
        QSize view;
        QFuture<Guess> future;
    };

    static FileStamp stampOf(const QString &path);
    // The guess, if it is of this page in this view and the file has not changed since;
    // any other guess is dropped.
    Guess takeGuess(const QString &path, QSize view, const FileStamp &now);
    void postSubmit();
    void startRest();
    void submitPending();
    void drop(Entry &entry);
    void leaveBehind(std::shared_ptr<Job> job, QFuture<void> future);
    void keepAsSpare(QImage picture);
    QImage takePartInViewMemory(Entry &entry);
    void releaseLater(QImage picture);
    void startReleases();
    Entry *findAhead(const QString &path);

    QImage loadPage(const QString &path, forms::Error *error, QSize view);
    // Pages of the size of the one on screen that the budget holds whole; 0 at least.
    qsizetype pagesWithinBudget() const;
    void releaseDecoded(Decoded decoded);

    // On the heap: a worker stuck in its file (a stalled network folder) is left behind
    // at exit with its pool, not waited for.
    QThreadPool *m_pool;
    // The rest of the page on screen, decoded ahead of any page read ahead whole; the page
    // it replaced, current again if the rest fails (its picture only if the budget holds
    // it, otherwise read again from the file then).
    QThreadPool m_restPool;
    std::shared_ptr<forms::PictureRest> m_rest;
    struct Previous {
        QString path;
        QImage picture;
        FileStamp stamp;
    } m_beforeRest;
    std::function<void()> m_restOver;
    QList<Entry> m_ahead;
    Guessing m_guess;
    // Decodes dropped while running (cancelled), until they end: a stalled file may hold
    // one for good.
    struct LeftBehind {
        std::shared_ptr<Job> job;
        QFuture<void> future;
    };
    QList<LeftBehind> m_leftBehind;
    // The page last loaded (the one on screen), kept for a reload or a step back.
    QString m_currentPath;
    QImage m_current;
    FileStamp m_currentStamp;
    // The view of the last loadShowing(): pages read ahead in part are decoded for it.
    QSize m_view;
    // Pages let go, whose memory the next decodes take; pictures to free on another
    // thread. Both wait, with the decodes ahead, until the new page is on screen.
    QList<QImage> m_spares;
    QList<std::function<void()>> m_releases;
    bool m_submitPosted = false;
    // One start for the rest of the page last loaded: a second worker on the same rest
    // would report it over while the first still decodes it.
    bool m_restStartPosted = false;
    Counters m_counters;
    qint64 m_budget = DefaultReadAheadBudget;
    std::function<void(const QString &, bool)> m_startHook;
};
