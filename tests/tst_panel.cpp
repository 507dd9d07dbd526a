// The control panel: its controls, help window, page list and the state file.

#include "testsupport.h"

#include "help/form3.h"
#include "platform/window_system/termination.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontDatabase>
#include <QTimer>

using testsupport::ProgramFolder;

namespace {

// A request to end leaves every event loop; the test's next loops must run again.
void runEventLoopsAgain()
{
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

// The dark pixels inside a widget's frame (Wine smooths glyphs lighter): how many, and
// the rows they span.
struct Ink { int pixels = 0, top = -1, bottom = -1; };

Ink inkOf(QWidget *widget)
{
    const QImage face = widget->grab().toImage();
    Ink ink;
    for (int y = 2; y < face.height() - 2; ++y) {
        for (int x = 2; x < face.width() - 2; ++x) {
            if (qGray(face.pixel(x, y)) < 160) {
                ++ink.pixels;
                ink.top = ink.top < 0 ? y : ink.top;
                ink.bottom = y;
            }
        }
    }
    return ink;
}

QString said(QWidget *widget, QAccessible::Text what)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(what) : QString();
}

} // namespace

class PanelTest : public QObject
{
    Q_OBJECT

private slots:
    // A primary screen not at 0, 0, a panel past the right edge and a title bar above the
    // screen: e2e_screens.
    void fitOnScreen_movesLeftAndUpJustEnough()
    {
        const QMargins frame(1, 20, 2, 3);
        const QRect client(496, 580, 439, 48);
        QCOMPARE(Form1::fitOnScreen(client, frame, {0, 0, 1024, 768}), client.topLeft());
        // Past the bottom and right edges of 800x600; never past the left or top edge of a
        // screen too small.
        QCOMPARE(Form1::fitOnScreen(client, frame, {0, 0, 800, 600}), QPoint(800 - 2 - 439, 600 - 3 - 48));
        QCOMPARE(Form1::fitOnScreen(client, frame, {100, 0, 300, 40}), QPoint(101, 20));
    }

    void keyboard_tabOrderFromTheSlider_reachesTheButtonsBelowTheClientArea()
    {
        ProgramFolder folder;
        Form1 &panel = folder.start();
        panel.show();
        QVERIFY(QTest::qWaitForWindowActive(&panel));

        // The focus starts on the opacity slider (its keys: e2e_page_window); Tab reaches
        // the page and scroll buttons below the client area too.
        QCOMPARE(QApplication::focusWidget(), panel.HScroll1);
        const QList<QWidget *> expected = {panel.Command3,  panel.Command4, panel.Text4,
                                           panel.File1,     panel.Command6, panel.VScroll1,
                                           panel.Command7,  panel.Command8, panel.Command9,
                                           panel.Command10, panel.Command11, panel.HScroll1};
        for (QWidget *next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        for (QWidget *hidden : expected.mid(6, 5))
            QVERIFY(hidden->geometry().top() >= panel.height());
    }

    void thaiText_rendersWholeWithTheDefaultFont()
    {
        // Without a Thai font the captions would come out as empty boxes.
        QVERIFY(!QFontDatabase::families(QFontDatabase::Thai).isEmpty());
        ProgramFolder folder;
        Form1 &panel = folder.start();
        for (QPushButton *button : {panel.Command9, panel.Command10}) {
            QVERIFY(button->font() == QApplication::font());
            QVERIFY2(inkOf(button).pixels > 40, qPrintable(button->text()));
        }
        // A Thai name in the name box: whole, not pushed up out of the box by a fallback
        // font with a tall line box.
        const QString thai = QStringLiteral("หน้า.jpg");
        panel.Text4->setText(thai);
        const Ink ink = inkOf(panel.Text4);
        const int height = panel.Text4->fontMetrics().tightBoundingRect(thai).height();
        QVERIFY2(ink.pixels > 40 && ink.top > 2 && ink.bottom - ink.top + 2 >= height,
                 qPrintable(QStringLiteral("ink %1 in rows %2 to %3; the glyphs are %4 high")
                                .arg(ink.pixels).arg(ink.top).arg(ink.bottom).arg(height)));
    }

    void screenReader_everyControlHasANameAndADescription()
    {
        ProgramFolder folder;
        folder.addPage(QStringLiteral("7.jpg"));
        Form1 &panel = folder.start();
        const QList<QWidget *> controls = panel.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        QCOMPARE(controls.size(), 12);
        for (QWidget *control : controls) {
            QVERIFY2(!said(control, QAccessible::Name).isEmpty(), qPrintable(control->objectName()));
            QVERIFY2(!said(control, QAccessible::Description).isEmpty(), qPrintable(control->objectName()));
        }

        // The layout button says which layout it switches to, also after a switch.
        panel.Text4->setText(QStringLiteral("7.jpg"));
        QVERIFY(said(panel.Command3, QAccessible::Description).contains(QLatin1String("full-screen")));
        panel.Command3->click();
        QVERIFY(said(panel.Command3, QAccessible::Description).contains(QLatin1String("half-screen")));

        // The page window is named after the page on screen.
        panel.Command6->click();
        QCOMPARE(said(&panel.form2(), QAccessible::Name), QStringLiteral("Page 7.jpg"));
        QVERIFY(!said(&panel.form2(), QAccessible::Description).isEmpty());

        // The help sheet is a picture; its instructions are there as text too.
        panel.Command4->click();
        QWidget *sheet = panel.form3IfOpen()->findChild<QWidget *>(QStringLiteral("Picture1"));
        QVERIFY(said(sheet, QAccessible::Description).contains(QLatin1String("Ctrl+Shift+K next page")));
    }

    void help_oneWindowMadeAfreshAfterItIsClosed_goesWithThePanel()
    {
        ProgramFolder folder;
        Form1 &panel = folder.start();
        panel.show();
        panel.Command4->click();
        QPointer<Form3> first = panel.form3IfOpen();
        QVERIFY(first && first->isVisible());
        panel.Command4->click();
        QCOMPARE(panel.findChildren<Form3 *>().size(), 1);
        first->move(10, 10);
        first->close();
        QTRY_VERIFY(!first);
        QVERIFY(!panel.form3IfOpen());
        panel.Command4->click();
        QCOMPARE(panel.form3IfOpen()->geometry().center(), QRect(0, 0, 1024, 768).center());

        // Closing the panel takes the help and page windows with it.
        QPointer<Form3> help = panel.form3IfOpen();
        QPointer<Form2> page = &panel.form2();
        panel.close();
        QVERIFY(!help && !page);
    }

    // The state file's first line read at start, the name box written at close: e2e_install,
    // e2e_wine. Which files are pages, and their order: tst_forms.
    void pageLoad_savesNameUnlessUnchanged_listHoldsThePagesFoundAtStartup()
    {
        ProgramFolder folder;
        folder.addNumberedPages(2);
        folder.addFile(QStringLiteral("current.txt"), "1.jpg\r\n");
        Form1 &panel = folder.start();
        folder.addNumberedPages(3);  // too late: the list is not refreshed
        QCOMPARE(panel.File1->count(), 2);
        QCOMPARE(panel.cnt, 2);
        panel.show();
        panel.Command7_Click();
        QTRY_COMPARE(folder.saved(), QByteArray("2.jpg\r\n"));

        // The same name again is not written: a file removed meanwhile stays away.
        QVERIFY(QFile::remove(folder.path(QStringLiteral("current.txt"))));
        panel.Command6->click();
        folder.load(QStringLiteral("missing.jpg"));  // a failed load saves nothing either
        QTest::qWait(50);
        QCOMPARE(folder.saved(), QByteArray());
        panel.Command8_Click();
        QTRY_COMPARE(folder.saved(), QByteArray("1.jpg\r\n"));
    }

    // On X with a real display: e2e_state_saving; this is the Windows build's check.
    void unwritableStateFile_stderrOnceWhilePagesTurn_messageBoxAtClose()
    {
        ProgramFolder folder;
        folder.addNumberedPages(2);
        // A folder where the state file should be: no write can replace it.
        QVERIFY(QDir(folder.dir.path()).mkdir(QStringLiteral("current.txt")));
        Form1 &panel = folder.start();
        panel.show();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("page name could not be saved.*current.txt"));
        panel.Command7_Click();
        panel.Command8_Click();
        QTest::qWait(50);
        panel.waitForSavesForTesting();
        QCOMPARE(panel.Text4->text(), QStringLiteral("1.jpg"));
        QVERIFY(folder.messages.isEmpty());

        QVERIFY(panel.close());
        QCOMPARE(folder.messages.size(), 1);
        QVERIFY(folder.messages[0].startsWith(forms::appTitle() + QStringLiteral(": The page name")));
        QVERIFY(folder.messages[0].contains(QStringLiteral("current.txt")));
    }

    // This ends the event loops, as a request to end does: keep it last.
    void terminationRequest_whileMessageBoxOpen_savesAndEnds()
    {
        ProgramFolder folder;
        folder.addPage(QStringLiteral("7.jpg"));
        Form1 &panel = folder.start();
        termination::closeOnRequest(&panel);
        panel.show();
        panel.File1->setCurrentRow(0);
        // The end-of-list box waits in its own loop, as the real one does, until SIGTERM.
        bool boxEnded = false;
        folder.onMessage = [&](const QString &, const QString &) {
            QEventLoop box;
            QTimer::singleShot(10000, &box, &QEventLoop::quit);
            termination::simulateRequest(&panel);
            QElapsedTimer waited;
            waited.start();
            box.exec();
            boxEnded = waited.elapsed() < 5000;
        };
        panel.Command7_Click();
        QVERIFY(boxEnded);
        QVERIFY(!panel.isVisible());
        QCOMPARE(folder.saved(), QByteArray("7.jpg\r\n"));
        runEventLoopsAgain();
    }
};

ZORVANE_TEST_MAIN(PanelTest)
#include "tst_panel.moc"
