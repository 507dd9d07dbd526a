// The window-system layer under the offscreen platform: the message queue, calls on a
// destroyed window, hotkeys and the display check.

#include "platform/window_system/window_system.h"
#include "platform/window_system/window_system_p.h"

#include <QWidget>
#include <QtTest>

#include <memory>
#include <vector>

using namespace ws;

namespace {

struct Message { HWND hwnd; UINT msg; WPARAM wParam; LPARAM lParam; char by; };

std::vector<Message> g_log;
constexpr UINT kCtrlShift = MOD_CONTROL | MOD_SHIFT;

template <char By>
LRESULT proc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    g_log.push_back({h, m, w, l, By});
    return By;
}

LONG_PTR asProc(WNDPROC p) { return reinterpret_cast<LONG_PTR>(p); }

} // namespace

class TestWindowSystem : public QObject
{
    Q_OBJECT

    std::vector<std::unique_ptr<QWidget>> m_windows;

    QWidget *newWindow()
    {
        m_windows.push_back(std::make_unique<QWidget>());
        m_windows.back()->resize(200, 100);
        return m_windows.back().get();
    }

private slots:
    void cleanup()
    {
        m_windows.clear();
        QCoreApplication::processEvents(); // leaves no message for the next test
        g_log.clear();
    }

    void postMessage_deliveredLaterInOrderToCurrentProc()
    {
        const HWND h = windowHandle(newWindow());
        SetWindowLongA(h, GWL_WNDPROC, asProc(&proc<'A'>));
        for (LPARAM i = 1; i <= 3; ++i)
            QVERIFY(PostMessageA(h, WM_HOTKEY, 5, i));
        QVERIFY(g_log.empty()); // the call returns before delivery
        SetWindowLongA(h, GWL_WNDPROC, asProc(&proc<'B'>));
        QTRY_COMPARE(g_log.size(), size_t(3));
        for (int i = 0; i < 3; ++i)
            QVERIFY(g_log[i].lParam == i + 1 && g_log[i].by == 'B' && g_log[i].hwnd == h);
    }

    void destroyedWindow_dropsItsMessagesAndFreesItsHotKeys()
    {
        auto w = std::make_unique<QWidget>();
        const HWND h = windowHandle(w.get());
        SetWindowLongA(h, GWL_WNDPROC, asProc(&proc<'A'>));
        QVERIFY(PostMessageA(h, 0x8FF1, 0, 0));
        QVERIFY(RegisterHotKey(h, 5, kCtrlShift, 'M'));
        w.reset();
        detail::hotKeyPressed(kCtrlShift, 'M');
        QCoreApplication::processEvents();
        QVERIFY(g_log.empty());
        // Its handle takes no more, and the combination is free for a new window.
        QCOMPARE(SetLayeredWindowAttributes(h, 0, 10, LWA_ALPHA), 0);
        QCOMPARE(PostMessageA(h, 1, 0, 0), 0);
        QVERIFY(RegisterHotKey(windowHandle(newWindow()), 5, kCtrlShift, 'M'));
    }

    void hotKeys_rejectConflictsAndBadKeysAndPostToOwner()
    {
        const HWND panel = windowHandle(newWindow());
        const HWND other = windowHandle(newWindow());
        SetWindowLongA(panel, GWL_WNDPROC, asProc(&proc<'A'>));
        SetWindowLongA(other, GWL_WNDPROC, asProc(&proc<'B'>));
        QVERIFY(RegisterHotKey(panel, 5, kCtrlShift, 'K'));
        QCOMPARE(RegisterHotKey(other, 9, kCtrlShift, 'K'), 0); // same combination
        QVERIFY(lastHotKeyError().contains(QLatin1String("Ctrl+Shift+K")));
        QVERIFY(RegisterHotKey(other, 5, kCtrlShift, 'U')); // same id, other window

        detail::hotKeyPressed(kCtrlShift, 'K');
        detail::hotKeyPressed(MOD_CONTROL | MOD_ALT, 'K'); // not registered: nothing
        detail::hotKeyPressed(kCtrlShift, 'U');
        QVERIFY(g_log.empty());
        QTRY_COMPARE(g_log.size(), size_t(2));
        QVERIFY(g_log[0].by == 'A' && g_log[0].msg == WM_HOTKEY && g_log[0].wParam == 5);
        QCOMPARE(g_log[0].lParam, LPARAM(0x4B0006));
        QVERIFY(g_log[1].by == 'B' && g_log[1].msg == WM_HOTKEY && g_log[1].wParam == 5);

        QVERIFY(UnregisterHotKey(panel, 5));
        QCOMPARE(UnregisterHotKey(panel, 5), 0);
        QVERIFY(RegisterHotKey(other, 9, kCtrlShift, 'K'));
    }

    // Last: it leaves the platform variable changed. No DISPLAY is command_line.sh's.
    void displayProblem_namesAnUnreachableDisplay()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QCOMPARE(displayProblem(), QString());
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DISPLAY", ":4711"); // no server there
        const QString problem = displayProblem();
        QVERIFY2(problem.startsWith(QLatin1String("zorvane: cannot open the X display \":4711\"")),
                 qPrintable(problem));
    }
};

QTEST_MAIN(TestWindowSystem)
#include "tst_window_system.moc"
