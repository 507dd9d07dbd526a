// Pages decoded ahead: used only while their files are unchanged, waited for when in
// flight, dropped when no longer wanted, never a different picture or error than a direct load.

#include "testsupport.h"

#include "viewer/page_cache.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDateTime>
#include <QImageReader>
#include <QImageWriter>
#include <QMutex>
#include <QSemaphore>

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

QByteArray jpegBytes(const QImage &image, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// A plain 64x96 page made exactly 2000 bytes long with a comment segment.
QByteArray paddedPage(QColor colour)
{
    QImage page(64, 96, QImage::Format_RGB32);
    page.fill(colour);
    QByteArray jpeg = jpegBytes(page);
    const qsizetype text = 2000 - jpeg.size() - 4;  // after the marker and length field
    QByteArray comment("\xFF\xFE", 2);
    comment += char((text + 2) >> 8);
    comment += char((text + 2) & 0xFF);
    return jpeg.insert(2, comment + QByteArray(text, ' '));
}

// A page with detail in every band of rows, so that a band decoded wrongly shows.
QImage busyPage(QSize size, bool grey = false)
{
    QImage page(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(page.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int v = (x * 7 + y * 13 + ((x ^ y) & 31) * 5) & 255;
            line[x] = grey ? qRgb(v, v, v) : qRgb(v, (x + 2 * y) & 255, (255 - v + y) & 255);
        }
    }
    return grey ? page.convertToFormat(QImage::Format_Grayscale8) : page;
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

} // namespace

class PageCacheTest : public QObject
{
    Q_OBJECT

private slots:
    void load_usesThePageDecodedAheadWhileItsFileIsUnchanged();
    void load_ofAFileChangedOrDeletedSinceGivesWhatIsOnDiskNow();
    void load_waitsForAPageInFlightButDecodesOneStillQueuedItself();
    void load_leavesAReadAheadStuckOnItsFileBehind();
    void prefetch_dropsPagesNoLongerNamedAndCancelsTheirDecodes();
    void prefetch_decodesIntoTheMemoryOfAPageLetGo();
    void load_reportsExactlyTheErrorsOfADirectLoad();
    void load_givesQtsPictureForColourGreyProgressiveAndTurnedPages();
};

void PageCacheTest::load_usesThePageDecodedAheadWhileItsFileIsUnchanged()
{
    Folder f;
    f.pages({"1.jpg", "2.jpg", "3.jpg"});
    PageCache cache;
    forms::Error error;
    QVERIFY(showThenReadAhead(cache, f("1.jpg"), {f("2.jpg")}));
    loadLikeDirect(cache, f("2.jpg"), &error);
    QCOMPARE(cache.counters().fromMemory, 1);
    cache.prefetch({f("3.jpg"), f("1.jpg")});
    // The page left behind is still there for a step back, and the page on screen for a reload.
    loadLikeDirect(cache, f("1.jpg"), &error);
    loadLikeDirect(cache, f("1.jpg"), &error);
    QCOMPARE(cache.counters().fromMemory, 3);
    QCOMPARE(cache.counters().decodedOnLoad, 1);
}

void PageCacheTest::load_ofAFileChangedOrDeletedSinceGivesWhatIsOnDiskNow()
{
    Folder f;
    f.pages({"1.jpg", "2.jpg", "4.jpg"});
    f.addFile(QStringLiteral("3.jpg"), paddedPage(Qt::red));
    const QDateTime modified = QFileInfo(f("3.jpg")).lastModified();
    PageCache cache;
    forms::Error error;
    QVERIFY(showThenReadAhead(cache, f("1.jpg"), {f("2.jpg"), f("3.jpg"), f("4.jpg")}));
    QVERIFY(QFile::remove(f("4.jpg")));
    loadLikeDirect(cache, f("4.jpg"), &error);
    QCOMPARE(error.number, forms::ErrFileNotFound);

    // Another size; then the same size with another modification time.
    f.addPage(QStringLiteral("2.jpg"), {64, 100}, Qt::blue);
    loadLikeDirect(cache, f("2.jpg"), &error);
    f.addFile(QStringLiteral("3.jpg"), paddedPage(Qt::green));
    QFile file(f("3.jpg"));
    QVERIFY(file.open(QIODevice::ReadWrite) && file.size() == 2000);
    QVERIFY(file.setFileTime(modified.addSecs(-3600), QFileDevice::FileModificationTime));
    file.close();
    loadLikeDirect(cache, f("3.jpg"), &error);

    // The page on screen, rewritten and then deleted.
    f.addPage(QStringLiteral("3.jpg"), {70, 96}, Qt::yellow);
    loadLikeDirect(cache, f("3.jpg"), &error);
    QVERIFY(QFile::remove(f("3.jpg")));
    loadLikeDirect(cache, f("3.jpg"), &error);
    QCOMPARE(error.number, forms::ErrFileNotFound);
    QCOMPARE(cache.counters().fromMemory, 0);
}

void PageCacheTest::load_waitsForAPageInFlightButDecodesOneStillQueuedItself()
{
    Folder f;
    f.pages({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
    DecodeGate gate;
    PageCache cache;
    gate.install(cache);
    QVERIFY(showThenReadAhead(cache, f("d.jpg"), {f("a.jpg"), f("b.jpg"), f("c.jpg")}, false));
    gate.started.acquire(2);  // both workers held; the third page waits in the queue

    // Lets the held pages go a little after the queued page is loaded, or after 10 s should
    // that load wait for them: the load of a page in flight then (very likely) waits.
    QSemaphore loaded;
    std::atomic_bool waited = false;
    std::thread opener([&] {
        waited = !loaded.tryAcquire(1, 10000);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        gate.go.release(2);
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
    QCOMPARE(gate.names, QStringList({"a.jpg", "b.jpg"}));  // c was never decoded ahead
}

void PageCacheTest::load_leavesAReadAheadStuckOnItsFileBehind()
{
    Folder f;
    f.pages({"a.jpg", "b.jpg"});
    // b's read ahead hangs in its file, as on a stalled network folder, until the end.
    QSemaphore stuck, unstick;
    auto cache = std::make_unique<PageCache>();
    cache->setDecodeStartHookForTesting([&](const QString &path, bool fileRead) {
        if (!fileRead && path.endsWith(QLatin1String("b.jpg"))) {
            stuck.release();
            unstick.acquire();
        }
    });
    QVERIFY(showThenReadAhead(*cache, f("a.jpg"), {f("b.jpg")}, false));
    stuck.acquire();
    // Unsticks the read after 10 s should the step or the end wait for it.
    std::atomic_bool waited = false;
    QSemaphore done;
    std::thread watchdog([&] {
        waited = !done.tryAcquire(1, 10000);
        unstick.release();
    });
    forms::Error error;
    loadLikeDirect(*cache, f("b.jpg"), &error);
    QCOMPARE(cache->counters().decodedOnLoad, 2);
    cache.reset();  // nor does the end wait for it
    done.release();
    watchdog.join();
    QVERIFY(!waited);
}

void PageCacheTest::prefetch_dropsPagesNoLongerNamedAndCancelsTheirDecodes()
{
    Folder f;
    f.pages({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"});
    DecodeGate gate;
    PageCache cache;
    gate.install(cache);
    cache.prefetch({f("a.jpg"), f("b.jpg"), f("c.jpg")});
    cache.startDecodesForTesting();
    gate.started.acquire(2);
    // c has not started: naming other pages cancels it; a and b finish and are dropped.
    cache.prefetch({f("d.jpg")});
    gate.go.release(10);
    cache.waitForIdleForTesting();
    gate.names.sort();
    QCOMPARE(gate.names, QStringList({"a.jpg", "b.jpg", "d.jpg"}));
    forms::Error error;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
        loadLikeDirect(cache, f(name), &error);
    QCOMPARE(cache.counters().fromMemory, 0);
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

void PageCacheTest::prefetch_decodesIntoTheMemoryOfAPageLetGo()
{
    Folder f;
    // The first page says more about itself (colour profile, resolution) than the third.
    QImage tagged = busyPage({200, 300});
    tagged.setColorSpace(QColorSpace::AdobeRgb);
    tagged.setDotsPerMeterX(11811);
    tagged.setDotsPerMeterY(11811);
    f.addFile(QStringLiteral("1.jpg"), jpegBytes(tagged));
    f.addFile(QStringLiteral("2.jpg"), jpegBytes(busyPage({200, 300})));
    QByteArray plain = jpegBytes(busyPage({200, 300}, true).convertToFormat(QImage::Format_RGB32));
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

void PageCacheTest::load_reportsExactlyTheErrorsOfADirectLoad()
{
    Folder f;
    f.pages({"good.jpg"});
    f.addFile(QStringLiteral("text.jpg"), "hello");
    const QByteArray whole = f.read(QStringLiteral("good.jpg"));
    f.addFile(QStringLiteral("cut.jpg"), whole.left(whole.size() / 2));
    QDir(f.dir.path()).mkdir(QStringLiteral("dir.jpg"));
    f.addFile(QStringLiteral("later.jpg"), "not yet a picture");
    QStringList paths;
    for (const char *name : {"missing.jpg", "text.jpg", "cut.jpg", "dir.jpg", "later.jpg"})
        paths << f(name);
    PageCache cache;
    QVERIFY(showThenReadAhead(cache, f("good.jpg"), paths));
    // Broken when read ahead, whole by the time it is wanted.
    f.addPage(QStringLiteral("later.jpg"), {30, 40}, Qt::blue);
    forms::Error error;
    for (const QString &path : paths)
        loadLikeDirect(cache, path, &error);
    QCOMPARE(error.number, 0);  // later.jpg loaded
}

void PageCacheTest::load_givesQtsPictureForColourGreyProgressiveAndTurnedPages()
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
        {"grey.jpg", jpegBytes(busyPage({1000, 1200}, true))},
        {"progressive.jpg", jpegBytes(busyPage({1000, 1100}), true)},
        {"turned.jpg", jpegBytes(busyPage({300, 200})).insert(2, turnedRight)},
        {"upside-down.jpg", QByteArray(plain).insert(2, upsideDown)}};
    PageCache cache;
    for (const auto &[name, bytes] : files) {
        f.addFile(name, bytes);
        forms::Error error;
        const QImage picture = cache.load(f.path(name), &error);
        const QImage expected = qtDecode(f.path(name));
        QVERIFY2(!picture.isNull(), qPrintable(error.description));
        QCOMPARE(picture.dotsPerMeterX(), expected.dotsPerMeterX());
        QVERIFY2(picture == expected, qPrintable(name));  // size, format and every pixel
    }
    // The turns were made at all.
    QCOMPARE(cache.load(f("turned.jpg"), nullptr).size(), QSize(200, 300));
    QCOMPARE(cache.load(f("upside-down.jpg"), nullptr),
             qtDecode(f("plain.jpg")).mirrored(true, true));
}

ZORVANE_TEST_MAIN(PageCacheTest)
#include "tst_page_cache.moc"
