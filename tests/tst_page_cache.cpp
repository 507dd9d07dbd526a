// Pages decoded ahead: used only while their files are unchanged, waited for when still
// in flight, dropped when no longer wanted, and never a different picture or error than
// a direct load.

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

using testsupport::ProgramFolder;

namespace {

QByteArray jpegBytes(const QImage &image, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// The JPEG made exactly `total` bytes long with a comment segment after its start marker.
QByteArray paddedTo(QByteArray jpeg, qsizetype total)
{
    const qsizetype length = total - jpeg.size();  // marker (2) + length field (2) + text
    if (length < 4 || length > 0xFFFF)
        return {};
    QByteArray comment("\xFF\xFE", 2);
    comment += char((length - 2) >> 8);
    comment += char((length - 2) & 0xFF);
    comment += QByteArray(length - 4, ' ');
    return jpeg.insert(2, comment);
}

QImage solid(QSize size, QColor colour)
{
    QImage page(size, QImage::Format_RGB32);
    page.fill(colour);
    return page;
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

QRgb centre(const QImage &picture)
{
    return picture.pixel(picture.width() / 2, picture.height() / 2);
}

bool near(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) < 12 && qAbs(qGreen(a) - qGreen(b)) < 12
        && qAbs(qBlue(a) - qBlue(b)) < 12;
}

// Holds each decode ahead at its start until the test lets it go.
struct DecodeGate {
    QSemaphore started;
    QSemaphore go;
    QMutex mutex;
    QStringList names;

    void install(PageCache &cache)
    {
        cache.setDecodeStartHookForTesting([this](const QString &path) {
            {
                QMutexLocker lock(&mutex);
                names << QFileInfo(path).fileName();
            }
            started.release();
            go.acquire();
        });
    }
    QStringList startedNames()
    {
        QMutexLocker lock(&mutex);
        QStringList sorted = names;
        sorted.sort();
        return sorted;
    }
};

} // namespace

class PageCacheTest : public QObject
{
    Q_OBJECT

private slots:
    void load_usesThePageDecodedAheadWhileItsFileIsUnchanged();
    void load_ofAFileDeletedSinceGivesTheNotFoundError();
    void load_ofAFileReplacedSinceGivesTheNewPicture();
    void load_ofAPageStillDecodingWaitsForItAndUsesIt();
    void load_ofAPageQueuedBehindOthersDecodesItWithoutWaiting();
    void prefetch_dropsPagesNoLongerNamedAndCancelsTheirDecodes();
    void prefetch_decodesIntoTheMemoryOfAPageLetGo();
    void load_reportsExactlyTheErrorsOfADirectLoad();
    void load_givesQtsPictureForColourGreyProgressiveAndTurnedPages();
};

void PageCacheTest::load_usesThePageDecodedAheadWhileItsFileIsUnchanged()
{
    ProgramFolder folder;
    for (const char *name : {"1.jpg", "2.jpg", "3.jpg"})
        folder.addPage(QLatin1String(name), {80, 120}, Qt::darkCyan);
    const QString one = folder.path(QStringLiteral("1.jpg"));
    const QString two = folder.path(QStringLiteral("2.jpg"));
    const QString three = folder.path(QStringLiteral("3.jpg"));

    PageCache cache;
    forms::Error error;
    QVERIFY(!cache.load(one, &error).isNull());
    cache.prefetch({two});
    cache.waitForIdleForTesting();

    // A step forward as the panel makes it: the page, then its neighbours.
    const QImage picture = cache.load(two, &error);
    QCOMPARE(picture, forms::LoadPicture(two, &error));
    QCOMPARE(cache.counters().fromMemory, 1);
    QCOMPARE(cache.counters().decodedOnLoad, 1);
    cache.prefetch({three, one});
    cache.waitForIdleForTesting();

    // The page left behind is still there for a step back, and the page on screen for a reload.
    QVERIFY(!cache.load(one, &error).isNull());
    QVERIFY(!cache.load(one, &error).isNull());
    QCOMPARE(cache.counters().fromMemory, 3);
    QCOMPARE(cache.counters().decodedOnLoad, 1);
}

void PageCacheTest::load_ofAFileDeletedSinceGivesTheNotFoundError()
{
    ProgramFolder folder;
    folder.addPage(QStringLiteral("1.jpg"));
    folder.addPage(QStringLiteral("2.jpg"));
    const QString one = folder.path(QStringLiteral("1.jpg"));
    const QString two = folder.path(QStringLiteral("2.jpg"));

    PageCache cache;
    forms::Error error;
    QVERIFY(!cache.load(one, &error).isNull());
    cache.prefetch({two});
    cache.waitForIdleForTesting();
    QVERIFY(QFile::remove(two));
    // The page on screen, deleted too, is no longer in memory either.
    QVERIFY(QFile::remove(one));

    forms::Error direct;
    forms::LoadPicture(two, &direct);
    for (const QString &path : {two, one}) {
        error = {};
        QVERIFY(cache.load(path, &error).isNull());
        QCOMPARE(error.number, forms::ErrFileNotFound);
        forms::LoadPicture(path, &direct);
        QCOMPARE(error.description, direct.description);
    }
}

void PageCacheTest::load_ofAFileReplacedSinceGivesTheNewPicture()
{
    ProgramFolder folder;
    for (const char *name : {"1.jpg", "2.jpg", "3.jpg"})
        folder.addPage(QLatin1String(name), {64, 96}, Qt::red);
    // Room for another picture of the same file size.
    folder.addFile(QStringLiteral("3.jpg"), paddedTo(jpegBytes(solid({64, 96}, Qt::red)), 2000));
    const QString one = folder.path(QStringLiteral("1.jpg"));
    const QString two = folder.path(QStringLiteral("2.jpg"));
    const QString three = folder.path(QStringLiteral("3.jpg"));

    PageCache cache;
    forms::Error error;
    QVERIFY(!cache.load(one, &error).isNull());
    cache.prefetch({two, three});
    cache.waitForIdleForTesting();

    // Another size.
    folder.addPage(QStringLiteral("2.jpg"), {64, 100}, Qt::blue);
    QImage picture = cache.load(two, &error);
    QCOMPARE(picture.size(), QSize(64, 100));
    QVERIFY(near(centre(picture), qRgb(0, 0, 255)));

    // The same size, another modification time.
    QFile file(three);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QDateTime modified = file.fileTime(QFileDevice::FileModificationTime);
    const QByteArray green = paddedTo(jpegBytes(solid({64, 96}, Qt::green)), file.size());
    QCOMPARE(green.size(), file.size());
    file.write(green);
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(modified.addSecs(-3600), QFileDevice::FileModificationTime));
    file.close();
    picture = cache.load(three, &error);
    QVERIFY(near(centre(picture), qRgb(0, 255, 0)));

    // The page on screen, rewritten: a reload shows the new content.
    folder.addPage(QStringLiteral("3.jpg"), {70, 96}, Qt::yellow);
    picture = cache.load(three, &error);
    QVERIFY(near(centre(picture), qRgb(255, 255, 0)));
    QCOMPARE(cache.counters().fromMemory, 0);
}

void PageCacheTest::load_ofAPageStillDecodingWaitsForItAndUsesIt()
{
    ProgramFolder folder;
    folder.addPage(QStringLiteral("1.jpg"));
    folder.addPage(QStringLiteral("2.jpg"), {640, 900}, Qt::magenta);
    const QString two = folder.path(QStringLiteral("2.jpg"));

    DecodeGate gate;
    PageCache cache;
    gate.install(cache);
    forms::Error error;
    QVERIFY(!cache.load(folder.path(QStringLiteral("1.jpg")), &error).isNull());
    cache.prefetch({two});
    cache.startDecodesForTesting();
    gate.started.acquire();  // the decode is in flight and held

    // Let it go only once the load is (very likely) waiting; either way it must be used.
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        gate.go.release();
    });
    const QImage picture = cache.load(two, &error);
    releaser.join();
    QCOMPARE(picture.size(), QSize(640, 900));
    QVERIFY(near(centre(picture), qRgb(255, 0, 255)));
    QCOMPARE(cache.counters().fromMemory, 1);
    QCOMPARE(cache.counters().decodedOnLoad, 1);  // the first page only
}

void PageCacheTest::load_ofAPageQueuedBehindOthersDecodesItWithoutWaiting()
{
    ProgramFolder folder;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
        folder.addPage(QLatin1String(name));

    DecodeGate gate;
    std::atomic_bool opened = false;
    PageCache cache;
    gate.install(cache);
    forms::Error error;
    QVERIFY(!cache.load(folder.path(QStringLiteral("d.jpg")), &error).isNull());
    cache.prefetch({folder.path(QStringLiteral("a.jpg")), folder.path(QStringLiteral("b.jpg")),
                    folder.path(QStringLiteral("c.jpg"))});
    cache.startDecodesForTesting();
    gate.started.acquire(2);  // both workers held; the third page waits in the queue

    // Only a safety net: a load that waited for the held pages would return after this.
    QSemaphore loaded;
    std::thread opener([&] {
        if (!loaded.tryAcquire(1, 10000)) {
            opened = true;
            gate.go.release(100);
        }
    });
    QVERIFY(!cache.load(folder.path(QStringLiteral("c.jpg")), &error).isNull());
    const bool waited = opened;
    loaded.release();
    opener.join();
    if (!opened)
        gate.go.release(2);
    QVERIFY(!waited);
    cache.waitForIdleForTesting();
    QCOMPARE(cache.counters().decodedOnLoad, 2);
    // The page taken back was never decoded ahead.
    QCOMPARE(gate.startedNames(), QStringList({"a.jpg", "b.jpg"}));
}

void PageCacheTest::prefetch_dropsPagesNoLongerNamedAndCancelsTheirDecodes()
{
    ProgramFolder folder;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"})
        folder.addPage(QLatin1String(name));
    const auto path = [&](const char *name) { return folder.path(QLatin1String(name)); };

    DecodeGate gate;
    PageCache cache;
    gate.install(cache);
    forms::Error error;
    cache.prefetch({path("a.jpg"), path("b.jpg"), path("c.jpg")});
    cache.startDecodesForTesting();
    gate.started.acquire(2);
    // c has not started: naming other pages cancels it; a and b finish and are dropped.
    cache.prefetch({path("d.jpg")});
    gate.go.release(10);
    cache.waitForIdleForTesting();
    QCOMPARE(gate.startedNames(), QStringList({"a.jpg", "b.jpg", "d.jpg"}));

    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
        QVERIFY(!cache.load(path(name), &error).isNull());
    QCOMPARE(cache.counters().fromMemory, 0);
    QCOMPARE(cache.counters().decodedOnLoad, 3);

    // A jump to a page not read ahead lets the pages around the old place go as well.
    cache.prefetch({path("d.jpg"), path("b.jpg")});
    cache.waitForIdleForTesting();
    QVERIFY(!cache.load(path("e.jpg"), &error).isNull());
    QVERIFY(!cache.load(path("d.jpg"), &error).isNull());
    QCOMPARE(cache.counters().fromMemory, 0);
}

void PageCacheTest::prefetch_decodesIntoTheMemoryOfAPageLetGo()
{
    ProgramFolder folder;
    // The first page says more about itself (colour profile, resolution) than the third.
    QImage tagged = busyPage({200, 300});
    tagged.setColorSpace(QColorSpace::AdobeRgb);
    tagged.setDotsPerMeterX(11811);
    tagged.setDotsPerMeterY(11811);
    folder.addFile(QStringLiteral("1.jpg"), jpegBytes(tagged));
    folder.addFile(QStringLiteral("2.jpg"), jpegBytes(busyPage({200, 300})));
    QByteArray plain = jpegBytes(busyPage({200, 300}, true).convertToFormat(QImage::Format_RGB32));
    QVERIFY(plain.mid(6, 5) == QByteArray("JFIF\0", 5));
    plain[13] = 0;  // no resolution unit: the picture keeps a new picture's resolution
    folder.addFile(QStringLiteral("3.jpg"), plain);
    const auto path = [&](int page) { return folder.path(QStringLiteral("%1.jpg").arg(page)); };

    PageCache cache;
    forms::Error error;
    const uchar *firstMemory = cache.load(path(1), &error).constBits();
    QVERIFY(qtDecode(path(1)).colorSpace().isValid());
    cache.prefetch({path(2)});
    cache.waitForIdleForTesting();
    QVERIFY(!cache.load(path(2), &error).isNull());
    // Page 1 is let go: page 3 is decoded into its memory, and is page 3 alone.
    cache.prefetch({path(3)});
    cache.waitForIdleForTesting();
    const QImage third = cache.load(path(3), &error);
    QCOMPARE(third.constBits(), firstMemory);
    const QImage expected = qtDecode(path(3));
    QCOMPARE(third, expected);
    QCOMPARE(third.colorSpace(), expected.colorSpace());
    QCOMPARE(third.dotsPerMeterX(), expected.dotsPerMeterX());
    QCOMPARE(cache.counters().fromMemory, 2);
}

void PageCacheTest::load_reportsExactlyTheErrorsOfADirectLoad()
{
    ProgramFolder folder;
    folder.addPage(QStringLiteral("good.jpg"));
    folder.addFile(QStringLiteral("text.jpg"), "hello");
    const QByteArray whole = folder.read(QStringLiteral("good.jpg"));
    folder.addFile(QStringLiteral("cut.jpg"), whole.left(whole.size() / 2));
    QDir(folder.dir.path()).mkdir(QStringLiteral("dir.jpg"));
    folder.addFile(QStringLiteral("later.jpg"), "not yet a picture");

    QStringList paths;
    for (const char *name : {"missing.jpg", "text.jpg", "cut.jpg", "dir.jpg", "later.jpg"})
        paths << folder.path(QLatin1String(name));
    PageCache cache;
    forms::Error error;
    QVERIFY(!cache.load(folder.path(QStringLiteral("good.jpg")), &error).isNull());
    cache.prefetch(paths);
    cache.waitForIdleForTesting();
    // Broken when read ahead, whole by the time it is wanted.
    folder.addPage(QStringLiteral("later.jpg"), {30, 40}, Qt::blue);

    for (const QString &path : paths) {
        forms::Error direct;
        const QImage expected = forms::LoadPicture(path, &direct);
        error = {};
        const QImage picture = cache.load(path, &error);
        QCOMPARE(picture, expected);
        QCOMPARE(error.number, direct.number);
        QCOMPARE(error.description, direct.description);
    }
    QVERIFY(error.description.isEmpty());  // later.jpg loaded
}

void PageCacheTest::load_givesQtsPictureForColourGreyProgressiveAndTurnedPages()
{
    ProgramFolder folder;
    // Large enough to be decoded in two bands.
    folder.addFile(QStringLiteral("colour.jpg"), jpegBytes(busyPage({900, 1300})));
    folder.addFile(QStringLiteral("odd.jpg"), jpegBytes(busyPage({1001, 1003})));
    folder.addFile(QStringLiteral("grey.jpg"), jpegBytes(busyPage({1000, 1200}, true)));
    folder.addFile(QStringLiteral("progressive.jpg"), jpegBytes(busyPage({1000, 1100}), true));
    // EXIF orientation 6 (turned right), big-endian TIFF header.
    QByteArray turned = jpegBytes(busyPage({300, 200}));
    const QByteArray exif("\xFF\xE1\x00\x22"
                          "Exif\x00\x00"
                          "MM\x00\x2A\x00\x00\x00\x08"
                          "\x00\x01"
                          "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00"
                          "\x00\x00\x00\x00",
                          36);
    turned.insert(2, exif);
    folder.addFile(QStringLiteral("turned.jpg"), turned);
    // Orientation 3 (upside down), little-endian, on a page large enough for two bands.
    const QByteArray plainBytes = jpegBytes(busyPage({1000, 1100}));
    folder.addFile(QStringLiteral("plain.jpg"), plainBytes);
    QByteArray upsideDown = plainBytes;
    upsideDown.insert(2, QByteArray("\xFF\xE1\x00\x22"
                                    "Exif\x00\x00"
                                    "II\x2A\x00\x08\x00\x00\x00"
                                    "\x01\x00"
                                    "\x12\x01\x03\x00\x01\x00\x00\x00\x03\x00\x00\x00"
                                    "\x00\x00\x00\x00",
                                    36));
    folder.addFile(QStringLiteral("upside-down.jpg"), upsideDown);

    PageCache cache;
    for (const char *name : {"colour.jpg", "odd.jpg", "grey.jpg", "progressive.jpg", "turned.jpg",
                             "upside-down.jpg"}) {
        const QString path = folder.path(QLatin1String(name));
        forms::Error error;
        const QImage picture = cache.load(path, &error);
        const QImage expected = qtDecode(path);
        QVERIFY2(!picture.isNull(), qPrintable(error.description));
        QCOMPARE(picture.format(), expected.format());
        QCOMPARE(picture.size(), expected.size());
        QCOMPARE(picture.dotsPerMeterX(), expected.dotsPerMeterX());
        QVERIFY2(picture == expected, name);
    }
    QCOMPARE(cache.load(folder.path(QStringLiteral("turned.jpg")), nullptr).size(), QSize(200, 300));
    // The turn was made at all: the page upside down.
    QCOMPARE(cache.load(folder.path(QStringLiteral("upside-down.jpg")), nullptr),
             qtDecode(folder.path(QStringLiteral("plain.jpg"))).mirrored(true, true));
}

ZORVANE_TEST_MAIN(PageCacheTest)
#include "tst_page_cache.moc"
