// The hotkey hook on the panel's window procedure.

#include "testsupport.h"

#include "hotkeys/module1.h"

using testsupport::ProgramFolder;

namespace {

// The procedure the hook replaces: records and answers the tests' messages, passes the
// window system's own (on Windows, all of Qt's) to the panel's original procedure.
struct Received { ws::UINT msg; ws::WPARAM wParam; ws::LPARAM lParam; };
QList<Received> received;
ws::LONG_PTR original = 0;
constexpr ws::LRESULT RecorderResult = 4242;
constexpr ws::UINT TestKeyDown = 0x0100;

ws::LRESULT recorder(ws::HWND hwnd, ws::UINT msg, ws::WPARAM wParam, ws::LPARAM lParam)
{
    if (msg != TestKeyDown && msg != ws::WM_HOTKEY)
        return ws::CallWindowProcA(original, hwnd, msg, wParam, lParam);
    received.push_back({msg, wParam, lParam});
    return RecorderResult;
}

// Puts the recorder under the hook, as if it had been the panel's own procedure.
void hookOverRecorder(Form1 &panel)
{
    Module1::UnhookWindow(panel.hWnd());
    original = ws::GetWindowLongA(panel.hWnd(), ws::GWL_WNDPROC);
    ws::SetWindowLongA(panel.hWnd(), ws::GWL_WNDPROC, reinterpret_cast<ws::LONG_PTR>(&recorder));
    Module1::HookWindow(panel.hWnd());
    received.clear();
}

void deliverPosted() { QCoreApplication::sendPostedEvents(); QCoreApplication::processEvents(); }

} // namespace

class HotkeysTest : public QObject
{
    Q_OBJECT

private slots:
    void registeredAtStartup_hookedTheyRunTheirCommands_unhookedNothing()
    {
        ProgramFolder folder;
        folder.addNumberedPages(2);
        Form1 &panel = folder.start();
        // Registered already: the same combination again is refused.
        for (ws::UINT key : {'H', 'U', 'M', 'K'})
            QVERIFY(!ws::RegisterHotKey(panel.hWnd(), 100, ws::MOD_CONTROL | ws::MOD_SHIFT, key));
        hookOverRecorder(panel);

        const auto press = [&](int id) {
            ws::PostMessageA(panel.hWnd(), ws::WM_HOTKEY, ws::WPARAM(id), 0);
            deliverPosted();
        };
        for (int id : {0, 1, 6, 7})  // not ours: only passed on
            press(id);
        QCOMPARE(received.size(), 4);
        QVERIFY(!panel.form2IfOpen());

        // Ours runs its command and is passed on as well (all four as the typist presses them:
        // e2e_hotkeys, e2e_kwin, e2e_wine).
        press(Module1::HotkeyNextPage);
        QCOMPARE(folder.shownPage(), 2);
        QCOMPARE(received.size(), 5);

        // Each message reaches the previous procedure once, unchanged, with its result.
        received.clear();
        QCOMPARE(Module1::HookWindowProc(panel.hWnd(), TestKeyDown, 7, -9), RecorderResult);
        QCOMPARE(received.size(), 1);
        QVERIFY(received[0].msg == TestKeyDown && received[0].wParam == 7 && received[0].lParam == -9);

        // Unhooked (twice: the second changes nothing), a hotkey runs nothing.
        for (int i = 0; i < 2; ++i) {
            Module1::UnhookWindow(panel.hWnd());
            QCOMPARE(ws::GetWindowLongA(panel.hWnd(), ws::GWL_WNDPROC),
                     reinterpret_cast<ws::LONG_PTR>(&recorder));
        }
        press(Module1::HotkeyPrevPage);
        QCOMPARE(folder.shownPage(), 2);
        QCOMPARE(received.size(), 2);
        QVERIFY(folder.messages.isEmpty());
    }
};

ZORVANE_TEST_MAIN(HotkeysTest)
#include "tst_hotkeys.moc"
