// The page window: its red line, the show command's styles and opacity, scrolling and layouts.

#include "testsupport.h"

#include "viewer/form2.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>

using testsupport::ProgramFolder;

namespace {

constexpr ws::LONG_PTR PassThrough = ws::WS_EX_LAYERED | ws::WS_EX_TRANSPARENT | ws::WS_EX_TOPMOST;

ws::LONG_PTR style(Form2 &page)
{
    return ws::GetWindowLongA(page.hWnd(), ws::GWL_EXSTYLE);
}

void load(Form1 &panel, const QString &name)
{
    panel.Text4->setText(name);
    panel.Command6->click();
}

} // namespace

class ViewerTest : public QObject
{
    Q_OBJECT

private slots:
    void design_lineCrossesTheWholeWindowUnderThePicture();
    void show_afterLoadIsLayeredClickThroughTopmostAtSliderOpacity();
    void slider_showsOnlyWithANameOfMoreThanFourLettersAndThenTakesInput();
    void scroll_movesPictureOnceLoadedAndPageStepsStopAtTheLimits();
    void layout_switchCyclesHeightCaptionAndPageStep();
    void layout_withoutALoadedPage();
};

void ViewerTest::design_lineCrossesTheWholeWindowUnderThePicture()
{
    ProgramFolder folder;
    folder.addPage(QStringLiteral("narrow.jpg"), {100, 10}, Qt::blue);
    Form1 &panel = folder.start();
    load(panel, QStringLiteral("narrow.jpg"));
    const QImage shot = panel.form2().grab().toImage();
    // Right of the picture the red line shows; above it the picture hides nothing.
    QCOMPARE(QColor(shot.pixel(500, 16)), QColor(Qt::red));
    QCOMPARE(QColor(shot.pixel(1000, 16)), QColor(Qt::red));
    QVERIFY(QColor(shot.pixel(50, 5)).blue() > 200);
    QVERIFY(QColor(shot.pixel(500, 30)) != QColor(Qt::red));
}

void ViewerTest::show_afterLoadIsLayeredClickThroughTopmostAtSliderOpacity()
{
    ProgramFolder folder;
    folder.addPage(QStringLiteral("a.jpg"));
    Form1 &panel = folder.start();
    load(panel, QStringLiteral("a.jpg"));
    load(panel, QStringLiteral("a.jpg")); // the second show changes nothing
    Form2 &page = panel.form2();
    QVERIFY(page.isVisible());
    QCOMPARE(style(page), PassThrough);
    QCOMPARE(ws::layeredAlpha(page.hWnd()), ws::BYTE(100));
    QVERIFY(ws::isClickThrough(page.hWnd()));
    QVERIFY(ws::isTopmost(page.hWnd()));
    QVERIFY(ws::isTopmost(panel.hWnd()));
    QCOMPARE(page.windowOpacity(), 100 / 255.0);
    QVERIFY(page.testAttribute(Qt::WA_ShowWithoutActivating));

    panel.HScroll1->setValue(255);
    QCOMPARE(ws::layeredAlpha(page.hWnd()), ws::BYTE(255));
    QVERIFY(ws::isClickThrough(page.hWnd()));
    panel.HScroll1->setValue(0);
    QCOMPARE(panel.HScroll1->value(), 10);
    QCOMPARE(ws::layeredAlpha(page.hWnd()), ws::BYTE(10));
}

void ViewerTest::slider_showsOnlyWithANameOfMoreThanFourLettersAndThenTakesInput()
{
    ProgramFolder folder;
    Form1 &panel = folder.start();
    for (const char *name : {"", "abcd"}) {
        panel.Text4->setText(QLatin1String(name));
        panel.HScroll1->setValue(panel.HScroll1->value() + 5);
        QCOMPARE(panel.Text1, QString::number(panel.HScroll1->value()));
        QVERIFY(!panel.form2IfOpen());
    }
    // Before any load the window shows, empty, but not click-through.
    panel.Text4->setText(QStringLiteral("a.jpg"));
    panel.HScroll1->setValue(150);
    Form2 &page = panel.form2();
    QVERIFY(page.isVisible());
    QCOMPARE(style(page), ws::WS_EX_LAYERED | ws::WS_EX_TOPMOST);
    QCOMPARE(ws::layeredAlpha(page.hWnd()), ws::BYTE(150));
    QVERIFY(!ws::isClickThrough(page.hWnd()));
    QVERIFY(page.Image1->picture().isNull());
}

void ViewerTest::scroll_movesPictureOnceLoadedAndPageStepsStopAtTheLimits()
{
    ProgramFolder folder;
    folder.addPage(QStringLiteral("a.jpg"), {300, 3000});
    Form1 &panel = folder.start();
    panel.VScroll1->setValue(300);
    QVERIFY(!panel.form2IfOpen());  // nothing to move, nothing created

    load(panel, QStringLiteral("a.jpg"));  // half layout: 344 px high, step 328
    // Loading does not move the picture: it stays at its top until the bar changes.
    QCOMPARE(panel.form2().Image1->Top(), 0);
    panel.Command10->click();
    QCOMPARE(panel.VScroll1->value(), 0);
    QSignalSpy changes(panel.VScroll1, &QScrollBar::valueChanged);
    panel.Command10->click();
    QCOMPARE(changes.count(), 0);
    panel.Command9->click();
    QCOMPARE(panel.VScroll1->value(), 328);
    QCOMPARE(panel.form2().Image1->Top(), -328);

    panel.Command3->click();  // full layout: 728 px high, step 712
    panel.VScroll1->setValue(29800);
    changes.clear();
    panel.Command9->click();
    QCOMPARE(panel.VScroll1->value(), 30000);
    panel.Command9->click();
    QCOMPARE(changes.count(), 1);
    panel.Command10->click();
    QCOMPARE(panel.VScroll1->value(), 30000 - 712);
}

void ViewerTest::layout_switchCyclesHeightCaptionAndPageStep()
{
    ProgramFolder folder;
    folder.addPage(QStringLiteral("a.jpg"), {90, 90});
    Form1 &panel = folder.start();
    load(panel, QStringLiteral("a.jpg"));
    Form2 &page = panel.form2();

    struct Expected {
        const char *caption;
        int height;
        int pageStep;
    };
    const Expected cycle[] = {{"Half screen 1", 728, 728}, {"Full screen 2", 344, 344}};
    for (const Expected &expected : cycle) {
        panel.Command3->click();
        QCOMPARE(panel.Command3->text(), QLatin1String(expected.caption));
        QCOMPARE(page.geometry(), QRect(0, 80, 1024, expected.height));
        QCOMPARE(panel.VScroll1->pageStep(), expected.pageStep);
        QCOMPARE(style(page), PassThrough);
    }
    // A name that is not there still switches, and keeps the page on screen.
    panel.Text4->setText(QStringLiteral("gone.jpg"));
    panel.Command3->click();
    QCOMPARE(page.geometry().height(), 728);
    QCOMPARE(page.Image1->width(), 90);
    // A page loaded in the full layout keeps the full height.
    load(panel, QStringLiteral("a.jpg"));
    QCOMPARE(page.geometry().height(), 728);
    QVERIFY(folder.messages.isEmpty());
}

void ViewerTest::layout_withoutALoadedPage()
{
    // With an empty name nothing changes.
    ProgramFolder folder;
    folder.addPage(QStringLiteral("a.jpg"), {90, 90});
    Form1 &panel = folder.start();
    panel.Command3->click();
    QCOMPARE(panel.Command3->text(), QStringLiteral("full screen 2"));
    QCOMPARE(panel.VScroll1->pageStep(), 400);
    QVERIFY(!panel.form2IfOpen());

    // With the remembered name the first switch shows its page.
    panel.Text4->setText(QStringLiteral("a.jpg"));
    panel.Command3->click();
    Form2 &page = panel.form2();
    QVERIFY(page.isVisible());
    QCOMPARE(page.geometry(), QRect(0, 80, 1024, 728));
    QCOMPARE(page.Image1->width(), 90);
    QCOMPARE(style(page), PassThrough);
}

ZORVANE_TEST_MAIN(ViewerTest)
#include "tst_viewer.moc"
