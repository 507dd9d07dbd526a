// Desktop shortcuts over D-Bus: KDE's kglobalaccel, the portal's GlobalShortcuts, and
// the one-time hint through the desktop's notification service.

#include "platform/desktop/desktop_shortcuts_p.h"

#include "kglobalaccel_component.h"
#include "kglobalaccel_interface.h"
#include "notifications.h"
#include "platform/desktop/dbus/portal_types.h"
#include "portal_request.h"
#include "portal_session.h"
#include "portal_shortcuts.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace desktop_shortcuts {
namespace {

// The service answers these at once; a longer wait means it is stuck, and start-up
// must not hang on it.
constexpr int KGlobalAccelTimeoutMs = 3000;
// At exit a stuck service must not hold up the end of the program (or of the session).
constexpr int ReleaseTimeoutMs = 1000;
constexpr const char *Component = "zorvane";
constexpr const char *ComponentFriendly = "Zorvane";
// kglobalaccel's setShortcut flags.
constexpr uint KGlobalAccelSetPresent = 2;
constexpr uint KGlobalAccelIsDefault = 8;

constexpr const char *PortalPath = "/org/freedesktop/portal/desktop";
constexpr const char *PortalInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr uint PortalMinimumVersion = 1;
// Long enough for the user to answer the desktop's question about the shortcuts.
constexpr int PortalAnswerTimeoutMs = 120000;
constexpr const char *NotificationsService = "org.freedesktop.Notifications";

const char *const HintSummary = "Zorvane: hotkeys on Wayland";
const char *const HintText =
    "The hotkeys (Ctrl+Shift+H, K, U, M) reach Zorvane only while an X11 program has the "
    "focus. To turn pages from any program, bind keys to the commands zorvane --prev, "
    "zorvane --next, zorvane --scroll-up and zorvane --scroll-down in your desktop's "
    "keyboard shortcut settings (see \"man zorvane\").";

int qtKeys(const Shortcut &s)
{
    int keys = int(s.vk); // Qt's key codes for letters are their ASCII capitals
    if (s.modifiers & ws::MOD_SHIFT)
        keys |= Qt::SHIFT;
    if (s.modifiers & ws::MOD_CONTROL)
        keys |= Qt::CTRL;
    if (s.modifiers & ws::MOD_ALT)
        keys |= Qt::ALT;
    if (s.modifiers & ws::MOD_WIN)
        keys |= Qt::META;
    return keys;
}

// The portal's trigger syntax: "CTRL+SHIFT+k".
QString portalTrigger(const Shortcut &s)
{
    QStringList parts;
    if (s.modifiers & ws::MOD_CONTROL)
        parts << QStringLiteral("CTRL");
    if (s.modifiers & ws::MOD_ALT)
        parts << QStringLiteral("ALT");
    if (s.modifiers & ws::MOD_SHIFT)
        parts << QStringLiteral("SHIFT");
    if (s.modifiers & ws::MOD_WIN)
        parts << QStringLiteral("LOGO");
    parts << QString(QChar(char16_t(s.vk))).toLower();
    return parts.join(QLatin1Char('+'));
}

// Waits for a kglobalaccel answer (the proxy's timeout bounds it); false with the
// service's message in `why` when there is none.
bool answered(QDBusPendingCall call, QString *why)
{
    call.waitForFinished();
    if (!call.isError())
        return true;
    *why = call.error().message();
    return false;
}

bool hasOwner(const QDBusConnection &bus, const QString &name)
{
    const QDBusReply<bool> reply = bus.interface()->isServiceRegistered(name);
    return reply.isValid() && reply.value();
}

// Running, or started on demand by the bus: the portal and the notification service
// are both normally started that way.
bool isOffered(const QDBusConnection &bus, const QString &name)
{
    if (hasOwner(bus, name))
        return true;
    const QDBusReply<QStringList> names = bus.interface()->activatableServiceNames();
    return names.isValid() && names.value().contains(name);
}

} // namespace

// ---- kglobalaccel -------------------------------------------------------------------------

KGlobalAccelClient::KGlobalAccelClient(const QDBusConnection &bus,
                                       const QList<Shortcut> &shortcuts, QObject *parent)
    : QObject(parent), m_bus(bus), m_shortcuts(shortcuts)
{
}

QStringList KGlobalAccelClient::bind(QString *why)
{
    OrgKdeKGlobalAccelInterface accel(QLatin1String(Service), QStringLiteral("/kglobalaccel"),
                                      m_bus);
    accel.setTimeout(KGlobalAccelTimeoutMs);
    QStringList bound;
    QStringList refused;
    QString error;
    for (const Shortcut &s : m_shortcuts) {
        const QStringList action{QLatin1String(Component), s.name,
                                 QLatin1String(ComponentFriendly), s.description};
        const QList<int> keys{qtKeys(s)};
        // "Present" makes the action live; the answer is the keys it now has, which are
        // the user's own choice when the shortcut was changed in the settings.
        QDBusPendingReply<QList<int>> present;
        const bool ok = answered(accel.doRegister(action), &error)
            && answered(accel.setShortcut(action, keys, KGlobalAccelIsDefault), &error)
            && answered(present = accel.setShortcut(action, keys, KGlobalAccelSetPresent), &error);
        if (!ok) {
            *why = QStringLiteral("kglobalaccel did not register the shortcuts: %1").arg(error);
            return {};
        }
        // Made present, it holds its keys until made inactive, whatever it was given.
        m_present << action;
        const QList<int> got = present.value();
        if (!got.isEmpty() && got.first() != 0)
            bound << s.name;
        else
            refused << s.name;
    }

    QDBusPendingReply<QDBusObjectPath> component = accel.getComponent(QLatin1String(Component));
    if (!answered(component, &error) || component.value().path().isEmpty()) {
        *why = QStringLiteral("kglobalaccel gave no component to listen to: %1").arg(error);
        return {};
    }
    m_component = new OrgKdeKglobalaccelComponentInterface(
        QLatin1String(Service), component.value().path(), m_bus, this);
    connect(m_component, &OrgKdeKglobalaccelComponentInterface::globalShortcutPressed, this,
            &KGlobalAccelClient::onPressed);
    if (bound.isEmpty())
        *why = QStringLiteral("kglobalaccel bound none of the shortcuts (other actions hold "
                              "their keys)");
    else if (!refused.isEmpty())
        *why = QStringLiteral("kglobalaccel did not bind %1 (another action holds the keys)")
                   .arg(refused.join(QStringLiteral(", ")));
    return bound;
}

void KGlobalAccelClient::release()
{
    // Left active, the keys stay taken in every program until the user logs out.
    OrgKdeKGlobalAccelInterface accel(QLatin1String(Service), QStringLiteral("/kglobalaccel"),
                                      m_bus);
    accel.setTimeout(ReleaseTimeoutMs);
    for (const QStringList &action : std::exchange(m_present, {})) {
        QString error;
        if (!answered(accel.setInactive(action), &error)) {
            std::fprintf(stderr, "zorvane: kglobalaccel did not take the shortcuts back: %s\n",
                         qPrintable(error));
            return;
        }
    }
}

void KGlobalAccelClient::onPressed(const QString &component, const QString &action, qlonglong)
{
    if (component == QLatin1String(Component))
        emit activated(action);
}

// ---- the desktop portal -------------------------------------------------------------------

PortalClient::PortalClient(const QDBusConnection &bus, const QList<Shortcut> &shortcuts,
                           QObject *parent)
    : QObject(parent), m_bus(bus), m_shortcuts(shortcuts),
      m_portal(new OrgFreedesktopPortalGlobalShortcutsInterface(
          QLatin1String(Service), QLatin1String(PortalPath), bus, this))
{
    qDBusRegisterMetaType<QPair<QString, QVariantMap>>();
    qDBusRegisterMetaType<PortalShortcutList>();
}

QString PortalClient::requestPath(const QString &token) const
{
    // Where the portal puts the request object: known before the call, so that the
    // Response cannot slip by between the call's answer and the subscription.
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("%1/request/%2/%3").arg(QLatin1String(PortalPath), sender, token);
}

void PortalClient::follow(const QString &path, ResponseSlot onResponse)
{
    auto *request = new OrgFreedesktopPortalRequestInterface(QLatin1String(Service), path, m_bus,
                                                              this);
    connect(request, &OrgFreedesktopPortalRequestInterface::Response, this, onResponse);
}

void PortalClient::call(const QString &method, QDBusPendingCall pending, const QString &token,
                        ResponseSlot onResponse)
{
    auto *watcher = new QDBusPendingCallWatcher(pending, this);
    const QString path = requestPath(token);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, method, path,
                                                               onResponse] {
        watcher->deleteLater();
        if (watcher->isError()) {
            fail(QStringLiteral("%1 failed: %2").arg(method, watcher->error().message()));
            return;
        }
        // Older portals put the request elsewhere; follow it there as well.
        const QString handle = QDBusPendingReply<QDBusObjectPath>(*watcher).value().path();
        if (!handle.isEmpty() && handle != path)
            follow(handle, onResponse);
    });
}

void PortalClient::start()
{
    // A portal that never answers must not leave the hotkeys' state undecided.
    QTimer::singleShot(PortalAnswerTimeoutMs, this,
                       [this] { fail(QStringLiteral("the desktop portal did not answer")); });
    QDBusMessage get = QDBusMessage::createMethodCall(
        QLatin1String(Service), QLatin1String(PortalPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get.setArguments({QLatin1String(PortalInterface), QStringLiteral("version")});
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const uint version =
            qdbus_cast<QDBusVariant>(watcher->reply().arguments().value(0)).variant().toUInt();
        if (watcher->isError() || version < PortalMinimumVersion) {
            fail(QStringLiteral("the desktop portal offers no global shortcuts"));
            return;
        }
        const QString suffix = QString::number(QRandomGenerator::global()->generate());
        const QString token = QStringLiteral("zorvane_session_") + suffix;
        // Listening before the call: the Response cannot slip by in between.
        follow(requestPath(token), &PortalClient::onSessionResponse);
        const QVariantMap options{
            {QStringLiteral("handle_token"), token},
            {QStringLiteral("session_handle_token"), QStringLiteral("zorvane_") + suffix}};
        call(QStringLiteral("CreateSession"), m_portal->CreateSession(options), token,
             &PortalClient::onSessionResponse);
    });
}

void PortalClient::close()
{
    m_done = true;
    if (std::exchange(m_session, QString()).isEmpty() || !m_sessionProxy)
        return;
    m_sessionProxy->setTimeout(ReleaseTimeoutMs);
    m_sessionProxy->Close().waitForFinished();
}

void PortalClient::onSessionResponse(uint response, const QVariantMap &results)
{
    if (m_done || !m_session.isEmpty())
        return;
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    m_session = handle.canConvert<QDBusObjectPath>() && handle.userType() != QMetaType::QString
        ? handle.value<QDBusObjectPath>().path()
        : handle.toString();
    if (response != 0 || m_session.isEmpty()) {
        fail(response == 1 ? QStringLiteral("the global shortcuts session was refused")
                           : QStringLiteral("the portal could not open a global shortcuts session"));
        return;
    }
    m_sessionProxy = new OrgFreedesktopPortalSessionInterface(QLatin1String(Service), m_session,
                                                              m_bus, this);
    connect(m_sessionProxy, &OrgFreedesktopPortalSessionInterface::Closed, this,
            &PortalClient::onSessionClosed);
    connect(m_portal, &OrgFreedesktopPortalGlobalShortcutsInterface::Activated, this,
            &PortalClient::onActivated);

    PortalShortcutList wanted;
    for (const Shortcut &s : m_shortcuts)
        wanted.append({s.name,
                       {{QStringLiteral("description"), s.description},
                        {QStringLiteral("preferred_trigger"), portalTrigger(s)}}});
    const QString token =
        QStringLiteral("zorvane_bind_") + QString::number(QRandomGenerator::global()->generate());
    follow(requestPath(token), &PortalClient::onBindResponse);
    call(QStringLiteral("BindShortcuts"),
         m_portal->BindShortcuts(QDBusObjectPath(m_session), wanted, QString(),
                                 {{QStringLiteral("handle_token"), token}}),
         token, &PortalClient::onBindResponse);
}

void PortalClient::onBindResponse(uint response, const QVariantMap &results)
{
    if (m_done)
        return;
    if (response != 0) {
        fail(response == 1 ? QStringLiteral("binding the shortcuts was cancelled")
                           : QStringLiteral("the portal could not bind the shortcuts"));
        return;
    }
    PortalShortcutList got;
    const QVariant list = results.value(QStringLiteral("shortcuts"));
    if (list.canConvert<QDBusArgument>())
        list.value<QDBusArgument>() >> got;
    QStringList names;
    QStringList triggers;
    for (const auto &entry : std::as_const(got)) {
        const QString &id = entry.first;
        const bool ours = std::any_of(m_shortcuts.cbegin(), m_shortcuts.cend(),
                                      [&](const Shortcut &s) { return s.name == id; });
        if (!ours || names.contains(id))
            continue;
        names << id;
        triggers << id + QStringLiteral(": ")
                + entry.second.value(QStringLiteral("trigger_description")).toString();
    }
    if (names.isEmpty()) {
        fail(QStringLiteral("the portal bound none of the shortcuts"));
        return;
    }
    m_done = true;
    emit bound(names, triggers);
}

void PortalClient::onActivated(const QDBusObjectPath &session, const QString &id, qulonglong,
                               const QVariantMap &)
{
    if (!m_session.isEmpty() && session.path() == m_session)
        emit activated(id);
}

void PortalClient::onSessionClosed(const QVariantMap &)
{
    const bool wasBound = m_done;
    m_session.clear();
    m_done = true;
    if (wasBound)
        emit closed();
    else
        emit failed(QStringLiteral("the portal closed the global shortcuts session"));
}

void PortalClient::fail(const QString &why)
{
    if (m_done)
        return;
    m_done = true;
    emit failed(why);
}

// ---- choosing and telling -----------------------------------------------------------------

Coordinator::Coordinator(const QDBusConnection &bus, ws::HWND hwnd,
                         const QList<Shortcut> &shortcuts, const QString &hintMarker,
                         QObject *parent)
    : QObject(parent), m_bus(bus), m_hwnd(hwnd), m_shortcuts(shortcuts), m_hintMarker(hintMarker)
{
}

void Coordinator::start()
{
    if (!m_bus.isConnected()) {
        tellOnce(QStringLiteral("no D-Bus session bus"));
        return;
    }
    // KDE first: its portal binds nothing for programs that are not sandboxed.
    QString why;
    if (hasOwner(m_bus, QLatin1String(KGlobalAccelClient::Service))) {
        auto *kde = new KGlobalAccelClient(m_bus, m_shortcuts, this);
        const QStringList names = kde->bind(&why);
        m_kde = kde;
        if (!names.isEmpty()) {
            connect(kde, &KGlobalAccelClient::activated, this, &Coordinator::deliver);
            moveToDesktop(names, Route::KGlobalAccel);
            if (!why.isEmpty())
                std::fprintf(stderr, "zorvane: %s; those keys work only while an X11 program "
                                     "has the focus.\n", qPrintable(why));
            return;
        }
        // Some actions may be present without keys: they are made inactive too.
        kde->release();
        m_kde = nullptr;
        delete kde;
    }
    if (!isOffered(m_bus, QLatin1String(PortalClient::Service))) {
        tellOnce(why.isEmpty() ? QStringLiteral("the desktop offers no global shortcut service")
                               : why);
        return;
    }
    auto *portal = new PortalClient(m_bus, m_shortcuts, this);
    m_portal = portal;
    connect(portal, &PortalClient::activated, this, &Coordinator::deliver);
    connect(portal, &PortalClient::bound, this,
            [this](const QStringList &names, const QStringList &) {
                moveToDesktop(names, Route::Portal);
            });
    connect(portal, &PortalClient::failed, this, [this, why](const QString &portalWhy) {
        m_route = Route::XGrabs;
        tellOnce(why.isEmpty() ? portalWhy : why + QStringLiteral("; ") + portalWhy);
    });
    connect(portal, &PortalClient::closed, this, [this] {
        backToXGrabs();
        tellOnce(QStringLiteral("the portal closed the global shortcuts session"));
    });
    portal->start();
}

void Coordinator::release()
{
    if (std::exchange(m_givenBack, true) || !m_bus.isConnected())
        return;
    if (m_kde)
        m_kde->release();
    if (m_portal)
        m_portal->close();
}

void Coordinator::deliver(const QString &name)
{
    // Only what the desktop binds for us now: a press for a shortcut whose X grab is
    // back would otherwise count twice.
    if (!m_released.contains(name))
        return;
    for (const Shortcut &s : std::as_const(m_shortcuts)) {
        if (s.name == name) {
            ws::PostMessageA(m_hwnd, ws::WM_HOTKEY, ws::WPARAM(s.hotkeyId),
                             ws::LPARAM((s.vk << 16) | s.modifiers));
            return;
        }
    }
}

void Coordinator::moveToDesktop(const QStringList &names, Route route)
{
    m_route = route;
    for (const Shortcut &s : std::as_const(m_shortcuts)) {
        if (names.contains(s.name) && !m_released.contains(s.name)) {
            ws::UnregisterHotKey(m_hwnd, s.hotkeyId);
            m_released << s.name;
        }
    }
}

void Coordinator::backToXGrabs()
{
    m_route = Route::XGrabs;
    for (const Shortcut &s : std::as_const(m_shortcuts)) {
        if (m_released.removeAll(s.name) > 0)
            ws::RegisterHotKey(m_hwnd, s.hotkeyId, s.modifiers, s.vk);
    }
}

void Coordinator::tellOnce(const QString &why)
{
    m_route = Route::XGrabs;
    if (!m_hintMarker.isEmpty()) {
        if (QFile::exists(m_hintMarker))
            return;
        // Where the marker cannot be written the user is told at every start instead.
        QFile marker(m_hintMarker);
        [[maybe_unused]] const bool written = marker.open(QIODevice::WriteOnly);
    }
    std::fprintf(stderr, "zorvane: %s. %s\n", qPrintable(why), HintText);
    if (!m_bus.isConnected() || !isOffered(m_bus, QLatin1String(NotificationsService)))
        return;
    OrgFreedesktopNotificationsInterface notifications(
        QLatin1String(NotificationsService), QStringLiteral("/org/freedesktop/Notifications"), m_bus);
    // Not waited for: a notification is no reason to hold up the program.
    notifications.Notify(QStringLiteral("Zorvane"), 0, QString(), QLatin1String(HintSummary),
                         QLatin1String(HintText), {}, {}, -1);
}

// ---- the entry point ----------------------------------------------------------------------

namespace {

// Registered after the session bus was first used, the exit handler runs before the
// bus is torn down.
QPointer<Coordinator> running;

} // namespace

void start(ws::HWND hwnd, const QList<Shortcut> &shortcuts)
{
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || qgetenv("XDG_SESSION_TYPE") == "wayland";
    if (!wayland)
        return;
    // The runtime folder lives as long as the user's login session.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString marker =
        runtime.isEmpty() ? QString() : QDir(runtime).filePath(QStringLiteral("zorvane-hotkeys-hint"));
    auto *coordinator = new Coordinator(QDBusConnection::sessionBus(), hwnd, shortcuts, marker,
                                        QCoreApplication::instance());
    // Every orderly end (the panel closed, a signal, the end of the session) leaves the
    // event loop; a lost X server ends the program with exit() from inside it instead.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, coordinator,
                     &Coordinator::release);
    running = coordinator;
    std::atexit([] {
        if (running)
            running->release();
    });
    coordinator->start();
}

} // namespace desktop_shortcuts
