// The forms runtime stand-ins: screen metrics, the page list and picture decoding.

#include "testsupport.h"

#include <QBuffer>
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
    QCOMPARE(forms::joinPath(QStringLiteral("/pages"), QStringLiteral("1.jpg")),
             QStringLiteral("/pages/1.jpg"));
    // A folder at the root already ends in one; the doubled separator still opens.
    QCOMPARE(forms::joinPath(QStringLiteral("/"), QStringLiteral("1.jpg")),
             QStringLiteral("//1.jpg"));
    QCOMPARE(forms::joinPath(QStringLiteral("/pages"), QString()), QStringLiteral("/pages/"));
}

void FormsTest::listPages_ordersNumbersByValueAndIgnoresCase()
{
    ProgramFolder folder;
    for (const char *name : {"page10.jpg", "page9.jpg", "Page1.JPG", "page2.Jpg", "b.jpg", "B.jpg",
                             "a b.jpg", "หน้า1.jpg", ".hidden.jpg", "2.jpg.txt", "x.jpgx"})
        folder.addFile(QString::fromUtf8(name), "x");
    const QStringList pages = forms::listPages(folder.dir.path());
    // Hidden files stay hidden, as in a file manager.
    QCOMPARE(pages, QStringList({"a b.jpg", "B.jpg", "b.jpg", "Page1.JPG",
                                 "page2.Jpg", "page9.jpg", "page10.jpg", "หน้า1.jpg"}));
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

    const struct {
        const char *name;
        int number;
    } cases[] = {{"missing.jpg", forms::ErrFileNotFound},
                 {"text.jpg", forms::ErrInvalidPicture},
                 {"dir.jpg", forms::ErrPermissionDenied}};
    for (const auto &c : cases) {
        forms::Error error;
        const QString path = folder.path(QLatin1String(c.name));
        QVERIFY(forms::LoadPicture(path, &error).isNull());
        QCOMPARE(error.number, c.number);
        QVERIFY2(error.description.contains(path), qPrintable(error.description));
    }
}

ZORVANE_TEST_MAIN(FormsTest)
#include "tst_forms.moc"
