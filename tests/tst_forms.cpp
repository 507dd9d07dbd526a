// The forms runtime stand-ins: paths, the page list and the failures of picture decoding.

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
    void joinPath_alwaysAddsTheSeparator();
    void listPages_ordersNumbersByValueAndIgnoresCase();
    void loadPicture_namesTheReasonOfAFailure();
};

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
    ProgramFolder folder;
    for (const char *name : {"page10.jpg", "page9.jpg", "Page1.JPG", "page2.Jpg", "b.jpg", "B.jpg",
                             "a b.jpg", "หน้า1.jpg", ".hidden.jpg", "2.jpg.txt", "x.jpgx"})
        folder.addFile(QString::fromUtf8(name), "x");
    QStringList pages = forms::listPages(folder.dir.path());
    // Hidden files stay hidden, as in a file manager.
    QStringList expected({"a b.jpg", "B.jpg", "b.jpg", "Page1.JPG", "page2.Jpg", "page9.jpg",
                          "page10.jpg", "หน้า1.jpg"});
    // Where the file system ignores case (Windows), B.jpg was written into b.jpg.
    if (QFileInfo::exists(folder.path(QStringLiteral("PAGE10.JPG"))))
        expected.removeOne(QStringLiteral("B.jpg"));
    // Where Thai goes among Latin names is the system collation's choice.
    QVERIFY(pages.removeOne(QString::fromUtf8("หน้า1.jpg")));
    expected.removeLast();
    QCOMPARE(pages, expected);
    QVERIFY(forms::listPages(folder.path(QStringLiteral("missing"))).isEmpty());
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
