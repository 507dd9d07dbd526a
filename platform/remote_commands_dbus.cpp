// Remote commands over the D-Bus session bus: the running program owns
// org.zorvane.Zorvane; `zorvane --next` and the like call its methods.

#include "platform/remote_commands.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QObject>

namespace remote {
namespace {

// The call only queues the command, so an answer comes at once even while the
// program waits in a message box; a longer wait means it is stuck.
constexpr int SendTimeoutMs = 10000;

class Service : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.zorvane.Zorvane")

public:
    Service(std::function<void(Command)> run, QObject *parent)
        : QObject(parent), m_run(std::move(run))
    {
    }

public slots:
    Q_SCRIPTABLE void NextPage() { m_run(Command::NextPage); }
    Q_SCRIPTABLE void PrevPage() { m_run(Command::PrevPage); }
    Q_SCRIPTABLE void ScrollUp() { m_run(Command::ScrollUp); }
    Q_SCRIPTABLE void ScrollDown() { m_run(Command::ScrollDown); }

private:
    std::function<void(Command)> m_run;
};

QString methodName(Command command)
{
    switch (command) {
    case Command::NextPage:
        return QStringLiteral("NextPage");
    case Command::PrevPage:
        return QStringLiteral("PrevPage");
    case Command::ScrollUp:
        return QStringLiteral("ScrollUp");
    case Command::ScrollDown:
        break;
    }
    return QStringLiteral("ScrollDown");
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
    bus.registerObject(QLatin1String(ObjectPath), service, QDBusConnection::ExportScriptableSlots);
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
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(ServiceName), QLatin1String(ObjectPath), QLatin1String(InterfaceName),
        methodName(command));
    // Starting a program with no page folder chosen would help nobody.
    call.setAutoStartService(false);
    const QDBusMessage reply = bus.call(call, QDBus::Block, SendTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    const QString name = reply.errorName();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
        || name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        *error = QStringLiteral("no Zorvane is running (nothing owns %1 on the session bus); "
                                "start Zorvane first.")
                     .arg(QLatin1String(ServiceName));
    } else {
        *error = QStringLiteral("the owner of %1 did not take the command: %2")
                     .arg(QLatin1String(ServiceName), reply.errorMessage());
    }
    return false;
}

} // namespace remote

#include "remote_commands_dbus.moc"
