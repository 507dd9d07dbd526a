// Which folder holds the pages: the argument, the program's folder, or the user's choice.

#include "panel/page_folder.h"

#include <cstdio>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using pagefolder::Seams;
using pagefolder::Start;

class PageFolderTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;
    QTemporaryDir m_dir;
    QStringList m_chooserStarts;
    QString m_chooserAnswer;

    QString native(const QString &path) const { return QDir::toNativeSeparators(path); }
    QString makeFolder(const QString &name, bool withPage)
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(path);
        if (withPage) {
            QFile page(path + QStringLiteral("/Scan 1.JPG"));
            page.open(QIODevice::WriteOnly);
        }
        return native(path);
    }
    // The user's settings hold a chosen folder (a file here; the registry on Windows).
    static bool remembers()
    {
        return !QSettings(QStringLiteral("zorvane"), QStringLiteral("zorvane")).allKeys().isEmpty();
    }
    Seams seams(bool writable)
    {
        return {[this](const QString &start) {
                    m_chooserStarts << start;
                    return m_chooserAnswer;
                },
                [writable](const QString &) { return writable; }};
    }

private slots:
    void initTestCase()
    {
        // The remembered choice goes to a configuration folder of the test's own.
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }
    void init() { m_chooserStarts.clear(); }

    void argument_folderOrFileGivesThePageFolder()
    {
        // A Thai name with a space, as typists name their folders.
        const QString folder = makeFolder(QStringLiteral("หนังสือ 1"), true);
        Start start = pagefolder::fromArgument(folder + QStringLiteral("/"));
        QCOMPARE(start.folder, folder);
        QCOMPARE(start.page, QString());

        start = pagefolder::fromArgument(folder + QStringLiteral("/Scan 1.JPG"));
        QCOMPARE(start.folder, folder);
        QCOMPARE(start.page, QStringLiteral("Scan 1.JPG"));

        // Relative to the working folder, as a shell passes it.
        QVERIFY(QDir::setCurrent(m_dir.path()));
        start = pagefolder::fromArgument(QStringLiteral("หนังสือ 1/../หนังสือ 1"));
        QCOMPARE(start.folder, folder);
    }

    // The same with the real program, and a device as the argument: tests/command_line.sh.
    void argument_missingEndsWithStatus2()
    {
        const QString missing = m_dir.filePath(QStringLiteral("no such"));
        const Start start = pagefolder::fromArgument(missing);
        QCOMPARE(start.folder, QString());
        QCOMPARE(start.exitStatus, 2);
        QCOMPARE(start.error, QStringLiteral("zorvane: %1: no such folder or file").arg(missing));
    }

    void noArgument_portableFolderIsKept()
    {
        // Pages beside the program: used even where the user may not write.
        const QString withPages = makeFolder(QStringLiteral("portable"), true);
        QCOMPARE(pagefolder::withoutArgument(withPages, seams(false)).folder, withPages);
        // A folder of the user's own, still empty.
        const QString empty = makeFolder(QStringLiteral("own"), false);
        QCOMPARE(pagefolder::withoutArgument(empty, seams(true)).folder, empty);
        // Pages named on Thai Windows (not UTF-8) are pages too.
        const QString thai = makeFolder(QStringLiteral("thai"), false);
        const QByteArray raw = QFile::encodeName(thai) + "/\xcb\xb9\xe9\xd2.jpg";
        std::FILE *page = std::fopen(raw.constData(), "wb");
        QVERIFY(page);
        std::fclose(page);
        QCOMPARE(pagefolder::withoutArgument(thai, seams(false)).folder, thai);
        QVERIFY(m_chooserStarts.isEmpty());
    }

    void noArgument_installedProgramAsksAndRemembers()
    {
        const QString system = makeFolder(QStringLiteral("usr-bin"), false);
        const QString chosen = makeFolder(QStringLiteral("chosen"), true);

        // Cancelled: the program ends with status 0 and remembers nothing.
        m_chooserAnswer.clear();
        Start start = pagefolder::withoutArgument(system, seams(false));
        QCOMPARE(start.folder, QString());
        QCOMPARE(start.exitStatus, 0);
        QCOMPARE(m_chooserStarts, QStringList{QDir::homePath()});
        QVERIFY(!remembers());

        m_chooserAnswer = chosen;
        QCOMPARE(pagefolder::withoutArgument(system, seams(false)).folder, chosen);
        // The next start opens the chooser where the user went last time.
        m_chooserAnswer.clear();
        pagefolder::withoutArgument(system, seams(false));
        QCOMPARE(m_chooserStarts.last(), chosen);
        QVERIFY(remembers());

        // A remembered folder that is gone: start at home again.
        QVERIFY(QDir(chosen).removeRecursively());
        pagefolder::withoutArgument(system, seams(false));
        QCOMPARE(m_chooserStarts.last(), QDir::homePath());
    }
};

QTEST_GUILESS_MAIN(PageFolderTest)
#include "tst_page_folder.moc"
