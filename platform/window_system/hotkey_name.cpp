// Hotkey names for messages, the same on every OS.

#include "platform/window_system/window_system_p.h"

#include <QStringList>

namespace ws::detail {

QString hotKeyName(UINT modifiers, UINT vk)
{
    QStringList parts;
    if (modifiers & MOD_CONTROL)
        parts << QStringLiteral("Ctrl");
    if (modifiers & MOD_ALT)
        parts << QStringLiteral("Alt");
    if (modifiers & MOD_SHIFT)
        parts << QStringLiteral("Shift");
    if (modifiers & MOD_WIN)
        parts << QStringLiteral("Super");
    if (vk > 0x20 && vk < 0x7f)
        parts << QString(QChar(char16_t(vk)));
    else
        parts << QStringLiteral("key 0x%1").arg(vk, 2, 16, QLatin1Char('0'));
    return parts.join(QLatin1Char('+'));
}

} // namespace ws::detail
