// Which folder holds the pages: the argument, the program's folder, or the user's choice.

#include "panel/page_folder.h"

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
    Seams seams(bool installed)
    {
        return {[this](const QString &start) {
                    m_chooserStarts << start;
                    return m_chooserAnswer;
                },
                [installed](const QString &) { return installed; }};
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

    void noArgument_portableCopyTakesItsOwnFolder()
    {
        // Beside the scans, as it always was; and in a folder still empty, which gives an
        // empty list, as it did.
        for (const bool withPages : {true, false}) {
            const QString folder = makeFolder(QStringLiteral("portable%1").arg(withPages), withPages);
            QCOMPARE(pagefolder::withoutArgument(folder, seams(false)).folder, folder);
        }
        QVERIFY(m_chooserStarts.isEmpty());
    }

    void noArgument_installedProgramAsksAndRemembers()
    {
        // Pages and a folder root may write in change nothing: an installed copy asks.
        const QString system = makeFolder(QStringLiteral("usr-bin"), true);
        const QString chosen = makeFolder(QStringLiteral("chosen"), true);

        // Cancelled: the program ends with status 0 and remembers nothing.
        m_chooserAnswer.clear();
        Start start = pagefolder::withoutArgument(system, seams(true));
        QCOMPARE(start.folder, QString());
        QCOMPARE(start.exitStatus, 0);
        QCOMPARE(m_chooserStarts, QStringList{QDir::homePath()});
        QVERIFY(!remembers());

        m_chooserAnswer = chosen;
        QCOMPARE(pagefolder::withoutArgument(system, seams(true)).folder, chosen);
        // The next start opens the chooser where the user went last time.
        m_chooserAnswer.clear();
        pagefolder::withoutArgument(system, seams(true));
        QCOMPARE(m_chooserStarts.last(), chosen);
        QVERIFY(remembers());

        // A remembered folder that is gone: start at home again.
        QVERIFY(QDir(chosen).removeRecursively());
        pagefolder::withoutArgument(system, seams(true));
        QCOMPARE(m_chooserStarts.last(), QDir::homePath());
    }

    void installedCopy_isTheInstallFolderOrTheInstallersMark()
    {
        const QString copy = makeFolder(QStringLiteral("copy"), true);
        const QString installed = makeFolder(QStringLiteral("Programs/Zorvane"), false);
        QVERIFY(!pagefolder::isInstalledCopy(copy));
        QVERIFY(!pagefolder::isInstalledCopy(installed));
        // The Windows installer records its folder in the user's settings.
        QSettings settings(QStringLiteral("zorvane"), QStringLiteral("zorvane"));
        settings.setValue(QLatin1String(pagefolder::InstalledFolderKey), installed);
        settings.sync();
        QVERIFY(pagefolder::isInstalledCopy(installed));
        QVERIFY(pagefolder::isInstalledCopy(installed + QStringLiteral("/../Zorvane")));
        QVERIFY(!pagefolder::isInstalledCopy(copy));
        settings.remove(QLatin1String(pagefolder::InstalledFolderKey));
        // Where the install rules put the program (the build's, and the Debian package's).
        if (QDir::separator() == QLatin1Char('/'))
            QVERIFY(pagefolder::isInstalledCopy(QStringLiteral("/usr/bin")));
    }
};

QTEST_GUILESS_MAIN(PageFolderTest)
#include "tst_page_folder.moc"
