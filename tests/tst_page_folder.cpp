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

    QString makeFolder(const QString &name, bool withPage)
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(path);
        if (withPage)
            QFile(path + QStringLiteral("/Scan 1.JPG")).open(QIODevice::WriteOnly);
        return QDir::toNativeSeparators(path);
    }
    // The user's settings hold a chosen folder (a file here; the registry on Windows).
    static bool remembers()
    {
        return !QSettings(QStringLiteral("zorvane"), QStringLiteral("zorvane")).allKeys().isEmpty();
    }
    // An installed copy's: the chooser answers m_chooserAnswer.
    Seams seams()
    {
        return {[this](const QString &start) { m_chooserStarts << start; return m_chooserAnswer; },
                [](const QString &) { return true; }};
    }

private slots:
    void initTestCase()
    {
        // The remembered choice goes to a configuration folder of the test's own.
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }

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

    // A missing or odd argument, and a copy placed by hand (its own folder): command_line.sh,
    // e2e_install.
    void noArgument_installedProgramAsksAndRemembers()
    {
        // Pages and a folder root may write in change nothing: an installed copy asks
        // (where the install rules put it: e2e_install).
        const QString system = makeFolder(QStringLiteral("usr-bin"), true);
        const QString chosen = makeFolder(QStringLiteral("chosen"), true);

        // Cancelled: the program ends with status 0 and remembers nothing.
        m_chooserAnswer.clear();
        Start start = pagefolder::withoutArgument(system, seams());
        QCOMPARE(start.folder, QString());
        QCOMPARE(start.exitStatus, 0);
        QCOMPARE(m_chooserStarts, QStringList{QDir::homePath()});
        QVERIFY(!remembers());

        m_chooserAnswer = chosen;
        QCOMPARE(pagefolder::withoutArgument(system, seams()).folder, chosen);
        // The next start opens the chooser where the user went last time.
        m_chooserAnswer.clear();
        pagefolder::withoutArgument(system, seams());
        QCOMPARE(m_chooserStarts.last(), chosen);
        QVERIFY(remembers());

        // A remembered folder that is gone: start at home again.
        QVERIFY(QDir(chosen).removeRecursively());
        pagefolder::withoutArgument(system, seams());
        QCOMPARE(m_chooserStarts.last(), QDir::homePath());
    }

    void installedCopy_isTheInstallFolderOrTheInstallersMark()
    {
        const QString copy = makeFolder(QStringLiteral("copy"), true);
        const QString installed = makeFolder(QStringLiteral("Programs/Zorvane"), false);
        QVERIFY(!pagefolder::isInstalledCopy(installed));
        // The Windows installer records its folder in the user's settings.
        QSettings settings(QStringLiteral("zorvane"), QStringLiteral("zorvane"));
        settings.setValue(QLatin1String(pagefolder::InstalledFolderKey), installed);
        settings.sync();
        QVERIFY(pagefolder::isInstalledCopy(installed));
        QVERIFY(pagefolder::isInstalledCopy(installed + QStringLiteral("/../Zorvane")));
        QVERIFY(!pagefolder::isInstalledCopy(copy));
        settings.remove(QLatin1String(pagefolder::InstalledFolderKey));
    }
};

QTEST_GUILESS_MAIN(PageFolderTest)
#include "tst_page_folder.moc"
