// Choosing and loading pages: list clicks, typed names, the load button, next and prev.

#include "testsupport.h"

#include <QFileInfo>
#include <QMouseEvent>
#include <QSemaphore>
#include <QTimer>

#include <atomic>
#include <cstdio>

using testsupport::ProgramFolder;

namespace {

// The message of a page that did not load, as takeMessages gives it.
QStringList notFound(const ProgramFolder &folder, const QString &name)
{
    const QString base = QDir::toNativeSeparators(folder.dir.path());
    return {forms::appTitle() + QStringLiteral(": Can't find ")
            + (name.isNull() ? QString() : base + QDir::separator() + name)
            + QStringLiteral(" . Please recheck file in folder [") + base + QStringLiteral("] ")};
}

void enterName(Form1 &panel, const QString &name, Qt::Key key = Qt::Key_Return)
{
    panel.Text4->setText(name);
    QTest::keyClick(panel.Text4, key);
}

// Holds the rest of each page shown by its top rows until released (or for 10 s); `broken`
// pages end as files broken below those rows do.
struct RestGate {
    QSemaphore started;
    QSemaphore release;
    QStringList broken;
    std::atomic_bool timedOut = false;
    RestGate()
    {
        forms::setPictureRestHookForTesting([this](const QString &path) {
            started.release();
            timedOut = timedOut || !release.tryAcquire(1, 10000);
            return !broken.contains(QFileInfo(path).fileName());
        });
    }
    ~RestGate() { forms::setPictureRestHookForTesting({}); }
};

} // namespace

class NavigationTest : public QObject
{
    Q_OBJECT

private slots:
    void typedName_loadsTheEntryOfThatWholeNameInAnyCase()
    {
        // A list click, next and prev as the typist makes them: e2e_page_window, e2e_hotkeys.
        ProgramFolder folder;
        folder.addNumberedPages(5);
        Form1 &panel = folder.start();
        folder.load(QStringLiteral("5.jpg"));

        enterName(panel, QStringLiteral("1.JPG"));
        QCOMPARE(folder.shownPage(), 1);
        QCOMPARE(panel.Text4->text(), QStringLiteral("1.jpg"));
        for (const char *typed : {"2", "", "2.jpg "}) {
            enterName(panel, QLatin1String(typed));
            QCOMPARE(panel.File1->currentRow(), 0);
        }
        enterName(panel, QStringLiteral("2.jpg"), Qt::Key_Enter);
        QCOMPARE(folder.shownPage(), 2);
        QVERIFY(folder.messages.isEmpty());
    }

    void windows874Name_listedLoadedAndMatchedWhenTyped()
    {
        if (QSysInfo::productType() == QLatin1String("windows"))
            QSKIP("Windows stores every name in Unicode");
        ProgramFolder folder;
        folder.addNumberedPages(2);
        // 2.jpg renamed "หน้า2.jpg" as Thai Windows writes it, and as unzip leaves it on Linux.
        const QByteArray raw = QFile::encodeName(folder.dir.path()) + "/\xcb\xb9\xe9\xd2" "2.jpg";
        const QByteArray plain = QFile::encodeName(folder.path(QStringLiteral("2.jpg")));
        QVERIFY(std::rename(plain.constData(), raw.constData()) == 0);
        const QString thai = QStringLiteral("หน้า2.jpg");

        Form1 &panel = folder.start();
        QCOMPARE(panel.File1->count(), 2);
        QCOMPARE(panel.File1->text(1), thai);
        panel.File1->setCurrentRow(1);
        QCOMPARE(folder.shownPage(), 2);
        // Its times too, so that a page read ahead under this name is used.
        qint64 size = 0, modified = 0, changed = 0;
        QVERIFY(forms::fileTimes(forms::joinPath(forms::AppPath(), thai), &size, &modified, &changed));
        QVERIFY(size > 0 && modified > 0);

        panel.File1->setCurrentRow(0);
        enterName(panel, thai);
        QCOMPARE(panel.File1->currentRow(), 1);
        QCOMPARE(folder.shownPage(), 2);
        QVERIFY(folder.messages.isEmpty());
    }

    void loadImage_keepsOnlyTheFirstLine_failureKeepsThePageBefore_bigPageCutByTheWindow()
    {
        ProgramFolder folder;
        folder.addPage(QStringLiteral("b.jpg"));
        folder.addPage(QStringLiteral("good.jpg"), {77, 50});
        folder.addPage(QStringLiteral("a4.jpg"), {4961, 7016});  // a 600-dpi scan
        folder.addFile(QStringLiteral("empty.jpg"), {});
        const QByteArray good = folder.read(QStringLiteral("good.jpg"));
        folder.addFile(QStringLiteral("cut.jpg"), good.left(good.size() * 2 / 3));
        // A header that claims 60000 x 60000 pixels: refused before any memory is taken.
        QByteArray huge = good;
        const qsizetype sof = huge.indexOf("\xFF\xC0");
        QVERIFY(sof > 0);
        huge.replace(sof + 5, 4, "\xEA\x60\xEA\x60");
        folder.addFile(QStringLiteral("huge.jpg"), huge);
        Form1 &panel = folder.start();

        // A first line that is empty leaves an empty name, loaded on the next click.
        folder.load(QStringLiteral("\r\nb.jpg"));
        QCOMPARE(panel.Text4->text(), QString());
        QVERIFY(!panel.form2IfOpen());
        panel.Command6->click();
        QCOMPARE(folder.takeMessages(), notFound(folder, QString()));

        folder.load(QStringLiteral("b.jpg\r\nsecond line\r\n"));
        QCOMPARE(panel.Text4->text(), QStringLiteral("b.jpg"));
        QVERIFY(panel.form2IfOpen() && panel.form2().isVisible());

        // A file that is missing, a folder, no whole JPEG or too large to decode: the message,
        // and the page before stays.
        folder.load(QStringLiteral("good.jpg"));
        for (const char *name : {"missing.jpg", ".", "empty.jpg", "cut.jpg", "huge.jpg"}) {
            folder.load(QLatin1String(name));
            QCOMPARE(folder.takeMessages(), notFound(folder, QLatin1String(name)));
            QCOMPARE(panel.Text4->text(), QLatin1String(name));
            QCOMPARE(panel.form2().Image1->width(), 77);
            QCOMPARE(panel.Text3, QStringLiteral("50"));
        }

        // The window cuts the big page off; the control keeps its full size.
        folder.load(QStringLiteral("a4.jpg"));
        QCOMPARE(panel.Text3, QStringLiteral("7016"));
        QCOMPARE(panel.form2().Image1->size(), QSize(4961, 7016));
        QCOMPARE(panel.form2().geometry(), QRect(0, 80, 1024, 344));
    }

    void steps_stopAtTheEndsOfTheList()
    {
        // In an empty folder and at the first of five pages prev does nothing; next at the
        // last page, or with none, says there is no more.
        for (int count : {0, 5}) {
            ProgramFolder folder;
            folder.addNumberedPages(count);
            Form1 &panel = folder.start();
            panel.Command8->click();
            QCOMPARE(panel.t, 0);
            QVERIFY(!panel.form2IfOpen());

            panel.File1->setCurrentRow(count - 1);
            panel.Command7->click();
            QCOMPARE(folder.takeMessages(), QStringList{"Image Preview: No more image to preview!"});
            QCOMPARE(panel.t, qMax(count - 1, 0));
            QCOMPARE(folder.shownPage(), count);
        }
    }

    void steps_continueFromThePageLoadedByName_nextResetsScrollPrevAndListKeepIt()
    {
        ProgramFolder folder;
        folder.addNumberedPages(5);
        folder.addFile(QStringLiteral("current.txt"), "3.jpg\r\n");
        Form1 &panel = folder.start();
        QCOMPARE(panel.Text4->text(), QStringLiteral("3.jpg"));
        panel.Command6->click();
        panel.Command7->click();
        QCOMPARE(folder.shownPage(), 4);

        // A page given on the command line is shown the same way.
        panel.showPage(QStringLiteral("2.jpg"));
        QCOMPARE(folder.shownPage(), 2);
        panel.Command7->click();
        QCOMPARE(folder.shownPage(), 3);

        panel.VScroll1->setValue(400);
        panel.Command7->click();
        QCOMPARE(panel.VScroll1->value(), 0);
        QCOMPARE(panel.form2().Image1->Top(), 0);
        QCOMPARE(panel.Text4->text(), QStringLiteral("4.jpg"));
        QCOMPARE(panel.File1->currentRow(), 3);

        panel.VScroll1->setValue(250);
        panel.Command8->click();
        QCOMPARE(panel.VScroll1->value(), 250);
        QCOMPARE(panel.form2().Image1->Top(), -250);
        panel.File1->setCurrentRow(0);
        QCOMPARE(panel.VScroll1->value(), 250);
    }

    void steps_brokenPageReportedOnce()
    {
        ProgramFolder folder;
        folder.addNumberedPages(3);
        folder.addFile(QStringLiteral("2.jpg"), "broken");
        Form1 &panel = folder.start();
        panel.File1->setCurrentRow(0);

        panel.Command7->click();
        QCOMPARE(folder.takeMessages(), notFound(folder, QStringLiteral("2.jpg")));
        QCOMPARE(panel.File1->currentRow(), 1);
        QCOMPARE(folder.shownPage(), 1);

        panel.Command7->click();
        QCOMPARE(folder.shownPage(), 3);
        panel.Command8->click();
        QCOMPARE(folder.takeMessages(), notFound(folder, QStringLiteral("2.jpg")));
        QCOMPARE(folder.shownPage(), 3);
    }

    void pageNotReadAhead_topRowsFirstAndTheRestExact()
    {
        ProgramFolder folder;
        folder.addBusyPages(1, 3);
        RestGate gate;
        Form1 &panel = folder.start();
        Form2 &page = panel.form2();
        const QImage first = folder.decoded(QStringLiteral("1.jpg"));

        // The size and Text3 come from the header at once, before the rest has started.
        folder.load(QStringLiteral("1.jpg"));
        QCOMPARE(gate.started.available(), 0);
        QCOMPARE(page.Image1->size(), QSize(1240, 1754));
        QCOMPARE(panel.Text3, QStringLiteral("1754"));
        QCOMPARE(page.Image1->picture().copy(0, 0, 1024, 344), first.copy(0, 0, 1024, 344));

        // A scroll below the top rows, before the event loop has started the rest, paints
        // them decoded.
        gate.release.release();
        panel.VScroll1->setValue(800);
        const QImage shown = page.grab({0, 0, 1024, 300}).toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.copy(0, 20, 1024, 240), first.copy(0, 820, 1024, 240));
        gate.started.acquire();

        // A step while the rest decodes on its worker: the step goes on from this page, and
        // every page comes out as a whole decode gives it.
        folder.load(QStringLiteral("3.jpg"));
        QTRY_COMPARE(gate.started.available(), 1);
        gate.release.release(10);  // and the rests of any pages after it
        panel.Command8->click();
        panel.Command3->click();  // a layout switch waits for the whole page
        QCOMPARE(page.Image1->picture(), folder.decoded(QStringLiteral("2.jpg")));
        QVERIFY(folder.messages.isEmpty());
    }

    void pageNotReadAhead_brokenBelowTheTopRowsIsTakenBack()
    {
        ProgramFolder folder;
        folder.addNumberedPages(2);
        folder.addBusyPages(3, 4);
        RestGate gate;
        gate.broken = QStringList{QStringLiteral("3.jpg"), QStringLiteral("4.jpg")};
        gate.release.release(100);
        Form1 &panel = folder.start();
        panel.File1->setCurrentRow(1);

        // Found out while no command waits: the message, and the page before it comes back.
        folder.load(QStringLiteral("3.jpg"));
        QTRY_COMPARE(folder.messages.size(), 1);
        QCOMPARE(folder.takeMessages(), notFound(folder, QStringLiteral("3.jpg")));
        QCOMPARE(folder.shownPage(), 2);
        QCOMPARE(panel.Text3, QStringLiteral("60"));
        QCOMPARE(panel.t, 1);
        QCOMPARE(panel.File1->currentRow(), 1);
        QCOMPARE(panel.Text4->text(), QStringLiteral("3.jpg"));

        // A step before the rest is over does not wait for it: 3.jpg is never found out, 4.jpg
        // is, and 3.jpg comes back; as after a failed step, the list has moved on.
        panel.File1->setCurrentRow(1);
        panel.Command7->click();  // to 3.jpg, broken
        panel.Command7->click();  // on to 4.jpg, broken too
        QCOMPARE(folder.messages.size(), 0);
        QCOMPARE(panel.t, 3);
        QCOMPARE(panel.File1->currentRow(), 3);
        QTRY_COMPARE(folder.messages.size(), 1);
        QCOMPARE(folder.takeMessages(), notFound(folder, QStringLiteral("4.jpg")));
        QCOMPARE(panel.form2().accessibleName(), QStringLiteral("Page 3.jpg"));
        QCOMPARE(panel.Text3, QStringLiteral("1754"));
    }

    void typedNameOrPointedEntry_guessedBeforehandWithoutATrace()
    {
        ProgramFolder folder;
        folder.addBusyPages(1, 6);
        Form1 &panel = folder.start();
        Form2 &page = panel.form2();
        PageCache &cache = panel.pageCacheForTesting();
        const auto pageName = [](int n) { return QStringLiteral("Page %1.jpg").arg(n); };
        folder.load(QStringLiteral("1.jpg"));
        QTRY_COMPARE(folder.saved(), QByteArray("1.jpg\r\n"));
        const auto typeInFull = [&](const char *name) {
            panel.Text4->clear();
            QTest::keyClicks(panel.Text4, QLatin1String(name));
            cache.waitForGuessForTesting();
        };

        // Until Enter the page, the list row and the saved page stay as they were.
        typeInFull("3.JPG");
        QCOMPARE(page.accessibleName(), pageName(1));
        QCOMPARE(panel.File1->currentRow(), 0);
        QCOMPARE(folder.saved(), QByteArray("1.jpg\r\n"));
        QTest::keyClick(panel.Text4, Qt::Key_Return);
        QCOMPARE(page.accessibleName(), pageName(3));
        QCOMPARE(cache.counters().guessed, 1);
        panel.Command3->click();  // waits for the whole page
        QCOMPARE(page.Image1->picture(), folder.decoded(QStringLiteral("3.jpg")));

        // A step instead of Enter goes on from the page on screen; the guess goes unused.
        typeInFull("1.jpg");
        panel.Command8->click();
        QCOMPARE(page.accessibleName(), pageName(2));
        QCOMPARE(cache.counters().guessed, 1);

        // The pointer resting on an entry far from the page on screen: the same, before a click.
        panel.File1->scrollToBottom();
        QWidget *list = panel.File1->viewport();
        const QPoint entry = panel.File1->visualRect(panel.File1->model()->index(3, 0)).center();
        // Sent, not moved: on Windows a moved pointer reports itself later.
        QMouseEvent move(QEvent::MouseMove, entry, list->mapToGlobal(entry), Qt::NoButton, {}, {});
        QCoreApplication::sendEvent(list, &move);
        QTRY_VERIFY(!panel.findChild<QTimer *>(QStringLiteral("pointer rest"))->isActive());
        cache.waitForGuessForTesting();
        QCOMPARE(page.accessibleName(), pageName(2));
        QCOMPARE(panel.File1->currentRow(), 1);
        QTRY_COMPARE(folder.saved(), QByteArray("2.jpg\r\n"));
        QTest::mouseClick(list, Qt::LeftButton, {}, entry);
        QCOMPARE(page.accessibleName(), pageName(4));
        QCOMPARE(cache.counters().guessed, 2);
        // And the entry Page Down would select while the list has the focus.
        panel.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&panel));
        panel.File1->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(panel.File1->hasFocus());
        QTRY_VERIFY(!cache.pendingRest());  // read-aheads wait for it
        cache.waitForIdleForTesting();
        const int decoded = cache.counters().decodedOnLoad;
        QTest::keyClick(panel.File1, Qt::Key_PageDown);
        QVERIFY(panel.File1->currentRow() > 3);
        QCOMPARE(page.accessibleName(), pageName(panel.File1->currentRow() + 1));
        // Guessed, or read ahead where the list shows fewer entries (the next page is then).
        QCOMPARE(cache.counters().decodedOnLoad, decoded);

        // Neighbours read ahead in the half layout's view, then the full layout: read again.
        cache.setReadAheadBudget(1);  // no page whole: parts in view
        panel.Command3->click();
        panel.Command8->click();
        cache.waitForIdleForTesting();
        panel.Command3->click();
        cache.waitForIdleForTesting();
        const int beforeStep = cache.counters().decodedOnLoad;
        panel.Command8->click();
        QCOMPARE(cache.counters().decodedOnLoad, beforeStep);
        QVERIFY(folder.messages.isEmpty());
    }

    void restOfAPageLeft_droppedWithoutTouchingTheNewPage()
    {
        ProgramFolder folder;
        folder.addBusyPages(1, 2);
        RestGate gate;
        Form1 &panel = folder.start();
        folder.load(QStringLiteral("1.jpg"));
        QTRY_COMPARE(gate.started.available(), 1);  // its rest held in flight
        panel.Command7->click();  // a wait for it would end only as the hold times out
        gate.release.release(10);
        QVERIFY(!gate.timedOut);
        QTRY_COMPARE(folder.saved(), QByteArray("2.jpg\r\n"));
        QCOMPARE(panel.File1->currentRow(), 1);
        // Each page as a whole decode gives it: the one left, never whole, is decoded again.
        for (int row : {1, 0}) {
            panel.File1->setCurrentRow(row);
            panel.Command3->click();  // waits for the whole page
            const QString name = QStringLiteral("%1.jpg").arg(row + 1);
            QCOMPARE(panel.form2().Image1->picture(), folder.decoded(name));
        }
        QVERIFY(folder.messages.isEmpty());
    }
};

ZORVANE_TEST_MAIN(NavigationTest)
#include "tst_navigation.moc"
