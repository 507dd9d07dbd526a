// Pages decoded ahead: used only while their files are unchanged, waited for when in
// flight, dropped when no longer wanted, never a different picture or error than a direct load.

#include "testsupport.h"

#include <QColorSpace>
#include <QDateTime>
#include <QImageReader>
#include <QMutex>
#include <QScopeGuard>
#include <QSemaphore>

#include <array>
#include <atomic>
#include <thread>

namespace {

// A program folder whose files are named plainly: f("1.jpg") is the path of 1.jpg.
struct Folder : testsupport::ProgramFolder {
    QString operator()(const char *name) const { return path(QLatin1String(name)); }
    // Plain pages, each in its own colour so that a wrong one shows.
    void pages(std::initializer_list<const char *> names)
    {
        int colour = Qt::red;
        for (const char *name : names)
            addPage(QLatin1String(name), {64, 96}, Qt::GlobalColor(colour++));
    }
};

using namespace testsupport;

// A plain 64x96 page made exactly 2000 bytes long with a comment segment.
QByteArray paddedPage(QColor colour)
{
    QImage page(64, 96, QImage::Format_RGB32);
    page.fill(colour);
    QByteArray jpeg = jpegBytes(page);
    const qsizetype length = 2000 - jpeg.size() - 2;  // of the segment, after its marker
    const char head[] = {'\xFF', '\xFE', char(length >> 8), char(length & 0xFF)};
    return jpeg.insert(2, QByteArray(head, 4) + QByteArray(length - 2, ' '));
}

// What Qt's own reader makes of the file.
QImage qtDecode(const QString &path)
{
    QImageReader reader(path, "jpeg");
    reader.setAutoTransform(true);
    return reader.read();
}

// Loads the page and checks it is what a direct load gives: the same picture, or error.
void loadLikeDirect(PageCache &cache, const QString &path, forms::Error *error)
{
    forms::Error direct;
    const QImage expected = forms::LoadPicture(path, &direct);
    *error = {};
    QCOMPARE(cache.load(path, error), expected);
    QCOMPARE(error->number, direct.number);
    QCOMPARE(error->description, direct.description);
}

// As the panel does it: the page shown, then its neighbours decoded ahead (to the end, or
// only started). False if the page shown did not load.
bool showThenReadAhead(PageCache &cache, const QString &shown, const QStringList &ahead,
                       bool wait = true)
{
    forms::Error error;
    const bool loaded = !cache.load(shown, &error).isNull();
    cache.prefetch(ahead);
    wait ? cache.waitForIdleForTesting() : cache.startDecodesForTesting();
    return loaded;
}

// Holds each decode ahead at its start until the test lets it go.
struct DecodeGate {
    QSemaphore started, go;
    QMutex mutex;
    QStringList names;  // read once the workers are idle

    void install(PageCache &cache)
    {
        cache.setDecodeStartHookForTesting([this](const QString &path, bool fileRead) {
            if (!fileRead)
                return;
            mutex.lock();
            names << QFileInfo(path).fileName();
            mutex.unlock();
            started.release();
            go.acquire();
        });
    }
};

// How the page was met before the load: decoded ahead, on screen, or on screen and then
// left behind for a step back.
enum Met { ReadAhead, OnScreen, LeftBehind };

} // namespace

class PageCacheTest : public QObject
{
    Q_OBJECT

private slots:
    void load_givesWhatADirectLoadOfTheFileGivesNow_data()
    {
        QTest::addColumn<int>("met");
        QTest::addColumn<QByteArray>("before");  // the file when met: null for none, "/" a folder
        QTest::addColumn<QByteArray>("after");   // the file at the load: null when deleted
        QTest::addColumn<bool>("fromMemory");
        QImage image(64, 96, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QByteArray page = jpegBytes(image);
        const QByteArray cut = page.left(page.size() / 2);
        image.fill(Qt::blue);
        const QByteArray taller = jpegBytes(image.copy(0, 0, 64, 100));
        const auto row = [](const char *name, Met met, const QByteArray &before,
                            const QByteArray &after, bool fromMemory) {
            QTest::newRow(name) << int(met) << before << after << fromMemory;
        };
        row("read ahead, unchanged", ReadAhead, page, page, true);
        row("on screen, loaded again", OnScreen, page, page, true);
        row("left behind, stepped back to", LeftBehind, page, page, true);
        row("read ahead, deleted since", ReadAhead, page, {}, false);
        row("read ahead, another size since", ReadAhead, page, taller, false);
        // Rewritten in the same size, and given an older modification time.
        row("read ahead, another time since", ReadAhead, paddedPage(Qt::red), paddedPage(Qt::green), false);
        row("on screen, rewritten", OnScreen, page, taller, false);
        row("on screen, deleted", OnScreen, page, {}, false);
        row("read ahead broken, whole since", ReadAhead, "not yet", page, false);
        row("missing", ReadAhead, {}, {}, false);
        row("cut short", ReadAhead, cut, cut, false);
        row("a folder", ReadAhead, "/", "/", false);
    }

    void load_givesWhatADirectLoadOfTheFileGivesNow()
    {
        QFETCH(int, met);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(bool, fromMemory);
        Folder f;
        f.pages({"1.jpg"});
        const QString page = f("p.jpg");
        const auto put = [&](const QByteArray &bytes) {
            if (bytes == "/")
                QVERIFY(QDir().mkdir(page));
            else if (!bytes.isNull())
                f.addFile(QStringLiteral("p.jpg"), bytes);
        };
        put(before);
        const QDateTime modified = QFileInfo(page).lastModified();
        PageCache cache;
        forms::Error error;
        if (met != ReadAhead)
            cache.load(page, &error);
        if (met != OnScreen)
            QVERIFY(showThenReadAhead(cache, f("1.jpg"), {page}));
        const int counted = cache.counters().fromMemory;
        if (after != before) {
            QFile::remove(page);
            put(after);
            if (after.size() == before.size()) {
                QFile file(page);
                QVERIFY(file.open(QIODevice::ReadWrite));
                QVERIFY(file.setFileTime(modified.addSecs(-3600), QFileDevice::FileModificationTime));
            }
        }
        loadLikeDirect(cache, page, &error);
        QCOMPARE(cache.counters().fromMemory - counted, int(fromMemory));
    }

    void load_waitsForAPageInFlightButDecodesOneStillQueuedItself()
    {
        Folder f;
        f.pages({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"});
        DecodeGate gate;
        PageCache cache;
        gate.install(cache);
        QVERIFY(showThenReadAhead(cache, f("d.jpg"), {f("a.jpg"), f("b.jpg"), f("e.jpg"), f("c.jpg")}, false));
        gate.started.acquire(3);  // every worker held; the fourth page waits in the queue

        // Lets the held pages go a little after the queued page is loaded, or after 10 s should
        // that load wait for them: the load of a page in flight then (very likely) waits.
        QSemaphore loaded;
        std::atomic_bool waited = false;
        std::thread opener([&] {
            waited = !loaded.tryAcquire(1, 10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            gate.go.release(3);
        });
        forms::Error error;
        const bool shown = !cache.load(f("c.jpg"), &error).isNull();
        loaded.release();
        loadLikeDirect(cache, f("a.jpg"), &error);
        opener.join();
        QVERIFY(shown && !waited);
        QCOMPARE(cache.counters().fromMemory, 1);
        QCOMPARE(cache.counters().decodedOnLoad, 2);
        cache.waitForIdleForTesting();
        gate.names.sort();
        QCOMPARE(gate.names, QStringList({"a.jpg", "b.jpg", "e.jpg"}));  // c was never decoded ahead
    }

    void load_leavesAReadAheadStuckOnItsFileBehind()
    {
        Folder f;
        f.pages({"a.jpg", "b.jpg", "c.jpg"});
        // b's read ahead hangs in its file (a stalled network folder) until the end; c's is held
        // in its decode, past its file read. Semaphores in and out of each, shared with the
        // workers left behind.
        const auto holds = std::make_shared<std::array<QSemaphore, 4>>();
        auto cache = std::make_unique<PageCache>();
        cache->setDecodeStartHookForTesting([holds](const QString &path, bool fileRead) {
            const int hold = path.endsWith(QLatin1String(fileRead ? "c.jpg" : "b.jpg")) ? fileRead * 2 : -1;
            if (hold >= 0) {
                (*holds)[hold].release();
                (*holds)[hold + 1].acquire();
            }
        });
        QVERIFY(showThenReadAhead(*cache, f("a.jpg"), {f("b.jpg"), f("c.jpg")}, false));
        (*holds)[0].acquire();
        (*holds)[2].acquire();
        // c's decode ends after a second; b's read 10 s later, should anything wait for it.
        std::atomic_bool waited = false, decodeOver = false;
        QSemaphore done;
        std::thread watchdog([&] {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            decodeOver = true;
            (*holds)[3].release();
            waited = !done.tryAcquire(1, 10000);
            (*holds)[1].release();
        });
        forms::Error error;
        loadLikeDirect(*cache, f("b.jpg"), &error);
        QCOMPARE(cache->counters().decodedOnLoad, 2);
        cache->prefetch({});  // c dropped while it decodes
        cache.reset();  // the end waits for c's decode, not for b's read
        const bool endWaitedForDecode = decodeOver;
        done.release();
        watchdog.join();
        QVERIFY(!waited);
        QVERIFY(endWaitedForDecode);
    }

    void prefetch_dropsPagesNoLongerNamedAndCancelsTheirDecodes()
    {
        Folder f;
        f.pages({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"});
        DecodeGate gate;
        PageCache cache;
        gate.install(cache);
        cache.prefetch({f("a.jpg"), f("b.jpg"), f("e.jpg"), f("c.jpg")});
        cache.startDecodesForTesting();
        gate.started.acquire(3);
        // c has not started: naming other pages cancels it; a, b and e finish and are dropped.
        cache.prefetch({f("d.jpg")});
        gate.go.release(10);
        cache.waitForIdleForTesting();
        gate.names.sort();
        QCOMPARE(gate.names, QStringList({"a.jpg", "b.jpg", "d.jpg", "e.jpg"}));
        forms::Error error;
        for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
            loadLikeDirect(cache, f(name), &error);
        // A jump to a page not read ahead lets the pages around the old place go as well.
        cache.prefetch({f("d.jpg"), f("b.jpg")});
        cache.waitForIdleForTesting();
        loadLikeDirect(cache, f("e.jpg"), &error);
        loadLikeDirect(cache, f("d.jpg"), &error);
        QCOMPARE(cache.counters().fromMemory, 0);

        // A budget for one page of this size reads ahead only the first page named.
        cache.setReadAheadBudget(64 * 96 * 4 + 100);
        gate.go.release(10);
        cache.waitForIdleForTesting();
        gate.names.clear();
        cache.prefetch({f("a.jpg"), f("b.jpg")});
        cache.waitForIdleForTesting();
        QCOMPARE(gate.names, QStringList({"a.jpg"}));
    }

    void prefetch_decodesIntoTheMemoryOfAPageLetGo()
    {
        Folder f;
        // The first page says more about itself (colour profile, resolution) than the third.
        QImage tagged = busyPage({200, 300});
        tagged.setColorSpace(QColorSpace::AdobeRgb);
        tagged.setDotsPerMeterX(11811);
        tagged.setDotsPerMeterY(11811);
        f.addFile(QStringLiteral("1.jpg"), jpegBytes(tagged));
        f.addFile(QStringLiteral("2.jpg"), jpegBytes(busyPage({200, 300})));
        QByteArray plain = jpegBytes(busyPage({200, 300}, 0, true).convertToFormat(QImage::Format_RGB32));
        QVERIFY(plain.mid(6, 5) == QByteArray("JFIF\0", 5));
        plain[13] = 0;  // no resolution unit: the picture keeps a new picture's resolution
        f.addFile(QStringLiteral("3.jpg"), plain);
        QVERIFY(qtDecode(f("1.jpg")).colorSpace().isValid());

        PageCache cache;
        forms::Error error;
        const uchar *firstMemory = cache.load(f("1.jpg"), &error).constBits();
        QVERIFY(showThenReadAhead(cache, f("2.jpg"), {f("3.jpg")}));  // page 1 let go
        const QImage third = cache.load(f("3.jpg"), &error);
        QCOMPARE(cache.counters().fromMemory, 1);
        QCOMPARE(third.constBits(), firstMemory);
        const QImage expected = qtDecode(f("3.jpg"));
        QCOMPARE(third, expected);
        QCOMPARE(third.colorSpace(), expected.colorSpace());
        QCOMPARE(third.dotsPerMeterX(), expected.dotsPerMeterX());
    }

    void load_givesQtsPictureForColourGreyProgressiveAndTurnedPages()
    {
        Folder f;
        // EXIF orientation 6 (turned right) in a big-endian TIFF header, 3 (upside down) in a
        // little-endian one.
        const QByteArray turnedRight("\xFF\xE1\x00\x22" "Exif\x00\x00" "MM\x00\x2A\x00\x00\x00\x08"
                                     "\x00\x01" "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00"
                                     "\x00\x00\x00\x00", 36);
        const QByteArray upsideDown("\xFF\xE1\x00\x22" "Exif\x00\x00" "II\x2A\x00\x08\x00\x00\x00"
                                    "\x01\x00" "\x12\x01\x03\x00\x01\x00\x00\x00\x03\x00\x00\x00"
                                    "\x00\x00\x00\x00", 36);
        // All but the turned page are large enough to be decoded in two bands.
        const QByteArray plain = jpegBytes(busyPage({1000, 1100}));
        const QList<std::pair<QString, QByteArray>> files = {
            {"plain.jpg", plain},
            {"odd.jpg", jpegBytes(busyPage({1001, 1003}))},
            {"grey.jpg", jpegBytes(busyPage({1000, 1200}, 0, true))},
            {"progressive.jpg", jpegBytes(busyPage({1000, 1100}), true)},
            {"turned.jpg", jpegBytes(busyPage({300, 200})).insert(2, turnedRight)},
            {"upside-down.jpg", QByteArray(plain).insert(2, upsideDown)}};
        PageCache cache;
        for (const auto &[name, bytes] : files) {
            f.addFile(name, bytes);
            forms::Error error;
            const QImage picture = cache.load(f.path(name), &error);
            const QImage expected = qtDecode(f.path(name));
            QVERIFY2(picture == expected, qPrintable(name + u' ' + error.description));  // size, format, pixels
            QCOMPARE(picture.dotsPerMeterX(), expected.dotsPerMeterX());
        }
        // The turns were made at all.
        QCOMPARE(cache.load(f("turned.jpg"), nullptr).size(), QSize(200, 300));
        QCOMPARE(cache.load(f("upside-down.jpg"), nullptr),
                 qtDecode(f("plain.jpg")).mirrored(true, true));
    }

    // Pages too large for the budget to hold one whole beside the page on screen: their part
    // in view is read ahead; a step to one shows it, then the whole page or, should its rest
    // fail, the page before (read again from its file).
    void readAheadInPart_thenTheWholePageOrThePageBefore_orAJumpInItsMemory()
    {
        // Page 2, read ahead in part, is stepped to (its rest whole, or broken), or a jump
        // to page 3 takes its memory, with no trace of page 2 left.
        for (const char *to : {"2.jpg", "broken", "3.jpg"}) {
            const bool broken = qstrcmp(to, "broken") == 0;
            const QString page = QLatin1String(broken ? "2.jpg" : to);
            Folder f;
            f.addBusyPages(1, 3);
            forms::setPictureRestHookForTesting(
                [&](const QString &path) { return !broken || !path.endsWith("2.jpg"); });
            const auto unhook = qScopeGuard([] { forms::setPictureRestHookForTesting({}); });
            PageCache cache;
            cache.setReadAheadBudget(1);
            const QSize view(1024, 300);
            QImage picture;
            cache.loadShowing(f("1.jpg"), nullptr, view);
            QCOMPARE(cache.finishRest(&picture, nullptr), PageCache::RestOutcome::Whole);
            cache.prefetch({f("2.jpg")});
            cache.waitForIdleForTesting();
            const QImage shown = cache.loadShowing(f.path(page), nullptr, view);
            QCOMPARE(cache.counters().fromMemory, page == QLatin1String("2.jpg") ? 1 : 0);
            QCOMPARE(cache.finishRest(&picture, nullptr),
                     broken ? PageCache::RestOutcome::Failed : PageCache::RestOutcome::Whole);
            QCOMPARE(broken ? picture : shown, f.decoded(broken ? QStringLiteral("1.jpg") : page));
        }
    }
};

ZORVANE_TEST_MAIN(PageCacheTest)
#include "tst_page_cache.moc"
