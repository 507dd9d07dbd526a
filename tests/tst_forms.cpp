// The forms runtime stand-ins: screen metrics, the page list and picture decoding.

#include "odd_page_files.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>

using testsupport::ProgramFolder;

namespace {

QByteArray jpegBytes(const QImage &image, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// Inserts an EXIF block that says how the camera was turned.
QByteArray withExifOrientation(QByteArray jpeg, quint16 orientation)
{
    QByteArray tiff("MM\x00\x2A\x00\x00\x00\x08", 8);
    tiff += QByteArray("\x00\x01", 2);                              // one entry
    tiff += QByteArray("\x01\x12\x00\x03\x00\x00\x00\x01", 8);      // Orientation, SHORT, 1
    tiff += char(orientation >> 8);
    tiff += char(orientation & 0xFF);
    tiff += QByteArray(2, '\0');
    tiff += QByteArray(4, '\0');                                    // no next IFD
    const QByteArray payload = QByteArray("Exif\x00\x00", 6) + tiff;
    QByteArray segment("\xFF\xE1", 2);
    const int length = int(payload.size()) + 2;
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    segment += payload;
    jpeg.insert(2, segment);
    return jpeg;
}

// A progressive page whose last scan is repeated: each repeat is a few bytes, yet a
// decoder walks the whole picture for each.
QByteArray withRepeatedLastScan(const QByteArray &jpeg, int repeats)
{
    const qsizetype end = jpeg.lastIndexOf("\xFF\xD9");
    const qsizetype last = jpeg.lastIndexOf("\xFF\xDA");
    return jpeg.left(end) + jpeg.mid(last, end - last).repeated(repeats) + jpeg.mid(end);
}

} // namespace

class FormsTest : public QObject
{
    Q_OBJECT

private slots:
    void screen_givesTwipsAtNinetySixDpi();
    void joinPath_alwaysAddsTheSeparator();
    void listPages_ordersNumbersByValueAndIgnoresCase();
    void loadPicture_decodesGreyProgressiveAndTurnedPages();
    void loadPicture_namesTheReasonOfAFailure();
};

void FormsTest::screen_givesTwipsAtNinetySixDpi()
{
    QCOMPARE(forms::Screen::TwipsPerPixelX(), 15);
    QCOMPARE(forms::Screen::TwipsPerPixelY(), 15);
    QCOMPARE(forms::Screen::Width(), 15360.0);
    QCOMPARE(forms::Screen::Height(), 11520.0);
}

void FormsTest::joinPath_alwaysAddsTheSeparator()
{
    // The platform's own separator ("\\" on Windows), as messages quote the path.
    const QString sep = QDir::separator();
    QCOMPARE(forms::joinPath(QStringLiteral("/pages"), QStringLiteral("1.jpg")),
             "/pages" + sep + "1.jpg");
    // A folder at the root already ends in one; the doubled separator still opens.
    QCOMPARE(forms::joinPath(sep, QStringLiteral("1.jpg")), sep + sep + "1.jpg");
    QCOMPARE(forms::joinPath(QStringLiteral("/pages"), QString()), "/pages" + sep);
}

void FormsTest::listPages_ordersNumbersByValueAndIgnoresCase()
{
    // One order on every system, as ICU orders the names on Linux: numbers by value (Thai
    // digits too), punctuation before numbers before letters, case and accents only
    // between names otherwise equal, Latin before Thai, a Thai leading vowel after its
    // consonant and tone marks last.
    const QStringList expected = QString::fromUtf8(
        "3.jpg|007.jpg|๑๐.jpg|20.jpg|a b.jpg|a_1.jpg|a-1.jpg|a.jpg|Ä.jpg|B.jpg|b.jpg|c.jpg|"
        "Page1.JPG|page2.Jpg|page9.jpg|page10.jpg|α.jpg|กา.jpg|ก่า.jpg|เก.jpg|ไก.jpg|ข.jpg|"
        "หน้า1.jpg|หน้า2.jpg|หน้า10.jpg").split(QLatin1Char('|'));
    ProgramFolder folder;
    for (qsizetype i = expected.size() - 1; i >= 0; --i)
        folder.addFile(expected[(i * 7) % expected.size()], "x");
    for (const char *name : {".hidden.jpg", "2.jpg.txt", "x.jpgx"})
        folder.addFile(QString::fromUtf8(name), "x");
    const QStringList pages = forms::listPages(folder.dir.path());
    // Where the file system ignores case (Windows), b.jpg was written into B.jpg.
    QStringList want = expected;
    if (QFileInfo::exists(folder.path(QStringLiteral("PAGE10.JPG"))))
        want.removeOne(QStringLiteral("b.jpg"));
    // Hidden files stay hidden, as in a file manager.
    QCOMPARE(pages, want);
    QVERIFY(forms::listPages(folder.path(QStringLiteral("missing"))).isEmpty());
}

void FormsTest::loadPicture_decodesGreyProgressiveAndTurnedPages()
{
    ProgramFolder folder;
    QImage grey(30, 50, QImage::Format_Grayscale8);
    grey.fill(128);
    folder.addFile(QStringLiteral("grey.jpg"), jpegBytes(grey));
    QImage colour(40, 20, QImage::Format_RGB32);
    colour.fill(Qt::darkGreen);
    folder.addFile(QStringLiteral("progressive.jpg"), jpegBytes(colour, true));
    folder.addFile(QStringLiteral("turned.jpg"), withExifOrientation(jpegBytes(colour), 6));

    forms::Error error;
    QCOMPARE(forms::LoadPicture(folder.path(QStringLiteral("grey.jpg")), &error).size(),
             QSize(30, 50));
    QCOMPARE(forms::LoadPicture(folder.path(QStringLiteral("progressive.jpg")), &error).size(),
             QSize(40, 20));
    // A phone photo taken upright: the page's size is the turned one.
    QCOMPARE(forms::LoadPicture(folder.path(QStringLiteral("turned.jpg")), &error).size(),
             QSize(20, 40));
}

void FormsTest::loadPicture_namesTheReasonOfAFailure()
{
    ProgramFolder folder;
    folder.addFile(QStringLiteral("text.jpg"), "hello");
    QDir(folder.dir.path()).mkdir(QStringLiteral("dir.jpg"));
    QImage blank(2480, 3508, QImage::Format_RGB32);  // a 300-dpi page
    blank.fill(Qt::white);
    folder.addFile(QStringLiteral("scans.jpg"), withRepeatedLastScan(jpegBytes(blank, true), 100));
    blank = blank.scaled(40, 56);
    folder.addFile(QStringLiteral("1001scans.jpg"), withRepeatedLastScan(jpegBytes(blank, true), 1000));

    QList<testsupport::FailingPage> cases = {
        {QStringLiteral("missing.jpg"), forms::ErrFileNotFound, QStringLiteral("not found")},
        {QStringLiteral("text.jpg"), forms::ErrInvalidPicture, QStringLiteral("not a whole JPEG")},
        {QStringLiteral("dir.jpg"), forms::ErrPermissionDenied, QStringLiteral("folder")},
        {QStringLiteral("scans.jpg"), forms::ErrInvalidPicture, QStringLiteral("more than 64 scans")},
        {QStringLiteral("1001scans.jpg"), forms::ErrInvalidPicture, QStringLiteral("more than 1000 scans")}};
    cases += testsupport::makeOddPageFiles(folder.dir.path());
    for (const auto &c : cases) {
        forms::Error error;
        const QString path = folder.path(c.name);
        QVERIFY2(forms::LoadPicture(path, &error).isNull(), qPrintable(c.name));
        QCOMPARE(error.number, c.number);
        QVERIFY2(error.description.contains(path) && error.description.contains(c.reason),
                 qPrintable(error.description));
    }
}

ZORVANE_TEST_MAIN(FormsTest)
#include "tst_forms.moc"
