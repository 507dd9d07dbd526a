// Windows only: the page window and the message boxes have no taskbar button, read back
// with the system's calls.

#include "testsupport.h"

#include <QMessageBox>
#include <QTimer>

namespace {
// Before windows.h, whose macros have the constants' names.
constexpr ws::LONG_PTR PassThrough = ws::WS_EX_LAYERED | ws::WS_EX_TRANSPARENT | ws::WS_EX_TOPMOST;
} // namespace

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

class TaskbarTest : public QObject
{
    Q_OBJECT

private slots:
    void pageWindow_ownedByAWindowNeverShown_onEveryShow()
    {
        testsupport::ProgramFolder folder;
        folder.addPage(QStringLiteral("a.jpg"));
        Form1 &panel = folder.start();
        folder.load(QStringLiteral("a.jpg"));
        Form2 &page = panel.form2();
        const auto hwnd = reinterpret_cast<::HWND>(page.hWnd());
        const auto panelHwnd = reinterpret_cast<::HWND>(panel.winId());
        for (int show = 1; show <= 2; ++show) {
            QVERIFY(page.isVisible());
            // Owned: no taskbar button. By a window never shown: above nothing in particular.
            const ::HWND owner = ::GetWindow(hwnd, GW_OWNER);
            QVERIFY(owner);
            QVERIFY(owner != panelHwnd);
            QVERIFY(!::IsWindowVisible(owner));
            // The style word stays exactly as the program wrote it.
            QCOMPARE(ws::GetWindowLongA(page.hWnd(), GWL_EXSTYLE), PassThrough);
            page.hide();
            page.show();
        }
        // The panel is the program's task and keeps its button.
        QVERIFY(!::GetWindow(panelHwnd, GW_OWNER));
    }

    void messageBox_ownedByThePanel()
    {
        testsupport::ProgramFolder folder;
        Form1 &panel = folder.start();
        forms::setMessageBoxHandler({});  // the real box
        ::HWND owner = nullptr;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            for (QWidget *window : QApplication::topLevelWidgets()) {
                if (auto *box = qobject_cast<QMessageBox *>(window); box && box->isVisible()) {
                    owner = ::GetWindow(reinterpret_cast<::HWND>(box->winId()), GW_OWNER);
                    box->accept();
                }
            }
        });
        poll.start(50);
        forms::MsgBox(QStringLiteral("No more image to preview!"), QStringLiteral("Image Preview"));
        // Owned by the panel: no taskbar button of its own, and above the panel.
        QCOMPARE(owner, reinterpret_cast<::HWND>(panel.winId()));
    }
};

ZORVANE_TEST_MAIN(TaskbarTest)
#include "tst_taskbar_win32.moc"
