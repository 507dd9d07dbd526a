// The forms runtime stand-ins: paths, the page list and the failures of picture decoding.

#include "odd_page_files.h"
#include "testsupport.h"

#include "platform/picture/jpeg_decoder.h"

using testsupport::jpegBytes;
using testsupport::ProgramFolder;

namespace {

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
    void joinPath_alwaysAddsTheSeparator()
    {
        // The platform's own separator, as messages quote the path; a folder at the root
        // already ends in one, and the doubled separator still opens.
        const QString sep = QDir::separator();
        QCOMPARE(forms::joinPath(QStringLiteral("/pages"), QStringLiteral("1.jpg")), "/pages" + sep + "1.jpg");
        QCOMPARE(forms::joinPath(sep, QStringLiteral("1.jpg")), sep + sep + "1.jpg");
    }

    void listPages_ordersNumbersByValueAndIgnoresCase()
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
        for (const char *name : {".hidden.jpg", "2.jpg.txt", "x.jpgx", "x.jpeg", "scan.png"})
            folder.addFile(QString::fromUtf8(name), "x");
        QDir(folder.dir.path()).mkdir(QStringLiteral("folder.jpg"));
        const QStringList pages = forms::listPages(folder.dir.path());
        // Where the file system ignores case (Windows), b.jpg was written into B.jpg.
        QStringList want = expected;
        if (QFileInfo::exists(folder.path(QStringLiteral("PAGE10.JPG"))))
            want.removeOne(QStringLiteral("b.jpg"));
        // Hidden files stay hidden, as in a file manager; folders and other names are no pages.
        QCOMPARE(pages, want);
        // Listed ahead on a thread of its own, the same; taken once, so that a later
        // listing sees the folder as it is then.
        forms::listPagesAhead(folder.dir.path());
        QCOMPARE(forms::listPages(folder.dir.path()), want);
        folder.addFile(QStringLiteral("0.jpg"), "x");
        QCOMPARE(forms::listPages(folder.dir.path()).constFirst(), QStringLiteral("0.jpg"));
        QVERIFY(forms::listPages(folder.path(QStringLiteral("missing"))).isEmpty());
    }

    void loadPicture_namesTheReasonOfAFailure()
    {
        ProgramFolder folder;
        folder.addFile(QStringLiteral("text.jpg"), "hello");
        QDir(folder.dir.path()).mkdir(QStringLiteral("dir.jpg"));
        QImage blank(2480, 3508, QImage::Format_RGB32);  // a 300-dpi page
        blank.fill(Qt::white);
        folder.addFile(QStringLiteral("scans.jpg"), withRepeatedLastScan(jpegBytes(blank, true), 100));
        blank = blank.scaled(40, 56);
        folder.addFile(QStringLiteral("1001scans.jpg"), withRepeatedLastScan(jpegBytes(blank, true), 1000));
        QFile huge(folder.path(QStringLiteral("huge.jpg")));  // sparse: one byte over the limit
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize((qint64(64) << 20) + 1));
        huge.close();

        QList<testsupport::FailingPage> cases = {
            {QStringLiteral("missing.jpg"), forms::ErrFileNotFound, QStringLiteral("not found")},
            {QStringLiteral("text.jpg"), forms::ErrInvalidPicture, QStringLiteral("not a whole JPEG")},
            {QStringLiteral("dir.jpg"), forms::ErrPermissionDenied, QStringLiteral("folder")},
            {QStringLiteral("scans.jpg"), forms::ErrInvalidPicture, QStringLiteral("more than 64 scans")},
            {QStringLiteral("1001scans.jpg"), forms::ErrInvalidPicture, QStringLiteral("more than 1000 scans")},
            {QStringLiteral("huge.jpg"), forms::ErrInvalidPicture, QStringLiteral("too large")}};
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

    void bandFirst_restNeverRewritesTheRowsInView_data()
    {
        QTest::addColumn<int>("viewRows");
        QTest::newRow("view above the split") << 300;
        // A view scrolled far down before a jump reaches below where the lower band starts.
        QTest::newRow("view across the split") << 900;
        QTest::newRow("view almost the whole page") << 1180;
    }

    void bandFirst_restNeverRewritesTheRowsInView()
    {
        QFETCH(int, viewRows);
        const QByteArray bytes = jpegBytes(testsupport::busyPage({1000, 1200}));
        const QSize view(600, viewRows);
        QImage picture;
        const auto rest = jpeg::decodeTop(bytes, qint64(1) << 30, nullptr, view, &picture);
        QVERIFY(rest);
        // The rows in view may be on the screen while the rest decodes: mark them, as a
        // painter reading them would see them, and none may be written again.
        auto *bits = const_cast<uchar *>(picture.constBits());
        const qsizetype inView = qsizetype(view.width()) * 4;
        for (int y = 0; y < viewRows; ++y)
            std::memset(bits + y * picture.bytesPerLine(), 0x5A, size_t(inView));
        QVERIFY(rest->run());
        const QImage whole = jpeg::decodeDirect(bytes, qint64(1) << 30, nullptr);
        for (int y = 0; y < picture.height(); ++y) {
            const uchar *row = picture.constScanLine(y);
            if (y < viewRows) {
                QVERIFY2(std::all_of(row, row + inView, [](uchar b) { return b == 0x5A; }),
                         qPrintable(QStringLiteral("row %1 in view was written again").arg(y)));
                QVERIFY(std::memcmp(row + inView, whole.constScanLine(y) + inView,
                                    size_t(picture.bytesPerLine() - inView)) == 0);
            } else {
                QVERIFY2(std::memcmp(row, whole.constScanLine(y), size_t(picture.bytesPerLine())) == 0,
                         qPrintable(QStringLiteral("row %1 differs from a whole decode").arg(y)));
            }
        }
    }
};

ZORVANE_TEST_MAIN(FormsTest)
#include "tst_forms.moc"
