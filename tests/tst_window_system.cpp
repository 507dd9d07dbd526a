// The window-system layer under the offscreen platform: the words it keeps, the
// Qt-level effects it applies, the procedures and the message queue.

#include "platform/window_system.h"
#include "platform/window_system_p.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QtTest>

#include <memory>
#include <vector>

using namespace ws;

namespace {

struct Message {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    char by;
};

std::vector<Message> g_log;
QEventLoop *g_loopToQuit = nullptr;

LRESULT procA(HWND h, UINT m, WPARAM w, LPARAM l)
{
    g_log.push_back({h, m, w, l, 'A'});
    if (g_loopToQuit)
        g_loopToQuit->quit();
    return 41;
}

LRESULT procB(HWND h, UINT m, WPARAM w, LPARAM l)
{
    g_log.push_back({h, m, w, l, 'B'});
    return 42;
}

LONG_PTR asProc(WNDPROC p)
{
    return reinterpret_cast<LONG_PTR>(p);
}

// Restores an environment variable when the test ends, passed or not.
class EnvGuard
{
public:
    explicit EnvGuard(const char *name)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_value(qgetenv(name))
    {
    }
    ~EnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_value);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_value;
};

} // namespace

class TestWindowSystem : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowHandle_isStableAndNative();
    void styleWord_roundTripsAndKeepsTopmostMarker();
    void setWindowPos_topmostSurvivesHideAndShow();
    void setWindowPos_movesAndSizesWithoutFlags();
    void layeredAndTransparent_clickThroughOnlyTogether();
    void alpha_appliesOnlyWhileLayered();
    void setLayeredAttributes_onPlainWindowFailsAndChangesNothing();
    void procedure_replaceAndRestore();
    void callWindowProc_returnsResultAndZeroForNoProc();
    void postMessage_deliveredLaterInOrderToCurrentProc();
    void postMessage_deliveredInsideNestedLoop();
    void postMessage_droppedWhenWindowGone();
    void staleHandle_callsDoNothing();
    void registerHotKey_rejectsDuplicates();
    void registerHotKey_rejectsUnsupportedKeys();
    void hotKeyPress_postsWmHotkeyToOwner();
    void hotKeys_endWithTheirWindow();
    void displayProblem_explainsMissingDisplay();

private:
    QWidget *newWindow();
    std::vector<std::unique_ptr<QWidget>> m_windows;
};

void TestWindowSystem::init()
{
    g_log.clear();
    g_loopToQuit = nullptr;
}

void TestWindowSystem::cleanup()
{
    m_windows.clear();
    QCoreApplication::processEvents(); // leaves no message for the next test
}

QWidget *TestWindowSystem::newWindow()
{
    m_windows.push_back(std::make_unique<QWidget>());
    QWidget *w = m_windows.back().get();
    w->resize(200, 100);
    return w;
}

void TestWindowSystem::windowHandle_isStableAndNative()
{
    QWidget *w = newWindow();
    const HWND h = windowHandle(w);
    QVERIFY(h != 0);
    QCOMPARE(h, HWND(w->winId()));
    QCOMPARE(windowHandle(w), h);
    QCOMPARE(widgetOf(h), w);
    QVERIFY(windowHandle(newWindow()) != h);
    QCOMPARE(windowHandle(nullptr), HWND(0));
}

void TestWindowSystem::styleWord_roundTripsAndKeepsTopmostMarker()
{
    QWidget *w = newWindow();
    const HWND h = windowHandle(w);
    QCOMPARE(GetWindowLongA(h, GWL_EXSTYLE), 0);
    QCOMPARE(layeredAlpha(h), BYTE(255));

    // The marker cannot be set through the word.
    QCOMPARE(SetWindowLongA(h, GWL_EXSTYLE, WS_EX_TRANSPARENT | WS_EX_TOPMOST), 0);
    QCOMPARE(GetWindowLongA(h, GWL_EXSTYLE), WS_EX_TRANSPARENT);
    QVERIFY(!isTopmost(h));
    QVERIFY(!w->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));

    QVERIFY(SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW));
    QVERIFY(isTopmost(h));
    QVERIFY(w->isVisible());
    QVERIFY(w->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(GetWindowLongA(h, GWL_EXSTYLE), WS_EX_TRANSPARENT | WS_EX_TOPMOST);

    // Resetting the word, as the load command does, keeps the marker.
    QCOMPARE(SetWindowLongA(h, GWL_EXSTYLE, WS_EX_TRANSPARENT), WS_EX_TRANSPARENT | WS_EX_TOPMOST);
    QCOMPARE(SetWindowLongA(h, GWL_EXSTYLE, 0), WS_EX_TRANSPARENT | WS_EX_TOPMOST);
    QCOMPARE(GetWindowLongA(h, GWL_EXSTYLE), WS_EX_TOPMOST);
    QVERIFY(isTopmost(h));
    QCOMPARE(GetWindowLongA(h, 12345), 0);
}

void TestWindowSystem::setWindowPos_topmostSurvivesHideAndShow()
{
    QWidget *w = newWindow();
    const HWND h = windowHandle(w);
    const WId before = w->winId();
    SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    w->hide();
    w->show();
    QVERIFY(w->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(w->winId(), before); // the handle still names the same native window
    QCOMPARE(windowHandle(w), h);

    QVERIFY(SetWindowPos(h, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE));
    QVERIFY(!isTopmost(h));
    QVERIFY(!w->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
}

void TestWindowSystem::setWindowPos_movesAndSizesWithoutFlags()
{
    QWidget *w = newWindow();
    const HWND h = windowHandle(w);
    const QSize size = w->size();
    QVERIFY(SetWindowPos(h, HWND_TOPMOST, 30, 40, 0, 0, SWP_NOSIZE));
    QCOMPARE(w->pos(), QPoint(30, 40));
    QCOMPARE(w->size(), size);
    QVERIFY(!w->isVisible()); // no SWP_SHOWWINDOW
    QVERIFY(SetWindowPos(h, HWND_TOPMOST, 0, 0, 320, 150, SWP_NOMOVE));
    QCOMPARE(w->pos(), QPoint(30, 40));
    QCOMPARE(w->size(), QSize(320, 150));
}

void TestWindowSystem::layeredAndTransparent_clickThroughOnlyTogether()
{
    const HWND h = windowHandle(newWindow());
    SetWindowLongA(h, GWL_EXSTYLE, WS_EX_TRANSPARENT);
    QVERIFY(!isClickThrough(h));
    SetWindowLongA(h, GWL_EXSTYLE, WS_EX_LAYERED);
    QVERIFY(!isClickThrough(h));
    // What the show command does after the load command's reset.
    SetWindowLongA(h, GWL_EXSTYLE, WS_EX_TRANSPARENT);
    SetWindowLongA(h, GWL_EXSTYLE, GetWindowLongA(h, GWL_EXSTYLE) | WS_EX_LAYERED);
    QVERIFY(isClickThrough(h));
    SetWindowLongA(h, GWL_EXSTYLE, WS_EX_TRANSPARENT);
    QVERIFY(!isClickThrough(h));
}

void TestWindowSystem::alpha_appliesOnlyWhileLayered()
{
    QWidget *w = newWindow();
    const HWND h = windowHandle(w);
    SetWindowLongA(h, GWL_EXSTYLE, WS_EX_LAYERED);
    QCOMPARE(w->windowOpacity(), 1.0);

    QVERIFY(SetLayeredWindowAttributes(h, 0, 100, LWA_ALPHA));
    QCOMPARE(layeredAlpha(h), BYTE(100));
    QVERIFY(qAbs(w->windowOpacity() - 100 / 255.0) < 1.0 / 255);

    SetWindowLongA(h, GWL_EXSTYLE, WS_EX_TRANSPARENT);
    QCOMPARE(w->windowOpacity(), 1.0);
    QCOMPARE(layeredAlpha(h), BYTE(100)); // kept for the next layered spell

    SetWindowLongA(h, GWL_EXSTYLE, WS_EX_TRANSPARENT | WS_EX_LAYERED);
    QVERIFY(qAbs(w->windowOpacity() - 100 / 255.0) < 1.0 / 255);

    QVERIFY(SetLayeredWindowAttributes(h, 0, 10, LWA_ALPHA));
    QVERIFY(qAbs(w->windowOpacity() - 10 / 255.0) < 1.0 / 255);
    QVERIFY(SetLayeredWindowAttributes(h, 0, 255, LWA_ALPHA));
    QCOMPARE(w->windowOpacity(), 1.0);
}

void TestWindowSystem::setLayeredAttributes_onPlainWindowFailsAndChangesNothing()
{
    QWidget *w = newWindow();
    const HWND h = windowHandle(w);
    SetWindowLongA(h, GWL_EXSTYLE, WS_EX_TRANSPARENT);
    QCOMPARE(SetLayeredWindowAttributes(h, 0, 50, LWA_ALPHA), 0);
    QCOMPARE(layeredAlpha(h), BYTE(255));
    QCOMPARE(w->windowOpacity(), 1.0);
    // Becoming layered later shows the window opaque, not at the refused alpha.
    SetWindowLongA(h, GWL_EXSTYLE, WS_EX_TRANSPARENT | WS_EX_LAYERED);
    QCOMPARE(w->windowOpacity(), 1.0);
}

void TestWindowSystem::procedure_replaceAndRestore()
{
    const HWND h = windowHandle(newWindow());
    const LONG_PTR def = asProc(&DefWindowProcA);
    QCOMPARE(GetWindowLongA(h, GWL_WNDPROC), def);
    QCOMPARE(SetWindowLongA(h, GWL_WNDPROC, asProc(&procA)), def);
    SetWindowLongA(h, GWL_EXSTYLE, WS_EX_LAYERED); // the style word is a separate slot
    QCOMPARE(SetWindowLongA(h, GWL_WNDPROC, def), asProc(&procA));
    QCOMPARE(GetWindowLongA(h, GWL_WNDPROC), def);
    QCOMPARE(GetWindowLongA(h, GWL_EXSTYLE), WS_EX_LAYERED);
}

void TestWindowSystem::callWindowProc_returnsResultAndZeroForNoProc()
{
    const HWND h = windowHandle(newWindow());
    QCOMPARE(CallWindowProcA(asProc(&procB), h, 0x8FF1, 7, 9), LRESULT(42));
    QCOMPARE(g_log.size(), size_t(1));
    QVERIFY(g_log[0].msg == 0x8FF1 && g_log[0].wParam == 7 && g_log[0].lParam == 9);
    QCOMPARE(CallWindowProcA(0, h, 1, 2, 3), LRESULT(0));
    QCOMPARE(CallWindowProcA(GetWindowLongA(h, GWL_WNDPROC), h, 1, 2, 3), LRESULT(0));
}

void TestWindowSystem::postMessage_deliveredLaterInOrderToCurrentProc()
{
    const HWND h = windowHandle(newWindow());
    SetWindowLongA(h, GWL_WNDPROC, asProc(&procA));
    QVERIFY(PostMessageA(h, 0x8FF1, 0, 1));
    QVERIFY(PostMessageA(h, 0x8FF1, 0, 2));
    QVERIFY(PostMessageA(h, WM_HOTKEY, 5, 3));
    QVERIFY(g_log.empty()); // the call returns before delivery
    SetWindowLongA(h, GWL_WNDPROC, asProc(&procB));
    QTRY_COMPARE(g_log.size(), size_t(3));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(g_log[i].lParam, LPARAM(i + 1));
        QCOMPARE(g_log[i].by, 'B');
        QCOMPARE(g_log[i].hwnd, h);
    }
    QCOMPARE(g_log[2].msg, WM_HOTKEY);
}

void TestWindowSystem::postMessage_deliveredInsideNestedLoop()
{
    const HWND h = windowHandle(newWindow());
    SetWindowLongA(h, GWL_WNDPROC, asProc(&procA));
    bool nestedDone = false;
    // Like a message box opened by a command: its own loop must deliver the message.
    QTimer::singleShot(0, this, [&] {
        QEventLoop nested;
        g_loopToQuit = &nested;
        PostMessageA(h, WM_HOTKEY, 5, 0);
        QTimer::singleShot(5000, &nested, &QEventLoop::quit); // a failure must not hang
        nested.exec();
        g_loopToQuit = nullptr;
        nestedDone = true;
    });
    QTRY_VERIFY(nestedDone);
    QCOMPARE(g_log.size(), size_t(1));
    QCOMPARE(g_log[0].msg, WM_HOTKEY);
}

void TestWindowSystem::postMessage_droppedWhenWindowGone()
{
    QWidget *w = newWindow();
    const HWND h = windowHandle(w);
    SetWindowLongA(h, GWL_WNDPROC, asProc(&procA));
    QVERIFY(PostMessageA(h, 0x8FF1, 0, 0));
    m_windows.clear();
    QCoreApplication::processEvents();
    QVERIFY(g_log.empty());
}

void TestWindowSystem::staleHandle_callsDoNothing()
{
    auto w = std::make_unique<QWidget>();
    const HWND h = windowHandle(w.get());
    SetWindowLongA(h, GWL_EXSTYLE, WS_EX_LAYERED);
    w.reset();

    QCOMPARE(widgetOf(h), nullptr);
    QCOMPARE(GetWindowLongA(h, GWL_EXSTYLE), 0);
    QCOMPARE(GetWindowLongA(h, GWL_WNDPROC), 0);
    QCOMPARE(SetWindowLongA(h, GWL_EXSTYLE, WS_EX_TRANSPARENT), 0);
    QCOMPARE(SetWindowLongA(h, GWL_WNDPROC, asProc(&procA)), 0);
    QCOMPARE(SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, 0x43), 0);
    QCOMPARE(SetLayeredWindowAttributes(h, 0, 10, LWA_ALPHA), 0);
    QCOMPARE(PostMessageA(h, 1, 0, 0), 0);
    QCOMPARE(RegisterHotKey(h, 1, MOD_CONTROL | MOD_SHIFT, 'K'), 0);
    QVERIFY(!lastHotKeyError().isEmpty());
    QVERIFY(!isClickThrough(h));
    QCOMPARE(GetWindowLongA(0, GWL_EXSTYLE), 0);
}

void TestWindowSystem::registerHotKey_rejectsDuplicates()
{
    const HWND panel = windowHandle(newWindow());
    const HWND other = windowHandle(newWindow());
    const UINT ctrlShift = MOD_CONTROL | MOD_SHIFT;
    QVERIFY(RegisterHotKey(panel, 5, ctrlShift, 'K'));
    QVERIFY(lastHotKeyError().isEmpty());

    QCOMPARE(RegisterHotKey(panel, 5, ctrlShift, 'J'), 0); // same window and id
    QVERIFY(lastHotKeyError().contains(QLatin1String("Ctrl+Shift+J")));
    QCOMPARE(RegisterHotKey(other, 9, ctrlShift, 'K'), 0); // same combination
    QVERIFY(lastHotKeyError().contains(QLatin1String("Ctrl+Shift+K")));

    QVERIFY(RegisterHotKey(other, 5, ctrlShift, 'H')); // same id, other window
    QVERIFY(RegisterHotKey(panel, 2, MOD_CONTROL, 'K')); // other modifiers
    QVERIFY(lastHotKeyError().isEmpty());

    QVERIFY(UnregisterHotKey(panel, 5));
    QCOMPARE(UnregisterHotKey(panel, 5), 0);
    QVERIFY(RegisterHotKey(other, 9, ctrlShift, 'K'));
    QVERIFY(UnregisterHotKey(other, 9));
    QVERIFY(UnregisterHotKey(other, 5));
    QVERIFY(UnregisterHotKey(panel, 2));
}

void TestWindowSystem::registerHotKey_rejectsUnsupportedKeys()
{
    const HWND h = windowHandle(newWindow());
    QCOMPARE(RegisterHotKey(h, 1, MOD_CONTROL, 0x70 /* F1 */), 0);
    QVERIFY(!lastHotKeyError().isEmpty());
    QCOMPARE(RegisterHotKey(h, 1, MOD_CONTROL, 'k'), 0);
    QCOMPARE(RegisterHotKey(h, 1, 0x100, 'K'), 0);
    QVERIFY(RegisterHotKey(h, 1, MOD_CONTROL | MOD_ALT | MOD_SHIFT | MOD_WIN, '7'));
    QVERIFY(UnregisterHotKey(h, 1));
}

void TestWindowSystem::hotKeyPress_postsWmHotkeyToOwner()
{
    const HWND panel = windowHandle(newWindow());
    const HWND other = windowHandle(newWindow());
    SetWindowLongA(panel, GWL_WNDPROC, asProc(&procA));
    SetWindowLongA(other, GWL_WNDPROC, asProc(&procB));
    QVERIFY(RegisterHotKey(panel, 5, MOD_CONTROL | MOD_SHIFT, 'K'));
    QVERIFY(RegisterHotKey(other, 3, MOD_CONTROL | MOD_SHIFT, 'U'));

    detail::hotKeyPressed(MOD_CONTROL | MOD_SHIFT, 'K');
    detail::hotKeyPressed(MOD_CONTROL, 'K'); // not registered: nothing
    detail::hotKeyPressed(MOD_CONTROL | MOD_SHIFT, 'U');
    QVERIFY(g_log.empty());
    QTRY_COMPARE(g_log.size(), size_t(2));
    QCOMPARE(g_log[0].by, 'A');
    QCOMPARE(g_log[0].msg, WM_HOTKEY);
    QCOMPARE(g_log[0].wParam, WPARAM(5));
    QCOMPARE(g_log[0].lParam, LPARAM(0x4B0006));
    QCOMPARE(g_log[1].by, 'B');
    QCOMPARE(g_log[1].wParam, WPARAM(3));
    QCOMPARE(g_log[1].lParam, LPARAM(('U' << 16) | 6));
    UnregisterHotKey(panel, 5);
    UnregisterHotKey(other, 3);
}

void TestWindowSystem::hotKeys_endWithTheirWindow()
{
    auto w = std::make_unique<QWidget>();
    QVERIFY(RegisterHotKey(windowHandle(w.get()), 5, MOD_CONTROL | MOD_SHIFT, 'M'));
    w.reset();
    detail::hotKeyPressed(MOD_CONTROL | MOD_SHIFT, 'M');
    QCoreApplication::processEvents();
    QVERIFY(g_log.empty());
    // The combination is free for a new window.
    const HWND h = windowHandle(newWindow());
    QVERIFY(RegisterHotKey(h, 5, MOD_CONTROL | MOD_SHIFT, 'M'));
    QVERIFY(UnregisterHotKey(h, 5));
}

void TestWindowSystem::displayProblem_explainsMissingDisplay()
{
    EnvGuard platform("QT_QPA_PLATFORM");
    EnvGuard display("DISPLAY");

    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("DISPLAY");
    QCOMPARE(displayProblem(), QString());

    qputenv("QT_QPA_PLATFORM", "xcb");
    QVERIFY(displayProblem().contains(QLatin1String("DISPLAY is not set")));
    qunsetenv("QT_QPA_PLATFORM");
    QVERIFY(displayProblem().contains(QLatin1String("DISPLAY is not set")));

    qputenv("DISPLAY", ":4711"); // no server there
    const QString problem = displayProblem();
    QVERIFY2(problem.contains(QLatin1String("\":4711\"")), qPrintable(problem));
    QVERIFY(problem.startsWith(QLatin1String("zorvane: ")));
}

QTEST_MAIN(TestWindowSystem)
#include "tst_window_system.moc"
