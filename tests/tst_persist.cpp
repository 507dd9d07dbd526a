// The state file's text operations, checked on the bytes they leave on disk.

#include "persist/state_saver.h"
#include "persist/text_file.h"

#include "odd_page_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

using namespace persist;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path); // only a regular file: opening a FIFO would block
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                       : QByteArray("<no file>");
}

void putBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A write that must fail with `number`, naming reason and path, and change nothing.
void expectFailure(const QString &path, int number)
{
    const QString reason = number == forms::ErrPathNotFound ? QStringLiteral("Path not found")
                           : number == forms::ErrDeviceIo   ? QStringLiteral("Device I/O error")
                                                            : QStringLiteral("Permission denied");
    const QByteArray before = fileBytes(path);
    forms::Error error;
    QVERIFY(!WriteTextFileContents(QStringLiteral("new.jpg"), path, false, &error));
    QCOMPARE(error.number, number);
    QVERIFY2(error.description.startsWith(reason + QStringLiteral(": ") + path),
             qPrintable(error.description));
    QCOMPARE(fileBytes(path), before);
}

} // namespace

class TestPersist : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); m_path = m_dir.filePath(QStringLiteral("current.txt")); }
    void cleanup() { QFile::remove(m_path); }

    void read_givesEveryCharacterOrEmpty()
    {
        QCOMPARE(ReadTextFileContents1(m_path), QString()); // missing
        QCOMPARE(ReadTextFileContents1(QString()), QString());
        if (QFileInfo(QStringLiteral("/proc/self/mem")).isFile()) // opens, then fails to read
            QCOMPARE(ReadTextFileContents1(QStringLiteral("/proc/self/mem")), QString());
        for (const QByteArray &bytes : {QByteArray("a\r\nb\r\n\r\nx\n"), QByteArray("page01.jpg  \r\n  "),
                                        QByteArray(), QByteArray("a\0b\r\n", 5)}) {
            putBytes(m_path, bytes);
            QCOMPARE(ReadTextFileContents1(m_path), QString::fromLatin1(bytes));
        }
    }

    void write_replacesWithTextThenCrLf_inWindows874OrElseUtf8()
    {
        // The Windows-874 bytes of ยก, C2 A1, are valid UTF-8 ("¡"). A name may begin with
        // U+FEFF: it is not a byte-order mark to drop.
        QList<std::pair<QString, QByteArray>> cases;
        for (const QString &text : {QStringLiteral(u"第一页.jpg"), QStringLiteral(u"page😀.jpg"),
                                    QStringLiteral(u"หน้า€é.jpg"), QStringLiteral(u"ยก.jpg"),
                                    QStringLiteral(u"\uFEFF1.jpg")})
            cases.append({text, (text + "\r\n").toUtf8()});
        cases += {{QStringLiteral("page01.jpg"), "page01.jpg\r\n"}, {QString(), "\r\n"},
                  {QStringLiteral("a.jpg\r\n"), "a.jpg\r\n\r\n"},
                  {QStringLiteral(u"หน้า1.jpg"), "\xCB\xB9\xE9\xD2" "1.jpg\r\n"}};
        for (const auto &[text, bytes] : cases) {
            putBytes(m_path, QByteArray(300, 'o')); // longer than anything written here
            forms::Error error{1, QStringLiteral("stale")};
            QVERIFY(WriteTextFileContents(text, m_path, false, &error));
            QCOMPARE(error.number, 0);
            QCOMPARE(fileBytes(m_path), bytes);
        }
        QVERIFY(WriteTextFileContents(QStringLiteral("two.jpg"), m_path, true, nullptr));
        QCOMPARE(fileBytes(m_path), QByteArray("\xCB\xB9\xE9\xD2" "1.jpg\r\ntwo.jpg\r\n"));
    }

    void cp874_mapsKnownBytesAndRoundTripsEveryByte()
    {
        const QByteArray bytes("\x80\x85\x91\x97\xA0\xA1\xDA\xDF\xFB\x81\xDB\xFF");
        const QString text = QStringLiteral(u"\u20AC\u2026\u2018\u2014\u00A0\u0E01\u0E3A"
                                            u"\u0E3F\u0E5B\u0081\u00DB\u00FF");
        QCOMPARE(decodeText(bytes), text);
        QCOMPARE(encodeText(text), bytes);
        QCOMPARE(decodeText("\xE0\xB8\x81"), QStringLiteral(u"ก")); // UTF-8 wins when valid
        // Not UTF-8 (overlong, surrogate, past U+10FFFF, cut short): Windows-874, kept exactly.
        for (const QByteArray &odd : {QByteArray("\xE0\x80\x80"), QByteArray("\xED\xA0\x80"),
                                      QByteArray("\xF4\x90\x80\x80"), QByteArray("a\xE0\xB8")}) {
            QCOMPARE(decodeText(odd).size(), odd.size());
            QCOMPARE(encodeText(decodeText(odd)), odd);
        }
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        QCOMPARE(encodeText(decodeText(all)), all);
    }

    void overlongFile_readsOnlyFirst64KiB()
    {
        QByteArray head;
        for (int i = 0; head.size() < 70000; ++i)
            head += QByteArray::number(i) + "\r\n";
        putBytes(m_path, head);
        QVERIFY(QFile(m_path).resize(qint64(1) << 30)); // sparse: reading it all would take 1 GiB
        QCOMPARE(ReadTextFileContents1(m_path), QString::fromLatin1(head.left(65536)));
        // The cap falls inside a 3-byte character, which must not make it Windows-874.
        const QString text(30000, QChar(0x0E01));
        putBytes(m_path, text.toUtf8());
        QCOMPARE(ReadTextFileContents1(m_path), text.left(65536 / 3));
    }

    void missingFolder_reports76_unwritable_reports70AndKeepsPreviousContent()
    {
        const QString notAFolder = m_dir.filePath(QStringLiteral("file"));
        putBytes(notAFolder, "x");
        for (const QString &folder : {m_dir.filePath(QStringLiteral("missing")), notAFolder})
            expectFailure(folder + "/current.txt", forms::ErrPathNotFound);
        // /proc takes no new file even from root; a rename must not get past /proc/version.
        expectFailure(QStringLiteral("/proc/zorvane-current.txt"), forms::ErrPermissionDenied);
        expectFailure(QStringLiteral("/proc/version"), forms::ErrPermissionDenied);

        putBytes(m_path, "page01.jpg\r\n");
        QFile::setPermissions(m_path, QFile::ReadOwner);
        if (QFile(m_path).open(QIODevice::WriteOnly | QIODevice::Append))
            QSKIP("running as root: read-only files are writable");
        expectFailure(m_path, forms::ErrPermissionDenied);
    }

    void fullDisk_reports57AndKeepsPreviousContent()
    {
        const QString disk = m_dir.filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(disk));
        if (!testsupport::mountSmallDisk(disk))
            QSKIP("a full disk needs a file system mounted for the test (root)");
        const auto unmount = qScopeGuard([&] { testsupport::unmountDisk(disk); });
        const QString path = disk + QStringLiteral("/current.txt");
        putBytes(path, "page01.jpg\r\n");
        testsupport::fillDisk(disk);
        expectFailure(path, forms::ErrDeviceIo);
        // Nothing left behind that would take the space the next try needs.
        QCOMPARE(QDir(disk).entryList(QDir::Files), QStringList({"current.txt", "filler"}));
        QFile::remove(disk + QStringLiteral("/filler"));
        QVERIFY(WriteTextFileContents(QStringLiteral("page02.jpg"), path, false, nullptr));
        QCOMPARE(fileBytes(path), QByteArray("page02.jpg\r\n"));
    }

    void notARegularFile_readsEmptyAndWriteRefused()
    {
        QStringList targets{m_dir.path()};
        // Windows has folders but no FIFOs.
        if (!QStandardPaths::findExecutable(QStringLiteral("mkfifo")).isEmpty()) {
            targets << m_dir.filePath(QStringLiteral("fifo"));
            QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {targets.last()}), 0);
        }
        for (const QString &target : targets) { // a FIFO with no writer blocks an open
            QCOMPARE(ReadTextFileContents1(target), QString());
            expectFailure(target, forms::ErrPermissionDenied); // nor may a new file replace it
            QVERIFY(QFileInfo::exists(target) && !QFileInfo(target).isFile());
        }
    }

    void stateSaver_writesInOrderOffThreadAndLetsTheCloseWriteLast()
    {
        // Names asked for faster than the disk takes them: written in order, the last one
        // stays, and every write is reported back on this thread.
        QStringList done;
        StateSaver saver([&](const QString &name, bool written, const forms::Error &) {
            QVERIFY(written && QThread::currentThread() == QCoreApplication::instance()->thread());
            done << name;
        });
        for (int i = 1; i <= 30; ++i)
            saver.save(QStringLiteral("%1.jpg").arg(i), m_path);
        QTRY_COMPARE(done.value(done.size() - 1), QStringLiteral("30.jpg"));
        const auto number = [](const QString &name) { return name.section(QLatin1Char('.'), 0, 0).toInt(); };
        for (qsizetype i = 1; i < done.size(); ++i)
            QVERIFY(number(done[i - 1]) < number(done[i]));
        QCOMPARE(fileBytes(m_path), QByteArray("30.jpg\r\n"));

        // finish() before the close's own write: nothing asked earlier lands after it.
        saver.save(QStringLiteral("31.jpg"), m_path);
        saver.save(QStringLiteral("32.jpg"), m_path);
        saver.finish();
        QVERIFY(WriteTextFileContents(QStringLiteral("close.jpg"), m_path, false, nullptr));
        QTest::qWait(20);
        QCOMPARE(fileBytes(m_path), QByteArray("close.jpg\r\n"));
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestPersist)
#include "tst_persist.moc"
