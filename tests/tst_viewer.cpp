// The page window: its red line, the show command's styles and opacity, scrolling and layouts.

#include "testsupport.h"

#include <QSignalSpy>

using testsupport::ProgramFolder;

namespace {

constexpr ws::LONG_PTR PassThrough = ws::WS_EX_LAYERED | ws::WS_EX_TRANSPARENT | ws::WS_EX_TOPMOST;

ws::LONG_PTR style(Form2 &page) { return ws::GetWindowLongA(page.hWnd(), ws::GWL_EXSTYLE); }

} // namespace

class ViewerTest : public QObject
{
    Q_OBJECT

private slots:
    void redLine_crossesTheWindowUnderThePictureOnePixelThick()
    {
        ProgramFolder folder;
        folder.addPage(QStringLiteral("narrow.jpg"), {100, 10}, Qt::blue);
        Form1 &panel = folder.start();
        folder.load(QStringLiteral("narrow.jpg"));
        const QImage shot = panel.form2().grab().toImage();
        // Right of the picture the line shows, 16 px below the top; the picture hides it.
        for (int x : {150, 500, 1000})
            QCOMPARE(QColor(shot.pixel(x, 16)), QColor(Qt::red));
        QVERIFY(QColor(shot.pixel(50, 5)).blue() > 200);
        QVERIFY(QColor(shot.pixel(500, 15)) != QColor(Qt::red));
        QVERIFY(QColor(shot.pixel(500, 17)) != QColor(Qt::red));
    }

    void slider_showsOnlyWithANameOfMoreThanFourLettersAndThenTakesInput()
    {
        ProgramFolder folder;
        Form1 &panel = folder.start();
        panel.Text4->setText(QStringLiteral("abcd"));
        panel.HScroll1->setValue(panel.HScroll1->value() + 5);
        QVERIFY(!panel.form2IfOpen());
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

    void scroll_pageStepsStopAtTheLimits()
    {
        ProgramFolder folder;
        folder.addPage(QStringLiteral("a.jpg"), {300, 3000});
        Form1 &panel = folder.start();
        panel.VScroll1->setValue(300);
        QVERIFY(!panel.form2IfOpen());  // nothing to move, nothing created

        folder.load(QStringLiteral("a.jpg"));  // half layout: 344 px high, step 328
        panel.Command10->click();  // from 300: stops at 0
        QCOMPARE(panel.VScroll1->value(), 0);
        QSignalSpy changes(panel.VScroll1, &QScrollBar::valueChanged);
        panel.Command10->click();
        QCOMPARE(changes.count(), 0);
        panel.Command9->click();
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

    // Captions and places both ways: e2e_page_window.
    void layout_switchKeepsThePageWhenTheNameIsMissing_nextLoadKeepsTheLayout()
    {
        ProgramFolder folder;
        folder.addPage(QStringLiteral("a.jpg"), {90, 90});
        Form1 &panel = folder.start();
        // With an empty name nothing changes.
        panel.Command3->click();
        QCOMPARE(panel.Command3->text(), QStringLiteral("full screen 2"));
        QVERIFY(!panel.form2IfOpen());

        // With the remembered name the first switch shows its page.
        panel.Text4->setText(QStringLiteral("a.jpg"));
        panel.Command3->click();
        Form2 &page = panel.form2();
        QVERIFY(page.isVisible());
        QCOMPARE(page.geometry(), QRect(0, 80, 1024, 728));
        QCOMPARE(page.Image1->width(), 90);
        QCOMPARE(style(page), PassThrough);

        // A name that is gone: the switch still happens and keeps the page.
        panel.Text4->setText(QStringLiteral("gone.jpg"));
        panel.Command3->click();
        QCOMPARE(page.geometry(), QRect(0, 80, 1024, 344));
        QCOMPARE(page.Image1->width(), 90);
        folder.load(QStringLiteral("a.jpg"));
        QCOMPARE(page.geometry().height(), 344);
        QVERIFY(folder.messages.isEmpty());
    }
};

ZORVANE_TEST_MAIN(ViewerTest)
#include "tst_viewer.moc"
