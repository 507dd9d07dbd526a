// The state file's text operations, checked on the bytes they leave on disk.

#include "persist/text_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace persist;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void putBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Root opens read-only files for writing; such checks only mean something for others.
bool permissionsEnforced(const QString &folder)
{
    const QString probe = folder + QStringLiteral("/probe");
    putBytes(probe, "x");
    QFile::setPermissions(probe, QFile::ReadOwner);
    QFile file(probe);
    const bool enforced = !file.open(QIODevice::WriteOnly | QIODevice::Append);
    QFile::setPermissions(probe, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(probe);
    return enforced;
}

bool makeFifo(const QString &path)
{
    return QProcess::execute(QStringLiteral("mkfifo"), {path}) == 0;
}

const QString Thai = QStringLiteral(u"หน้า1.jpg");

// A write that must fail with `number`, name the reason and the path, and leave the
// target as it was (or still missing).
void expectFailure(const QString &path, bool appendMode, int number, const QString &reason)
{
    const bool existed = QFileInfo(path).isFile();
    const QByteArray before = existed ? fileBytes(path) : QByteArray();
    forms::Error error;
    QVERIFY(!WriteTextFileContents(QStringLiteral("new.jpg"), path, appendMode, &error));
    QCOMPARE(error.number, number);
    QVERIFY2(error.description.startsWith(reason + QStringLiteral(": ") + path),
             qPrintable(error.description));
    if (existed)
        QCOMPARE(fileBytes(path), before);
    else
        QVERIFY(!QFileInfo(path).isFile());
}

} // namespace

class TestPersist : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); m_path = m_dir.filePath(QStringLiteral("current.txt")); }
    void cleanup() { QFile::remove(m_path); }

    void missingFile_readsEmptyAndWriteCreatesIt()
    {
        QCOMPARE(ReadTextFileContents1(m_path), QString());
        forms::Error error{1, QStringLiteral("stale")};
        QVERIFY(WriteTextFileContents(QStringLiteral("page01.jpg"), m_path, false, &error));
        QCOMPARE(error.number, 0);
        QCOMPARE(fileBytes(m_path), QByteArray("page01.jpg\r\n"));
        QCOMPARE(fileBytes(m_path).size(), 12);
    }

    void handWrittenFile_readBackUnchanged_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("no line end") << QByteArray("page01.jpg");
        QTest::newRow("several lines") << QByteArray("page01.jpg\r\npage02.jpg\r\n\r\nx\n");
        QTest::newRow("trailing blanks") << QByteArray("page01.jpg  \r\n  ");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("nul inside") << QByteArray("a\0b\r\n", 5);
    }
    void handWrittenFile_readBackUnchanged()
    {
        QFETCH(QByteArray, bytes);
        putBytes(m_path, bytes);
        QCOMPARE(ReadTextFileContents1(m_path), QString::fromLatin1(bytes));
    }

    void replace_writesTextThenCrLfOverPrevious_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("name") << QStringLiteral("page01.jpg") << QByteArray("page01.jpg\r\n");
        QTest::newRow("empty text") << QString() << QByteArray("\r\n");
        QTest::newRow("text with line end")
            << QStringLiteral("a.jpg\r\n") << QByteArray("a.jpg\r\n\r\n");
        QTest::newRow("thai") << Thai << QByteArray("\xCB\xB9\xE9\xD2" "1.jpg\r\n");
    }
    void replace_writesTextThenCrLfOverPrevious()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        putBytes(m_path, QByteArray(300, 'o')); // longer than anything written here
        QVERIFY(WriteTextFileContents(text, m_path, false, nullptr));
        QCOMPARE(fileBytes(m_path), bytes);
        QCOMPARE(ReadTextFileContents1(m_path), text + QStringLiteral("\r\n"));
    }

    void appendTwice_keepsBothTexts()
    {
        QVERIFY(WriteTextFileContents(QStringLiteral("one.jpg"), m_path, true, nullptr));
        QVERIFY(WriteTextFileContents(QStringLiteral("two.jpg"), m_path, true, nullptr));
        QCOMPARE(fileBytes(m_path), QByteArray("one.jpg\r\ntwo.jpg\r\n"));
    }

    void appendAfterUtf8Content_readsBackWhole()
    {
        // A Thai line in Windows-874 after UTF-8 content would make the file read as
        // Windows-874 and garble the first line.
        const QString first = QStringLiteral(u"页1.jpg");
        QVERIFY(WriteTextFileContents(first, m_path, false, nullptr));
        QVERIFY(WriteTextFileContents(Thai, m_path, true, nullptr));
        QCOMPARE(ReadTextFileContents1(m_path), first + "\r\n" + Thai + "\r\n");
    }

    void nameOutsideCp874_storedAsUtf8AndReadBack_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("chinese") << QStringLiteral(u"第一页.jpg");
        QTest::newRow("emoji") << QStringLiteral(u"page😀.jpg");
        QTest::newRow("thai and latin-1") << QStringLiteral(u"หน้า€é.jpg");
        // Windows-874 bytes C2 A1 are valid UTF-8 ("¡"), so this must go as UTF-8 too.
        QTest::newRow("cp874 bytes that look like utf-8") << QStringLiteral(u"ยก.jpg");
    }
    void nameOutsideCp874_storedAsUtf8AndReadBack()
    {
        QFETCH(QString, text);
        QVERIFY(WriteTextFileContents(text, m_path, false, nullptr));
        QCOMPARE(fileBytes(m_path), (text + "\r\n").toUtf8());
        QCOMPARE(ReadTextFileContents1(m_path), text + "\r\n");
    }

    void cp874Table_mapsKnownBytes()
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
    }

    void everyByteValue_roundTrips()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b) {
            const QByteArray one(1, char(b));
            QCOMPARE(encodeText(decodeText(one)), one);
            all.append(char(b));
        }
        const QString text = decodeText(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(encodeText(text), all);
        QVERIFY(WriteTextFileContents(text, m_path, false, nullptr));
        QCOMPARE(fileBytes(m_path), all + "\r\n");
        QCOMPARE(ReadTextFileContents1(m_path), text + "\r\n");
    }

    void hugeFile_readsOnlyFirst64KiB()
    {
        QByteArray head;
        for (int i = 0; head.size() < 70000; ++i)
            head += QByteArray::number(i) + "\r\n";
        putBytes(m_path, head);
        QFile file(m_path);
        QVERIFY(file.resize(qint64(1) << 30)); // sparse: reading it all would take 1 GiB
        QCOMPARE(ReadTextFileContents1(m_path), QString::fromLatin1(head.left(65536)));
    }

    void utf8CutAt64KiB_staysUtf8()
    {
        // 3-byte characters: the cap falls inside one, which must not turn the file
        // into Windows-874.
        const QString text(30000, QChar(0x0E01));
        putBytes(m_path, text.toUtf8());
        QCOMPARE(ReadTextFileContents1(m_path), text.left(65536 / 3));
    }

    void unreadable_readsEmpty()
    {
        QCOMPARE(ReadTextFileContents1(m_dir.path()), QString());  // a folder
        QCOMPARE(ReadTextFileContents1(QString()), QString());
        if (QFileInfo(QStringLiteral("/proc/self/mem")).isFile()) // opens, then fails to read
            QCOMPARE(ReadTextFileContents1(QStringLiteral("/proc/self/mem")), QString());
        const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
        if (makeFifo(fifo)) // no writer: opening it would block for good
            QCOMPARE(ReadTextFileContents1(fifo), QString());
    }

    void missingFolder_reports76AndCreatesNothing()
    {
        const QString notAFolder = m_dir.filePath(QStringLiteral("file"));
        putBytes(notAFolder, "x");
        for (const QString &folder : {m_dir.filePath(QStringLiteral("missing")), notAFolder}) {
            for (bool appendMode : {false, true})
                expectFailure(folder + "/current.txt", appendMode, forms::ErrPathNotFound,
                              QStringLiteral("Path not found"));
        }
    }

    void unwritable_reports70AndKeepsPreviousContent()
    {
        // /proc takes no new file even from root, so these fail whoever runs the test;
        // /proc/version can only be replaced by a rename, which must not get past it.
        for (bool appendMode : {false, true})
            expectFailure(QStringLiteral("/proc/zorvane-current.txt"), appendMode,
                          forms::ErrPermissionDenied, QStringLiteral("Permission denied"));
        expectFailure(QStringLiteral("/proc/version"), false, forms::ErrPermissionDenied,
                      QStringLiteral("Permission denied"));

        if (!permissionsEnforced(m_dir.path()))
            QSKIP("running as root: read-only files and folders are writable");
        putBytes(m_path, "page01.jpg\r\n");
        QFile::setPermissions(m_path, QFile::ReadOwner);
        const QString folder = m_dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkdir(folder));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        for (bool appendMode : {false, true}) {
            expectFailure(m_path, appendMode, forms::ErrPermissionDenied,
                          QStringLiteral("Permission denied"));
            expectFailure(folder + "/current.txt", appendMode, forms::ErrPermissionDenied,
                          QStringLiteral("Permission denied"));
        }
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void deviceError_reports57AndWritesNothing()
    {
        // Root opens /proc/version for writing, and every write to it fails.
        QFile probe(QStringLiteral("/proc/version"));
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Append))
            QSKIP("needs root to open /proc/version for writing");
        probe.close();
        expectFailure(probe.fileName(), true, forms::ErrDeviceIo, QStringLiteral("Device I/O error"));
    }

    void targetNotARegularFile_refusedAndLeftAlone()
    {
        expectFailure(m_dir.path(), false, forms::ErrPermissionDenied,
                      QStringLiteral("Permission denied"));
        QVERIFY(QFileInfo(m_dir.path()).isDir());
        const QString fifo = m_dir.filePath(QStringLiteral("fifo-target"));
        if (!makeFifo(fifo))
            QSKIP("mkfifo is not available");
        for (bool appendMode : {false, true}) { // must neither block nor replace the FIFO
            expectFailure(fifo, appendMode, forms::ErrPermissionDenied,
                          QStringLiteral("Permission denied"));
            QVERIFY(QFileInfo::exists(fifo) && !QFileInfo(fifo).isFile());
        }
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestPersist)
#include "tst_persist.moc"
