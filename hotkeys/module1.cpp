#include "hotkeys/module1.h"

#include "panel/form1.h"
#include "platform/desktop/desktop_shortcuts.h"
#include "platform/desktop/remote_commands.h"

namespace Module1 {

ws::LONG_PTR PrevWndProc = 0;

void HookWindow(ws::HWND hwnd)
{
    PrevWndProc = ws::SetWindowLongA(hwnd, ws::GWL_WNDPROC,
                                     reinterpret_cast<ws::LONG_PTR>(&HookWindowProc));
}

void UnhookWindow(ws::HWND hwnd)
{
    if (PrevWndProc == 0)
        return;
    ws::SetWindowLongA(hwnd, ws::GWL_WNDPROC, PrevWndProc);
    PrevWndProc = 0;
}

ws::LRESULT HookWindowProc(ws::HWND hwnd, ws::UINT msg, ws::WPARAM wParam, ws::LPARAM lParam)
{
    if (msg == ws::WM_HOTKEY) {
        if (auto *panel = qobject_cast<Form1 *>(ws::widgetOf(hwnd))) {
            // Each command runs to completion, message boxes included, before the
            // message goes on.
            switch (wParam) {
            case HotkeyPrevPage:
                panel->Command8_Click();
                break;
            case HotkeyScrollUp:
                panel->Command10_Click();
                break;
            case HotkeyScrollDown:
                panel->Command9_Click();
                break;
            case HotkeyNextPage:
                panel->Command7_Click();
                break;
            default:
                break;
            }
        }
    }
    return ws::CallWindowProcA(PrevWndProc, hwnd, msg, wParam, lParam);
}

QString ConnectDesktop(ws::HWND hwnd)
{
    constexpr ws::UINT Modifiers = ws::MOD_CONTROL | ws::MOD_SHIFT;
    const auto post = [hwnd](int id, ws::UINT key) {
        ws::PostMessageA(hwnd, ws::WM_HOTKEY, ws::WPARAM(id), ws::LPARAM((key << 16) | Modifiers));
    };
    const QString problem = remote::serve([post](remote::Command command) {
        switch (command) {
        case remote::Command::PrevPage:
            return post(HotkeyPrevPage, 'H');
        case remote::Command::ScrollUp:
            return post(HotkeyScrollUp, 'U');
        case remote::Command::ScrollDown:
            return post(HotkeyScrollDown, 'M');
        case remote::Command::NextPage:
            return post(HotkeyNextPage, 'K');
        }
    });
    desktop_shortcuts::start(
        hwnd, {{HotkeyPrevPage, Modifiers, 'H', QStringLiteral("prev-page"),
                QStringLiteral("Previous page")},
               {HotkeyScrollUp, Modifiers, 'U', QStringLiteral("scroll-up"),
                QStringLiteral("Scroll the page up")},
               {HotkeyScrollDown, Modifiers, 'M', QStringLiteral("scroll-down"),
                QStringLiteral("Scroll the page down")},
               {HotkeyNextPage, Modifiers, 'K', QStringLiteral("next-page"),
                QStringLiteral("Next page")}});
    return problem;
}

} // namespace Module1
