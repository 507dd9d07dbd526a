#include "viewer/page_cache.h"

#include <QCoreApplication>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <QtConcurrent/qtconcurrenttask.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

namespace {

// Starts the decodes ahead and the frees. Posted at the priority of a widget's repaint
// request, and posted once more when it arrives, so that it comes after every repaint
// requested until then, wherever in a command the request was made; then a short grace
// lets the display server put the new page on the screen before the workers take the
// processors.
const QEvent::Type SubmitEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type SubmitAfterRepaintEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type StartRestEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
constexpr int SubmitGraceMs = 20;

// Both neighbours of a page reached by a jump decode at once, and a guess beside them
// (parts in view of a 4K screen take a good part of a second under load).
constexpr int DecodeThreads = 3;
// Pages let go whose memory waits for the next decodes: the two neighbours of a jump.
constexpr qsizetype MaxSpares = 2;
// Pages read ahead in part when none fits whole: the next and the previous.
constexpr qsizetype PagesInPart = 2;
// The longest the rest of a page waits for the parts of its neighbours to be decoded.
constexpr int PartsFirstMs = 200;

enum JobState : int {
    Queued,   // not started: a load or a drop may still take it back
    Running,  // the worker has it; its result will come
    Claimed,  // taken back before it started: the worker skips it
};

} // namespace

struct PageCache::Job {
    explicit Job(QString jobPath, QSize partView = {})
        : path(std::move(jobPath))
        , view(partView)
    {
    }
    const QString path;
    const QSize view;  // valid: only the part in this view is decoded
    std::atomic<int> state{Queued};
    std::atomic<bool> cancelled{false};  // a running decode nobody wants any more
    std::atomic<bool> fileRead{false};   // the worker has the file's bytes: only the decode is left
};

PageCache::PageCache(QObject *parent)
    : QObject(parent)
    , m_pool(new QThreadPool)
{
    m_pool->setMaxThreadCount(DecodeThreads);
    m_pool->setObjectName(QStringLiteral("page decoder"));
    m_restPool.setMaxThreadCount(1);
    m_restPool.setObjectName(QStringLiteral("page rest decoder"));
}

PageCache::~PageCache()
{
    // Decodes not started are skipped; those running are cancelled and left behind with
    // the others. One past its file read then ends within milliseconds and is waited for,
    // so that no decode runs on while the program ends. One still opening or reading its
    // file may wait on it for good (a FIFO, a stalled network folder): the pool is then
    // left behind, never deleted (each job holds all it uses), and the end of the program
    // does not wait for it.
    takeGuess({}, {}, {});
    for (Entry &entry : m_ahead)
        drop(entry);
    const auto inFile = [](const LeftBehind &left) {
        return !left.job->fileRead && !left.future.isFinished();
    };
    if (std::none_of(m_leftBehind.cbegin(), m_leftBehind.cend(), inFile)) {
        delete m_pool;
    } else {
        for (LeftBehind &left : m_leftBehind) {
            if (left.job->fileRead)
                left.future.waitForFinished();
        }
    }
    // The rest decodes bytes already in memory: it ends soon.
    m_restPool.waitForDone();
}

PageCache::FileStamp PageCache::stampOf(const QString &path)
{
    FileStamp stamp;
    stamp.exists = forms::fileTimes(path, &stamp.size, &stamp.modified, &stamp.changed);
    return stamp.exists ? stamp : FileStamp();
}

PageCache::Entry *PageCache::findAhead(const QString &path)
{
    for (Entry &entry : m_ahead) {
        if (entry.job->path == path)
            return &entry;
    }
    return nullptr;
}

QImage PageCache::load(const QString &path, forms::Error *error)
{
    return loadPage(path, error, QSize());
}

QImage PageCache::loadShowing(const QString &path, forms::Error *error, QSize view)
{
    return loadPage(path, error, view);
}

QImage PageCache::loadPage(const QString &path, forms::Error *error, QSize view)
{
    forms::timingMark("load", path);
    std::shared_ptr<forms::PictureRest> rest;
    // The file as it is now; a picture decoded earlier is used only if it still matches.
    const FileStamp now = stampOf(path);
    Guess guessed = takeGuess(path, view, now);
    QImage warm;  // a neighbour's picture whose rows in view are faulted in already
    QImage picture = std::move(guessed.picture);
    const bool fromGuess = !picture.isNull();
    if (fromGuess) {
        ++m_counters.guessed;
        rest = std::move(guessed.rest);
        // A jump: the pages read ahead belong to another place in the book.
        for (Entry &entry : m_ahead)
            drop(entry);
        m_ahead.clear();
    } else if (now.exists && path == m_currentPath && now == m_currentStamp) {
        picture = m_current;
    } else if (Entry *found = findAhead(path)) {
        Entry entry = std::move(*found);
        m_ahead.removeAt(found - m_ahead.data());
        int expected = Queued;
        if (!entry.job->state.compare_exchange_strong(expected, Claimed) && !entry.job->fileRead
            && !entry.future.isFinished()) {
            // Still reading its file: waiting could take longer than reading it here (a
            // stalled file may never end). It is left behind and the page read below.
            leaveBehind(entry.job, QFuture<void>(entry.future));
        } else if (expected != Queued) {
            // Decoding, perhaps finished: wait for this page alone.
            Decoded decoded = entry.future.takeResult();
            // A part decoded for a smaller view would leave the paint waiting for the rest.
            const QSize part = entry.job->view;
            const bool fits = !decoded.rest
                || (view.isValid() && part.width() >= view.width() && part.height() >= view.height());
            if (now.exists && decoded.stamp == now && !decoded.picture.isNull() && fits) {
                picture = std::move(decoded.picture);
                rest = std::move(decoded.rest);
            } else if (decoded.rest) {
                releaseDecoded(std::move(decoded));
            } else {
                // A failed decode ahead is not final: the file is read again below, so the
                // error is the one of this moment.
                keepAsSpare(std::move(decoded.picture));
            }
        }
    } else if (path != m_currentPath) {
        // A jump: the pages read ahead belong to another place in the book; their memory
        // takes the new page and the new neighbours.
        for (Entry &entry : m_ahead) {
            if (warm.isNull() && entry.job->view.isValid() && entry.submitted
                && entry.future.isFinished()) {
                warm = takePartInViewMemory(entry);
                continue;
            }
            drop(entry);
        }
        m_ahead.clear();
    }

    if (!picture.isNull()) {
        m_counters.fromMemory += fromGuess ? 0 : 1;
    } else {
        ++m_counters.decodedOnLoad;
        QImage *lent = !warm.isNull() ? &warm : m_spares.isEmpty() ? nullptr : &m_spares.last();
        // Both processors for this page: the rest of the page on screen waits, to be
        // dropped once this one has loaded, or to go on should it fail.
        if (m_rest)
            m_rest->pause(true);
        picture = view.isValid() ? forms::LoadPictureTop(path, error, lent, view, &rest)
                                 : forms::LoadPicture(path, error, lent);
        m_spares.removeIf([](const QImage &spare) { return spare.isNull(); });
        releaseLater(std::exchange(warm, QImage()));  // not taken: another size
        if (picture.isNull()) {
            if (m_rest)
                m_rest->pause(false);
            postSubmit();
            return picture;
        }
    }

    // The page on screen whose rest is still decoding is left for this one: its rest is
    // dropped, and that page, never whole, is let go.
    const bool leftWhole = !m_rest || picture.cacheKey() == m_current.cacheKey();
    if (!leftWhole) {
        m_rest->cancel();
        m_rest = {};
        m_beforeRest = {};
    }
    if (path != m_currentPath && !m_current.isNull() && leftWhole && pagesWithinBudget() > 0
        && !findAhead(m_currentPath)) {
        // The page left behind is a neighbour of the new one after a step: the next
        // prefetch keeps it or drops it.
        Decoded previous{m_current, {}, m_currentStamp, {}};
        Entry entry{std::make_shared<Job>(m_currentPath), QtFuture::makeReadyFuture(previous), true};
        entry.job->state = Running;
        m_ahead.append(std::move(entry));
    } else if (path == m_currentPath) {
        keepAsSpare(std::exchange(m_current, QImage()));
    }
    if (rest) {
        // Kept whole only if the budget holds it (it is then a neighbour read ahead too).
        const bool keep = leftWhole && pagesWithinBudget() > 0;
        m_beforeRest = {m_currentPath, keep ? m_current : QImage(), m_currentStamp};
        m_rest = rest;
        // The rest starts once the top rows are painted: on two processors, a worker
        // started now would take the time of the display server and of the repaint.
        if (!std::exchange(m_restStartPosted, true))
            QCoreApplication::postEvent(this, new QEvent(StartRestEvent), Qt::LowEventPriority);
    }
    // Still on screen: the page window lets it go when it takes the new page, and the
    // last reference is dropped on another thread after the paint.
    if (path != m_currentPath && !findAhead(m_currentPath))
        releaseLater(std::exchange(m_current, QImage()));
    m_currentPath = path;
    m_current = picture;
    m_currentStamp = now;
    if (view.isValid())
        m_view = view;
    postSubmit();
    forms::timingMark("loaded", fromGuess ? QStringLiteral("guessed")
                                : rest ? QStringLiteral("top rows")
                                : QStringLiteral("whole"));
    return picture;
}

void PageCache::startRest()
{
    // The new page is on screen: the pages let go are freed before the rest fills its own,
    // and the parts in view of its neighbours are decoded first (a rest running, only they
    // are submitted): they are small, and the next step may come before the rest is over.
    submitPending();
    if (!m_rest || m_rest->isDone())
        return;
    QList<QFuture<Decoded>> parts;
    for (const Entry &entry : m_ahead) {
        if (entry.submitted && entry.job->view.isValid())
            parts.append(entry.future);
    }
    m_restPool.start([this, rest = m_rest, parts] {
        // A part whose file stalls (a network folder) is not waited for long.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(PartsFirstMs);
        for (const QFuture<Decoded> &part : parts) {
            while (!part.isFinished() && !rest->isDone() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        rest->run();
        QMetaObject::invokeMethod(this, [this, rest] {
            if (rest == m_rest && m_restOver)
                m_restOver();
            postSubmit();
        }, Qt::QueuedConnection);
    });
}

PageCache::RestOutcome PageCache::finishRest(QImage *picture, forms::Error *error, bool wait)
{
    if (!m_rest)
        return RestOutcome::None;
    if (!wait && !m_rest->isDone())
        return RestOutcome::Running;
    const std::shared_ptr<forms::PictureRest> rest = std::exchange(m_rest, {});
    Previous previous = std::exchange(m_beforeRest, {});
    postSubmit();
    QImage replacement;
    if (rest->wait(&replacement, error)) {
        // Its memory is lent to the next decode, or let go off this thread.
        keepAsSpare(std::move(previous.picture));
        return RestOutcome::Whole;
    }
    if (!replacement.isNull()) {
        keepAsSpare(std::move(previous.picture));
        m_current = replacement;
        *picture = replacement;
        return RestOutcome::Replaced;
    }
    // As if the broken page had never loaded.
    m_ahead.removeIf([&](const Entry &entry) { return entry.job->path == previous.path; });
    if (previous.picture.isNull() && !previous.path.isEmpty()) {
        // Not kept (beyond the budget, or never whole): read again. Should that fail too,
        // the page window is left empty; the message names the broken page all the same.
        previous.stamp = stampOf(previous.path);
        previous.picture = forms::LoadPicture(previous.path, nullptr);
    }
    m_currentPath = previous.path;
    m_current = previous.picture;
    m_currentStamp = previous.stamp;
    *picture = previous.picture;
    return RestOutcome::Failed;
}

qsizetype PageCache::pagesWithinBudget() const
{
    // Neighbouring pages are about the size of the page on screen.
    const qint64 pageBytes = qMax<qint64>(1, m_current.sizeInBytes());
    return qsizetype(m_budget / pageBytes);
}

void PageCache::prefetch(const QStringList &namedPaths)
{
    // None fits whole (a 600-dpi page): the part in view of each, a few MB where written.
    // Without a view (pages loaded by load() alone), the first page named, whole.
    const qsizetype whole = pagesWithinBudget();
    const QSize part = whole > 0 ? QSize() : m_view;
    const QStringList paths = namedPaths.mid(0, whole > 0 ? whole : part.isValid() ? PagesInPart : 1);
    for (qsizetype i = m_ahead.size() - 1; i >= 0; --i) {
        if (!paths.contains(m_ahead[i].job->path) || m_ahead[i].job->view != part) {
            drop(m_ahead[i]);
            m_ahead.removeAt(i);
        }
    }
    for (const QString &path : paths) {
        if (path.isEmpty() || path == m_currentPath || findAhead(path))
            continue;
        m_ahead.append(Entry{std::make_shared<Job>(path, part), {}, false});
    }
    postSubmit();
}

void PageCache::postSubmit()
{
    const bool work = !m_releases.isEmpty() || !m_spares.isEmpty()
        || std::any_of(m_ahead.cbegin(), m_ahead.cend(),
                       [](const Entry &entry) { return !entry.submitted; });
    if (!work || m_submitPosted)
        return;
    m_submitPosted = true;
    QCoreApplication::postEvent(this, new QEvent(SubmitEvent), Qt::LowEventPriority);
}

bool PageCache::event(QEvent *event)
{
    if (event->type() == StartRestEvent) {
        // As for the decodes ahead: the display server puts the new page on the screen first.
        QTimer::singleShot(SubmitGraceMs, this, [this] {
            m_restStartPosted = false;
            startRest();
        });
        return true;
    }
    if (event->type() == SubmitEvent) {
        QCoreApplication::postEvent(this, new QEvent(SubmitAfterRepaintEvent), Qt::LowEventPriority);
        return true;
    }
    if (event->type() == SubmitAfterRepaintEvent) {
        QTimer::singleShot(SubmitGraceMs, this, [this] {
            m_submitPosted = false;
            submitPending();
        });
        return true;
    }
    return QObject::event(event);
}

void PageCache::submitPending()
{
    // Pictures let go are freed now that the new page is on screen, rest or no rest:
    // jumps that come faster than each page's rest would otherwise pile them up.
    startReleases();
    // The rest of the page on screen comes before pages read ahead whole (its end submits
    // again); parts in view are small, and the next step may come before the rest is over.
    const bool restRunning = m_rest && !m_rest->isDone();
    for (Entry &entry : m_ahead) {
        const bool part = entry.job->view.isValid();
        if (entry.submitted || entry.job->state != Queued || (restRunning && !part))
            continue;
        entry.submitted = true;
        // The memory of a page let go, if there is one, takes a whole page.
        QImage spare = m_spares.isEmpty() || part ? QImage() : m_spares.takeLast();
        entry.future = QtConcurrent::run(
            m_pool, [job = entry.job, hook = m_startHook, spare = std::move(spare)]() mutable {
                int expected = Queued;
                if (!job->state.compare_exchange_strong(expected, Running))
                    return Decoded{};
                Decoded result;
                // Before the read: a file replaced in between shows as changed at load time.
                result.stamp = stampOf(job->path);
                if (hook)
                    hook(job->path, false);
                QByteArray bytes;
                if (!forms::ReadPictureFile(job->path, &result.error, &bytes) || job->cancelled)
                    return result;
                job->fileRead = true;
                if (hook)
                    hook(job->path, true);
                if (job->view.isValid())
                    result.picture = forms::DecodePictureTop(job->path, std::move(bytes), &result.error,
                                                             nullptr, job->view, &result.rest);
                else
                    result.picture = forms::DecodePicture(job->path, bytes, &result.error, &spare,
                                                          &job->cancelled);
                return result;
            });
    }
    if (restRunning)
        return;
    for (QImage &spare : m_spares)
        releaseLater(std::move(spare));
    m_spares.clear();
    startReleases();
}

void PageCache::startReleases()
{
    if (m_releases.isEmpty())
        return;
    // Handed over under a lock ThreadSanitizer sees: the pool's own hand-off of a task's
    // captures is hidden from it. Never destroyed, as a task may outlive its cache.
    struct Outbox {
        std::mutex mutex;
        QList<std::function<void()>> releases;
    };
    static Outbox &outbox = *new Outbox;
    {
        const std::lock_guard lock(outbox.mutex);
        outbox.releases.append(std::move(m_releases));
    }
    m_releases.clear();
    QThreadPool::globalInstance()->start([] {
        QList<std::function<void()>> releases;
        {
            const std::lock_guard lock(outbox.mutex);
            releases.swap(outbox.releases);
        }
        for (std::function<void()> &release : releases)
            release();
    });
}

void PageCache::drop(Entry &entry)
{
    int expected = Queued;
    if (entry.job->state.compare_exchange_strong(expected, Claimed))
        return;  // never started; the worker will skip it
    if (entry.future.isFinished())
        releaseDecoded(entry.future.takeResult());
    else  // it would hold up the decodes of the page now wanted
        leaveBehind(entry.job, QFuture<void>(entry.future));
    entry.future = {};
}

void PageCache::leaveBehind(std::shared_ptr<Job> job, QFuture<void> future)
{
    job->cancelled = true;
    m_leftBehind.removeIf([](const LeftBehind &left) { return left.future.isFinished(); });
    m_leftBehind.append({std::move(job), std::move(future)});
}

// A page let go lends its memory to the next page decoded: faulting in fresh memory for
// a 300-dpi page costs a fifth of its decode, and unmapping the old one costs more.
// (A picture still on screen is held by the page window and is not lent.)
void PageCache::keepAsSpare(QImage picture)
{
    if (picture.isDetached() && m_spares.size() < qMin(MaxSpares, pagesWithinBudget()))
        m_spares.append(std::move(picture));
    else
        releaseLater(std::move(picture));
}

// Unmapping a page holds up the page faults of a decode running meanwhile: this reference
// to a picture is dropped on another thread, once the new page is on screen. (Where it is
// not the last, the last holder frees it: the page window, as it takes the next page.)
void PageCache::releaseLater(QImage picture)
{
    if (picture.isNull())
        return;
    m_releases.append([picture = std::move(picture)]() mutable { picture = QImage(); });
}

// The picture of a neighbour read ahead by its part in view, for a page not read ahead
// to be decoded into: its rows in view are faulted in already. At 4K the first touch of
// a fresh picture's part in view made that decode 60-80 ms here, against 21-34 ms in a
// neighbour's memory. Its rest, never run, lets go of the picture and the file's bytes.
QImage PageCache::takePartInViewMemory(Entry &entry)
{
    Decoded decoded = entry.future.takeResult();
    if (decoded.rest)
        decoded.rest->cancel();
    decoded.rest.reset();
    return std::move(decoded.picture);
}

// A page read ahead in part holds its file's bytes and, in its rest, the picture again.
void PageCache::releaseDecoded(Decoded decoded)
{
    if (!decoded.rest) {
        keepAsSpare(std::move(decoded.picture));
        return;
    }
    decoded.rest->cancel();
    m_releases.append([dropped = std::move(decoded)]() mutable { dropped = {}; });
}

void PageCache::guess(const QString &path, QSize view)
{
    if (m_guess.job && m_guess.job->path == path && m_guess.view == view)
        return;
    takeGuess({}, {}, {});
    // A page in memory needs no guess. Any view is guessed: with no page let go to write
    // into (none at 600 dpi), even a 1024x768 screen's part in view took up to 55 ms at
    // Enter, as fresh memory faults in.
    if (path.isEmpty() || path == m_currentPath || findAhead(path))
        return;
    m_guess = {std::make_shared<Job>(path), view, {}};
    // Ahead of any read-ahead still queued: the typist is about to press Enter.
    m_guess.future = QtConcurrent::task([job = m_guess.job, view] {
                         Guess guess;
                         int expected = Queued;
                         if (!job->state.compare_exchange_strong(expected, Running))
                             return guess;
                         guess.stamp = stampOf(job->path);
                         QByteArray bytes;
                         forms::Error error;
                         if (!forms::ReadPictureFile(job->path, &error, &bytes) || job->cancelled)
                             return guess;
                         job->fileRead = true;
                         guess.picture = forms::DecodePictureTop(job->path, std::move(bytes), &error,
                                                                 nullptr, view, &guess.rest);
                         return guess;
                     })
                         .onThreadPool(*m_pool)
                         .withPriority(1)
                         .spawn();
}

PageCache::Guess PageCache::takeGuess(const QString &path, QSize view, const FileStamp &now)
{
    Guessing guessing = std::exchange(m_guess, {});
    if (!guessing.job)
        return {};
    int expected = Queued;
    if (guessing.job->state.compare_exchange_strong(expected, Claimed))
        return {};  // never started
    const bool wanted = guessing.job->path == path && guessing.view == view && now.exists;
    if (!wanted || (!guessing.job->fileRead && !guessing.future.isFinished())) {
        // Not this page, or still reading a file that may never end: left to finish on
        // its own; what it made is freed on its worker.
        leaveBehind(guessing.job, QFuture<void>(guessing.future));
        return {};
    }
    // Only the decode of the part in view is left: as long as a load would take.
    Guess guess = guessing.future.takeResult();
    if (guess.stamp != now || guess.picture.isNull()) {
        // Changed since, or broken: a load of its own gives the result and the error of
        // this moment.
        m_releases.append([dropped = std::move(guess)]() mutable { dropped = {}; });
        return {};
    }
    return guess;
}

void PageCache::setDecodeStartHookForTesting(std::function<void(const QString &path, bool fileRead)> hook)
{
    m_startHook = std::move(hook);
}

void PageCache::waitForIdleForTesting()
{
    submitPending();
    m_pool->waitForDone();
    QThreadPool::globalInstance()->waitForDone();
}
