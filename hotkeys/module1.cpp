#include "hotkeys/module1.h"

#include "panel/form1.h"

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

} // namespace Module1
