// Remote commands over the D-Bus session bus: the running program owns
// org.zorvane.Zorvane; `zorvane --next` and the like call its methods. The adaptor
// and the proxy are generated from dbus/org.zorvane.Zorvane.xml.

#include "platform/desktop/remote_commands.h"

#include "platform/desktop/remote_commands_service_p.h"
#include "zorvane_adaptor.h"
#include "zorvane_interface.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingReply>

namespace remote {
namespace {

// The call only queues the command, so an answer comes at once even while the
// program waits in a message box; a longer wait means it is stuck.
constexpr int SendTimeoutMs = 10000;

QDBusPendingReply<> call(OrgZorvaneZorvaneInterface &proxy, Command command)
{
    switch (command) {
    case Command::NextPage:
        return proxy.NextPage();
    case Command::PrevPage:
        return proxy.PrevPage();
    case Command::ScrollUp:
        return proxy.ScrollUp();
    case Command::ScrollDown:
        break;
    }
    return proxy.ScrollDown();
}

} // namespace

QString serve(std::function<void(Command)> run)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return QStringLiteral("zorvane: remote commands (zorvane --next, ...) are off: no D-Bus "
                              "session bus (%1).")
            .arg(bus.lastError().message());
    }
    auto *service = new Service(std::move(run), QCoreApplication::instance());
    new ZorvaneAdaptor(service);
    bus.registerObject(QLatin1String(ObjectPath), service, QDBusConnection::ExportAdaptors);
    // First come, first served: a second program must not take the commands away.
    const auto reply = bus.interface()->registerService(
        QLatin1String(ServiceName), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return {};
    bus.unregisterObject(QLatin1String(ObjectPath));
    delete service;
    const auto pid = bus.interface()->servicePid(QLatin1String(ServiceName));
    const QString holder = pid.isValid() && pid.value() != 0
        ? QStringLiteral("process %1").arg(pid.value())
        : QStringLiteral("another process");
    return QStringLiteral("zorvane: %1 already owns %2 on the session bus: remote commands "
                          "(zorvane --next, ...) go to it, not to this program.")
        .arg(holder, QLatin1String(ServiceName));
}

bool send(Command command, QString *error)
{
    // A type registered before the bus is first used makes Qt's registry of types outlive
    // the bus's thread, which exit ends later (the reverse order of creation): that
    // thread, still reading a message then, warned "Trying to construct an instance of
    // an invalid type" at random.
    qRegisterMetaType<QDBusMessage>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *error = QStringLiteral("no D-Bus session bus to reach a running Zorvane (%1).")
                     .arg(bus.lastError().message());
        return false;
    }
    OrgZorvaneZorvaneInterface proxy(QLatin1String(ServiceName), QLatin1String(ObjectPath), bus);
    proxy.setTimeout(SendTimeoutMs);
    QDBusPendingReply<> reply = call(proxy, command);
    reply.waitForFinished();
    if (!reply.isError())
        return true;
    const QString name = reply.error().name();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
        || name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        *error = QStringLiteral("no Zorvane is running (nothing owns %1 on the session bus); "
                                "start Zorvane first.")
                     .arg(QLatin1String(ServiceName));
    } else {
        *error = QStringLiteral("the owner of %1 did not take the command: %2")
                     .arg(QLatin1String(ServiceName), reply.error().message());
    }
    return false;
}

} // namespace remote
