// Asks GNOME Shell over D-Bus whether it runs Zorvane's page-window extension, and
// gives the one-time hint through standard error and the notification service.

#include "platform/desktop/gnome_page_extension.h"

#include "gnome_shell_extensions.h"
#include "notifications.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>

namespace gnome_page_extension {
namespace {

// The shell answers at once; a longer wait means it is stuck.
constexpr int ShellTimeoutMs = 5000;
constexpr const char *ShellService = "org.gnome.Shell";
constexpr const char *ShellPath = "/org/gnome/Shell";
constexpr const char *ExtensionsInterface = "org.gnome.Shell.Extensions";
constexpr const char *NotificationsService = "org.freedesktop.Notifications";
constexpr int FirstEsModuleShell = 45;
// GNOME Shell's extension states that matter here.
constexpr int StateEnabled = 1;
constexpr int StateError = 3;
constexpr int StateOutOfDate = 4;

const char *const HintSummary = "Zorvane: the page on GNOME";

bool isGnomeWayland()
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return desktops.contains(QLatin1String("GNOME"), Qt::CaseInsensitive);
}

// The extension's uuid for a GNOME Shell version ("43.9"): GNOME 45 changed the
// extension format, so each side of it has an extension of its own.
QString uuidFor(const QString &shellVersion)
{
    const int major = shellVersion.section(QLatin1Char('.'), 0, 0).toInt();
    return major > 0 && major < FirstEsModuleShell
        ? QStringLiteral("page-window-legacy@zorvane.org")
        : QStringLiteral("page-window@zorvane.org");
}

// Why the page window gets no help from the shell, given the properties of its
// org.gnome.Shell.Extensions interface and GetExtensionInfo's answer for the extension
// (empty: the shell does not know it); empty when the extension runs.
QString problem(const QVariantMap &properties, const QVariantMap &info)
{
    const QString uuid = uuidFor(properties.value(QStringLiteral("ShellVersion")).toString());
    if (!properties.value(QStringLiteral("UserExtensionsEnabled"), true).toBool())
        return QStringLiteral("GNOME Shell's extensions are turned off (turn them on with "
                              "\"gsettings set org.gnome.shell disable-user-extensions false\")");
    if (info.isEmpty())
        return QStringLiteral("GNOME Shell has not loaded the extension %1 (it loads a newly "
                              "installed extension at the next login)")
            .arg(uuid);
    bool known = false;
    const int state = info.value(QStringLiteral("state")).toInt(&known);
    if (known && state == StateEnabled)
        return {};
    if (known && state == StateError)
        return QStringLiteral("the GNOME Shell extension %1 failed (\"gnome-extensions info %1\" "
                              "says why)")
            .arg(uuid);
    if (known && state == StateOutOfDate)
        return QStringLiteral("the GNOME Shell extension %1 is not made for GNOME Shell %2")
            .arg(uuid, properties.value(QStringLiteral("ShellVersion")).toString());
    return QStringLiteral("the GNOME Shell extension %1 is not enabled").arg(uuid);
}

// What the user is told after the problem, with the command that turns the extension on.
QString hint(const QString &uuid)
{
    return QStringLiteral(
               "Without it the page window on GNOME on Wayland does not let clicks through to "
               "the program below and may cover Zorvane's panel. Turn it on with "
               "\"gnome-extensions enable %1\" (or in the Extensions app); GNOME on Wayland "
               "loads a newly installed extension only after you log out and in again (see "
               "\"man zorvane\").")
        .arg(uuid);
}

void tellOnce(const QDBusConnection &bus, const QString &why, const QString &uuid)
{
    // The runtime folder lives as long as the login session; where the marker cannot be
    // written the user is told at every start instead.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        const QString marker =
            QDir(runtime).filePath(QStringLiteral("zorvane-gnome-extension-hint"));
        if (QFile::exists(marker))
            return;
        QFile file(marker);
        [[maybe_unused]] const bool written = file.open(QIODevice::WriteOnly);
    }
    const QString text = hint(uuid);
    std::fprintf(stderr, "zorvane: %s. %s\n", qPrintable(why), qPrintable(text));
    if (!bus.isConnected())
        return;
    OrgFreedesktopNotificationsInterface notifications(
        QLatin1String(NotificationsService), QStringLiteral("/org/freedesktop/Notifications"), bus);
    // Not waited for: a notification is no reason to hold up the program.
    notifications.Notify(QStringLiteral("Zorvane"), 0, QString(), QLatin1String(HintSummary), text,
                         {}, {}, -1);
}

} // namespace

void check()
{
    if (!isGnomeWayland())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        tellOnce(bus, QStringLiteral("no D-Bus session bus to ask GNOME Shell on"), uuidFor({}));
        return;
    }
    QObject *app = QCoreApplication::instance();
    QDBusMessage get = QDBusMessage::createMethodCall(
        QLatin1String(ShellService), QLatin1String(ShellPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    get.setArguments({QLatin1String(ExtensionsInterface)});
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(get, ShellTimeoutMs), app);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, app, [bus, watcher, app] {
        watcher->deleteLater();
        const QDBusPendingReply<QVariantMap> got = *watcher;
        if (got.isError()) {
            tellOnce(bus, QStringLiteral("GNOME Shell did not say which extensions it runs (%1)")
                              .arg(got.error().message()),
                     uuidFor({}));
            return;
        }
        const QVariantMap properties = got.value();
        const QString uuid = uuidFor(properties.value(QStringLiteral("ShellVersion")).toString());
        auto *shell = new OrgGnomeShellExtensionsInterface(QLatin1String(ShellService),
                                                           QLatin1String(ShellPath), bus, app);
        shell->setTimeout(ShellTimeoutMs);
        auto *info = new QDBusPendingCallWatcher(shell->GetExtensionInfo(uuid), app);
        QObject::connect(info, &QDBusPendingCallWatcher::finished, app,
                         [bus, info, shell, properties, uuid] {
                             info->deleteLater();
                             shell->deleteLater();
                             const QDBusPendingReply<QVariantMap> reply = *info;
                             const QString why = reply.isError()
                                 ? QStringLiteral("GNOME Shell did not say whether the extension "
                                                  "%1 runs (%2)")
                                       .arg(uuid, reply.error().message())
                                 : problem(properties, reply.value());
                             if (!why.isEmpty())
                                 tellOnce(bus, why, uuid);
                         });
    });
}

} // namespace gnome_page_extension
