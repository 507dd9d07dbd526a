// The help window: one at most, made afresh after the user closes it, closed with the panel.

#include "testsupport.h"

#include "help/form3.h"

#include <QLabel>
#include <QPushButton>

using testsupport::ProgramFolder;

class HelpTest : public QObject
{
    Q_OBJECT

private slots:
    void helpButton_opensOneCentredSheetWindow();
    void closedWindow_isMadeAfresh_panelShutdownClosesIt();
};

void HelpTest::helpButton_opensOneCentredSheetWindow()
{
    ProgramFolder folder;
    Form1 &panel = folder.start();
    QVERIFY(!panel.form3IfOpen());
    panel.Command4->click();
    Form3 *help = panel.form3IfOpen();
    QVERIFY(help && help->isVisible());
    panel.Command4->click();
    QCOMPARE(panel.form3IfOpen(), help);
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.begin(), windows.end(),
                           [](QWidget *w) { return qobject_cast<Form3 *>(w) != nullptr; }),
             1);

    QCOMPARE(help->windowTitle(), QStringLiteral("How to use"));
    QCOMPARE(help->size(), QSize(662, 511));
    QCOMPARE(help->geometry().center(), QRect(0, 0, 1024, 768).center());
    QVERIFY(help->minimumSize() != help->maximumSize());  // sizable
    // The picture box reaches past the client area; its sheet is drawn unscaled.
    QCOMPARE(help->Picture1->geometry(), QRect(0, 0, 665, 513));
    QCOMPARE(help->Picture1->pixmap().size(), QSize(662, 508));
    QVERIFY(!help->Picture1->hasScaledContents());
}

void HelpTest::closedWindow_isMadeAfresh_panelShutdownClosesIt()
{
    ProgramFolder folder;
    Form1 &panel = folder.start();
    panel.show();
    panel.Command4->click();
    QPointer<Form3> first = panel.form3IfOpen();
    first->move(10, 10);
    first->close();
    QTRY_VERIFY(!first);
    QVERIFY(!panel.form3IfOpen());
    panel.Command4->click();
    QPointer<Form3> help = panel.form3IfOpen();
    QVERIFY(help);
    QCOMPARE(help->geometry().center(), QRect(0, 0, 1024, 768).center());
    panel.close();
    QVERIFY(!help);
}

ZORVANE_TEST_MAIN(HelpTest)
#include "tst_help.moc"
