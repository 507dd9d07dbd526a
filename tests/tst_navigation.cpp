// Choosing and loading pages: list clicks, typed names, the load button, next and prev.

#include "testsupport.h"

#include "viewer/form2.h"

#include <cstdio>

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QSemaphore>
#include <QPushButton>
#include <QScrollBar>

using testsupport::ProgramFolder;

namespace {

int shownPage(Form1 &panel)
{
    return panel.form2IfOpen() ? panel.form2().Image1->picture().width() - 40 : 0;
}

QString notFound(const ProgramFolder &folder, const QString &name)
{
    const QString base = QDir::toNativeSeparators(folder.dir.path());
    return QStringLiteral("Can't find ") + (name.isNull() ? QString() : base + QDir::separator() + name)
        + QStringLiteral(" . Please recheck file in folder [") + base + QStringLiteral("] ");
}

// A large page with detail everywhere, so that a row or column decoded wrongly shows.
void addBusyPage(ProgramFolder &folder, const QString &name, int seed)
{
    QImage page(1240, 1754, QImage::Format_RGB32);
    for (int y = 0; y < page.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(page.scanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            const int v = (x * 7 + y * 13 + ((x ^ y) & 31) * 5 + seed * 40) & 255;
            line[x] = qRgb(v, (x + 2 * y) & 255, (255 - v + y) & 255);
        }
    }
    QVERIFY(page.save(folder.path(name), "JPEG", 85));
}

// Holds the rest of each page shown by its top rows until released; `broken` pages end
// as files broken below those rows do.
struct RestGate {
    QSemaphore started;
    QSemaphore release;
    QStringList broken;
    RestGate()
    {
        forms::setPictureRestHookForTesting([this](const QString &path) {
            started.release();
            release.acquire();
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
    void eachWayOfChoosing_loadsThePage();
    void windows874Name_listedLoadedAndMatchedWhenTyped();
    void loadImage_keepsOnlyTheFirstLine();
    void loadImage_missingOrBrokenFileReportsAndKeepsPreviousPage();
    void loadImage_bigPageInTheHalfLayout();
    void steps_stopAtTheEndsOfTheList();
    void steps_nextResetsScrollPrevAndListKeepIt();
    void steps_continueFromThePageLoadedByName();
    void steps_brokenPageReportedOnce();
    void pageNotReadAhead_topRowsFirstAndTheRestExact();
    void pageNotReadAhead_brokenBelowTheTopRowsIsTakenBack();
};

void NavigationTest::eachWayOfChoosing_loadsThePage()
{
    // A list click, next and prev as the typist makes them: e2e_page_window, e2e_hotkeys.
    ProgramFolder folder;
    folder.addNumberedPages(5);
    Form1 &panel = folder.start();

    panel.Text4->setText(QStringLiteral("5.jpg"));
    panel.Command6->click();
    QCOMPARE(shownPage(panel), 5);

    // Enter in the name box selects the entry of that name, in any letter case, and
    // only by its whole name.
    panel.Text4->setText(QStringLiteral("1.JPG"));
    QTest::keyClick(panel.Text4, Qt::Key_Return);
    QCOMPARE(shownPage(panel), 1);
    QCOMPARE(panel.File1->currentRow(), 0);
    QCOMPARE(panel.Text4->text(), QStringLiteral("1.jpg"));
    for (const char *typed : {"2", "", "2.jpg "}) {
        panel.Text4->setText(QLatin1String(typed));
        QTest::keyClick(panel.Text4, Qt::Key_Return);
        QCOMPARE(panel.File1->currentRow(), 0);
    }
    panel.Text4->setText(QStringLiteral("2.jpg"));
    QTest::keyClick(panel.Text4, Qt::Key_Enter);
    QCOMPARE(shownPage(panel), 2);
    QVERIFY(folder.messages.isEmpty());
}

void NavigationTest::windows874Name_listedLoadedAndMatchedWhenTyped()
{
    if (QSysInfo::productType() == QLatin1String("windows"))
        QSKIP("Windows stores every name in Unicode");
    ProgramFolder folder;
    folder.addPage(QStringLiteral("1.jpg"), {50, 70});
    // "หน้า2.jpg" as Thai Windows writes it, and as unzip leaves it on Linux.
    const QByteArray raw("\xcb\xb9\xe9\xd2" "2.jpg");
    folder.addPage(QStringLiteral("spare.jpg"), {52, 70});
    QVERIFY(QFile::rename(folder.path(QStringLiteral("spare.jpg")), QStringLiteral("spare")));
    QVERIFY(std::rename("spare", (QFile::encodeName(folder.dir.path()) + '/' + raw).constData()) == 0);
    const QString thai = QStringLiteral("หน้า2.jpg");

    Form1 &panel = folder.start();
    QCOMPARE(panel.cnt, 2);
    QCOMPARE(panel.File1->item(1)->text(), thai);
    panel.File1->setCurrentRow(1);
    QCOMPARE(panel.form2().Image1->width(), 52);
    // Its times too, so that a page read ahead under this name is used.
    qint64 size = 0, modified = 0, changed = 0;
    QVERIFY(forms::fileTimes(forms::joinPath(forms::AppPath(), thai), &size, &modified, &changed));
    QVERIFY(size > 0 && modified > 0);

    panel.File1->setCurrentRow(0);
    panel.Text4->setText(thai);
    QTest::keyClick(panel.Text4, Qt::Key_Return);
    QCOMPARE(panel.File1->currentRow(), 1);
    QCOMPARE(panel.form2().Image1->width(), 52);
    QVERIFY(folder.messages.isEmpty());
}

void NavigationTest::loadImage_keepsOnlyTheFirstLine()
{
    ProgramFolder folder;
    folder.addPage(QStringLiteral("b.jpg"));
    Form1 &panel = folder.start();

    // A first line that is empty leaves an empty name, loaded on the next click.
    panel.Text4->setText(QStringLiteral("\r\nb.jpg"));
    panel.Command6->click();
    QCOMPARE(panel.Text4->text(), QString());
    QVERIFY(folder.messages.isEmpty());
    QVERIFY(!panel.form2IfOpen());
    panel.Command6->click();
    QCOMPARE(folder.messages.size(), 1);
    QCOMPARE(folder.messages[0].text, notFound(folder, QString()));
    QCOMPARE(folder.messages[0].caption, forms::appTitle());

    folder.messages.clear();
    panel.Text4->setText(QStringLiteral("b.jpg\r\nsecond line\r\n"));
    panel.Command6->click();
    QCOMPARE(panel.Text4->text(), QStringLiteral("b.jpg"));
    QVERIFY(panel.form2IfOpen() && panel.form2().isVisible());
    QVERIFY(folder.messages.isEmpty());
}

void NavigationTest::loadImage_missingOrBrokenFileReportsAndKeepsPreviousPage()
{
    ProgramFolder folder;
    folder.addPage(QStringLiteral("good.jpg"), {77, 50});
    QImage png(30, 30, QImage::Format_RGB32);
    png.fill(Qt::red);
    QVERIFY(png.save(folder.path(QStringLiteral("png.jpg")), "PNG"));
    folder.addFile(QStringLiteral("empty.jpg"), {});
    folder.addFile(QStringLiteral("text.jpg"), "not a picture\n");
    QByteArray cut = folder.read(QStringLiteral("good.jpg"));
    cut.chop(cut.size() / 3);
    folder.addFile(QStringLiteral("cut.jpg"), cut);
    // A header that claims 60000 x 60000 pixels: refused before any memory is taken.
    QByteArray huge = folder.read(QStringLiteral("good.jpg"));
    const qsizetype sof = huge.indexOf("\xFF\xC0");
    QVERIFY(sof > 0);
    huge[sof + 5] = char(0xEA);
    huge[sof + 6] = char(0x60);
    huge[sof + 7] = char(0xEA);
    huge[sof + 8] = char(0x60);
    folder.addFile(QStringLiteral("huge.jpg"), huge);

    Form1 &panel = folder.start();
    panel.Text4->setText(QStringLiteral("good.jpg"));
    panel.Command6->click();
    QCOMPARE(panel.Text3, QStringLiteral("50"));

    const QStringList bad = {"missing.jpg", "png.jpg", "empty.jpg", "text.jpg", "cut.jpg",
                             "huge.jpg", "."};
    for (const QString &name : bad) {
        folder.messages.clear();
        panel.Text4->setText(name);
        panel.Command6->click();
        QCOMPARE(folder.messages.size(), 1);
        QCOMPARE(folder.messages[0].text, notFound(folder, name));
        QCOMPARE(panel.Text4->text(), name);
        QCOMPARE(panel.form2().Image1->width(), 77);
        QCOMPARE(panel.Text3, QStringLiteral("50"));
    }
}

void NavigationTest::loadImage_bigPageInTheHalfLayout()
{
    // A 600-dpi A4 scan.
    ProgramFolder folder;
    folder.addPage(QStringLiteral("a4.jpg"), {4961, 7016});
    Form1 &panel = folder.start();
    panel.Text4->setText(QStringLiteral("a4.jpg"));
    panel.Command6->click();
    QVERIFY(folder.messages.isEmpty());
    QCOMPARE(panel.Text3, QStringLiteral("7016"));
    Form2 &page = panel.form2();
    // The window cuts the picture off; the control keeps its full size.
    QCOMPARE(page.Image1->size(), QSize(4961, 7016));
    QCOMPARE(QRectF(page.Left(), page.Top(), page.Width(), page.Height()),
             QRectF(0, 1200, 15360, 5160));
    QCOMPARE(page.geometry(), QRect(0, 80, 1024, 344));
}

void NavigationTest::steps_stopAtTheEndsOfTheList()
{
    {
        // An empty folder: prev does nothing, next says there is no more.
        ProgramFolder empty;
        empty.start().Command8->click();
        QVERIFY(empty.messages.isEmpty());
        empty.panel->Command7->click();
        QCOMPARE(empty.messages.size(), 1);
        QCOMPARE(empty.messages[0].text, QStringLiteral("No more image to preview!"));
        QCOMPARE(empty.panel->t, 0);
    }
    ProgramFolder folder;
    folder.addNumberedPages(5);
    Form1 &panel = folder.start();
    panel.Command8->click();  // at the first page: nothing, no message
    QCOMPARE(panel.t, 0);
    QVERIFY(!panel.form2IfOpen());
    QVERIFY(folder.messages.isEmpty());

    panel.File1->setCurrentRow(4);
    panel.Command7->click();
    QCOMPARE(folder.messages.size(), 1);
    QCOMPARE(folder.messages[0].text, QStringLiteral("No more image to preview!"));
    QCOMPARE(folder.messages[0].caption, QStringLiteral("Image Preview"));
    QCOMPARE(panel.t, 4);
    QCOMPARE(shownPage(panel), 5);
}

void NavigationTest::steps_nextResetsScrollPrevAndListKeepIt()
{
    ProgramFolder folder;
    folder.addNumberedPages(5);
    Form1 &panel = folder.start();
    panel.File1->setCurrentRow(2);

    panel.VScroll1->setValue(400);
    QCOMPARE(panel.form2().Image1->Top(), -400);
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

void NavigationTest::steps_continueFromThePageLoadedByName()
{
    ProgramFolder folder;
    folder.addNumberedPages(5);
    folder.addFile(QStringLiteral("current.txt"), "3.jpg\r\n");
    Form1 &panel = folder.start();
    QCOMPARE(panel.Text4->text(), QStringLiteral("3.jpg"));
    panel.Command6->click();
    QCOMPARE(panel.t, 2);
    panel.Command7->click();
    QCOMPARE(shownPage(panel), 4);

    // A page given on the command line is shown the same way.
    panel.showPage(QStringLiteral("2.jpg"));
    QCOMPARE(shownPage(panel), 2);
    QCOMPARE(panel.t, 1);
    panel.Command7->click();
    QCOMPARE(shownPage(panel), 3);
}

void NavigationTest::steps_brokenPageReportedOnce()
{
    ProgramFolder folder;
    folder.addPage(QStringLiteral("1.jpg"), {41, 60});
    folder.addFile(QStringLiteral("2.jpg"), "broken");
    folder.addPage(QStringLiteral("3.jpg"), {43, 60});
    Form1 &panel = folder.start();
    panel.File1->setCurrentRow(0);

    panel.Command7->click();
    QCOMPARE(folder.messages.size(), 1);
    QCOMPARE(folder.messages[0].text, notFound(folder, QStringLiteral("2.jpg")));
    QCOMPARE(panel.t, 1);
    QCOMPARE(panel.File1->currentRow(), 1);
    QCOMPARE(shownPage(panel), 1);

    panel.Command7->click();
    QCOMPARE(shownPage(panel), 3);
    folder.messages.clear();
    panel.Command8->click();
    QCOMPARE(folder.messages.size(), 1);
    QCOMPARE(shownPage(panel), 3);
}

void NavigationTest::pageNotReadAhead_topRowsFirstAndTheRestExact()
{
    ProgramFolder folder;
    for (int i = 1; i <= 3; ++i)
        addBusyPage(folder, QStringLiteral("%1.jpg").arg(i), i);
    RestGate gate;
    Form1 &panel = folder.start();
    Form2 &page = panel.form2();
    const auto wholePage = [&](const char *name) {
        forms::Error error;
        return forms::LoadPicture(folder.path(QLatin1String(name)), &error);
    };

    // The size and Text3 come from the header at once, before the rest has started.
    panel.Text4->setText(QStringLiteral("1.jpg"));
    panel.Command6->click();
    QCOMPARE(gate.started.available(), 0);
    QCOMPARE(page.Image1->size(), QSize(1240, 1754));
    QCOMPARE(panel.Text3, QStringLiteral("1754"));
    QCOMPARE(page.Image1->picture().copy(0, 0, 1024, 344), wholePage("1.jpg").copy(0, 0, 1024, 344));

    // A scroll below the top rows, before the event loop has started the rest, paints
    // them decoded.
    gate.release.release();
    panel.VScroll1->setValue(800);
    const QImage shown = page.grab(QRect(0, 0, 1024, 300)).toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.copy(0, 20, 1024, 240), wholePage("1.jpg").copy(0, 820, 1024, 240));
    gate.started.acquire();

    // A step while the rest decodes on its worker: the step goes on from this page, and
    // every page comes out as a whole decode gives it.
    panel.Text4->setText(QStringLiteral("3.jpg"));
    panel.Command6->click();
    QTRY_COMPARE(gate.started.available(), 1);
    gate.release.release(10);  // and the rests of any pages after it
    panel.Command8->click();
    QCOMPARE(panel.Text4->text(), QStringLiteral("2.jpg"));
    QCOMPARE(panel.t, 1);
    panel.Command3->click();  // a layout switch waits for the whole page
    QCOMPARE(page.Image1->picture(), wholePage("2.jpg"));
    QVERIFY(folder.messages.isEmpty());
}

void NavigationTest::pageNotReadAhead_brokenBelowTheTopRowsIsTakenBack()
{
    ProgramFolder folder;
    folder.addNumberedPages(2);
    addBusyPage(folder, QStringLiteral("3.jpg"), 3);
    addBusyPage(folder, QStringLiteral("4.jpg"), 4);
    RestGate gate;
    gate.broken = QStringList{QStringLiteral("3.jpg"), QStringLiteral("4.jpg")};
    gate.release.release(100);
    Form1 &panel = folder.start();
    panel.File1->setCurrentRow(1);
    QCOMPARE(shownPage(panel), 2);

    // Found out while no command waits: the message, and the page before it comes back.
    panel.Text4->setText(QStringLiteral("3.jpg"));
    panel.Command6->click();
    QTRY_COMPARE(folder.messages.size(), 1);
    QCOMPARE(folder.messages[0].text, notFound(folder, QStringLiteral("3.jpg")));
    QCOMPARE(shownPage(panel), 2);
    QCOMPARE(panel.Text3, QStringLiteral("60"));
    QCOMPARE(panel.t, 1);
    QCOMPARE(panel.File1->currentRow(), 1);
    QCOMPARE(panel.Text4->text(), QStringLiteral("3.jpg"));

    // Found out by the next command, a step: as after a failed step, the list has moved on
    // and the step goes on from there.
    folder.messages.clear();
    panel.File1->setCurrentRow(1);
    panel.Command7->click();  // to 3.jpg, broken
    QCOMPARE(panel.t, 2);
    panel.Command7->click();  // first the message for 3.jpg, then on to 4.jpg, broken too
    QCOMPARE(folder.messages.size(), 1);
    QCOMPARE(panel.t, 3);
    QCOMPARE(panel.File1->currentRow(), 3);
    QTRY_COMPARE(folder.messages.size(), 2);
    QCOMPARE(folder.messages[1].text, notFound(folder, QStringLiteral("4.jpg")));
    QCOMPARE(shownPage(panel), 2);
    QCOMPARE(panel.Text3, QStringLiteral("60"));
}

ZORVANE_TEST_MAIN(NavigationTest)
#include "tst_navigation.moc"
