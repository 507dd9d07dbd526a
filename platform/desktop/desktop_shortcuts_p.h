#pragma once
// The D-Bus clients behind desktop_shortcuts::start, apart so that tests can drive
// them against stand-in services on a private bus.

#include "platform/desktop/desktop_shortcuts.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class OrgFreedesktopPortalGlobalShortcutsInterface;
class OrgFreedesktopPortalSessionInterface;
class OrgKdeKglobalaccelComponentInterface;

namespace desktop_shortcuts {

// KDE's shortcut service (Plasma, also on Wayland), called directly: component
// "zorvane", one action per shortcut, the given keys as defaults.
class KGlobalAccelClient : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *Service = "org.kde.kglobalaccel";

    KGlobalAccelClient(const QDBusConnection &bus, const QList<Shortcut> &shortcuts,
                       QObject *parent = nullptr);

    // Registers every shortcut and returns the names the service bound (it answers at
    // once). An empty list comes with the reason in `why`.
    QStringList bind(QString *why);
    // Makes the bound shortcuts inactive, so that their keys reach other programs
    // again; the service keeps the user's keys for the next bind.
    void release();

signals:
    void activated(const QString &name);

private slots:
    void onPressed(const QString &component, const QString &action, qlonglong timestamp);

private:
    QDBusConnection m_bus;
    QList<Shortcut> m_shortcuts;
    QList<QStringList> m_present; // the actions made present, as kglobalaccel names them
    OrgKdeKglobalaccelComponentInterface *m_component = nullptr;
};

// The desktop portal's GlobalShortcuts (version 1): a session, one BindShortcuts call
// with the preferred triggers, then Activated signals. Every step answers later
// through a Response signal, so this runs from the event loop.
class PortalClient : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *Service = "org.freedesktop.portal.Desktop";

    PortalClient(const QDBusConnection &bus, const QList<Shortcut> &shortcuts,
                 QObject *parent = nullptr);

    void start();
    // Ends the session, and with it the shortcuts.
    void close();

signals:
    // The names the portal bound, with the triggers it chose ("next-page: Ctrl+Shift+K").
    void bound(const QStringList &names, const QStringList &triggers);
    // No shortcut works through the portal; `why` says what happened.
    void failed(const QString &why);
    void activated(const QString &name);
    // The portal ended the session after binding: the shortcuts no longer work.
    void closed();

private slots:
    void onSessionResponse(uint response, const QVariantMap &results);
    void onBindResponse(uint response, const QVariantMap &results);
    void onActivated(const QDBusObjectPath &session, const QString &id, qulonglong timestamp,
                     const QVariantMap &options);
    void onSessionClosed(const QVariantMap &details);

private:
    using ResponseSlot = void (PortalClient::*)(uint, const QVariantMap &);
    QString requestPath(const QString &token) const;
    // Listens for the Response of the request object at `path`.
    void follow(const QString &path, ResponseSlot onResponse);
    // Watches a portal call whose request object was followed at `token`'s path.
    void call(const QString &method, QDBusPendingCall pending, const QString &token,
              ResponseSlot onResponse);
    void fail(const QString &why);

    QDBusConnection m_bus;
    QList<Shortcut> m_shortcuts;
    OrgFreedesktopPortalGlobalShortcutsInterface *m_portal;
    OrgFreedesktopPortalSessionInterface *m_sessionProxy = nullptr;
    QString m_session;
    bool m_done = false;
};

// Chooses the service, moves the hotkeys to it and back, and says so when none works.
class Coordinator : public QObject
{
    Q_OBJECT

public:
    enum class Route { XGrabs, KGlobalAccel, Portal, Pending };

    // `hintMarker`: a file whose existence means the user was told this login session.
    Coordinator(const QDBusConnection &bus, ws::HWND hwnd, const QList<Shortcut> &shortcuts,
                const QString &hintMarker, QObject *parent = nullptr);

    void start();
    Route route() const { return m_route; }
    // Gives the shortcuts back to the desktop; the program is ending. Once only.
    void release();

private:
    void deliver(const QString &name);
    void moveToDesktop(const QStringList &names, Route route);
    void backToXGrabs();
    void tellOnce(const QString &why);

    QDBusConnection m_bus;
    ws::HWND m_hwnd;
    QList<Shortcut> m_shortcuts;
    QString m_hintMarker;
    QStringList m_released;
    Route m_route = Route::Pending;
    KGlobalAccelClient *m_kde = nullptr;
    PortalClient *m_portal = nullptr;
    bool m_givenBack = false;
};

} // namespace desktop_shortcuts
