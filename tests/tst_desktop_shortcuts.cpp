// Desktop shortcuts on Wayland sessions, against stand-ins (desktop/standins.py) for
// kglobalaccel, the portal's GlobalShortcuts and notifications on a private bus.

#include "platform/desktop/desktop_shortcuts_p.h"
#include "platform/window_system/window_system_p.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using desktop_shortcuts::Coordinator;
using Route = Coordinator::Route;

namespace {

constexpr ws::UINT CtrlShift = ws::MOD_CONTROL | ws::MOD_SHIFT;
const QList<desktop_shortcuts::Shortcut> Shortcuts{
    {2, CtrlShift, 'H', QStringLiteral("prev-page"), QStringLiteral("Previous page")},
    {3, CtrlShift, 'U', QStringLiteral("scroll-up"), QStringLiteral("Scroll up")},
    {4, CtrlShift, 'M', QStringLiteral("scroll-down"), QStringLiteral("Scroll down")},
    {5, CtrlShift, 'K', QStringLiteral("next-page"), QStringLiteral("Next page")},
};
const QString Portal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString KGlobalAccel = QStringLiteral("org.kde.kglobalaccel");
const QString Notifications = QStringLiteral("org.freedesktop.Notifications");

QList<ws::WPARAM> hotkeys; // the ids of the WM_HOTKEY messages the window received

ws::LRESULT recorder(ws::HWND, ws::UINT msg, ws::WPARAM wParam, ws::LPARAM)
{
    if (msg == ws::WM_HOTKEY)
        hotkeys.push_back(wParam);
    return 0;
}

} // namespace

class DesktopShortcutsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString here = QStringLiteral(ZORVANE_TEST_DESKTOP_DIR);
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                     QStringLiteral("--config-file=") + here + QStringLiteral("/private-bus.conf")});
        QVERIFY2(m_bus.waitForReadyRead(20000), "dbus-daemon did not start");
        const QString address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        m_standins.setProcessEnvironment(env);
        m_standins.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_standins.start(QStringLiteral("/usr/bin/python3"), {here + QStringLiteral("/standins.py")});
        QVERIFY2(m_standins.waitForReadyRead(20000), "the stand-in services did not start");

        m_connection = QDBusConnection::connectToBus(address, QStringLiteral("test"));
        QVERIFY(m_connection.isConnected());
    }

    void init()
    {
        control(QStringLiteral("Reset"));
        for (const QString &name : {Portal, KGlobalAccel, Notifications})
            own(name, false);
        QFile::remove(m_runtime.filePath(QStringLiteral("hint")));

        m_panel = std::make_unique<QWidget>();
        const ws::HWND hwnd = ws::windowHandle(m_panel.get());
        ws::SetWindowLongA(hwnd, ws::GWL_WNDPROC, reinterpret_cast<ws::LONG_PTR>(&recorder));
        for (const auto &s : Shortcuts)
            QVERIFY2(ws::RegisterHotKey(hwnd, s.hotkeyId, s.modifiers, s.vk),
                     qPrintable(ws::lastHotKeyError()));
        hotkeys.clear();
    }

    void cleanup()
    {
        m_coordinator.reset();
        m_panel.reset();
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("test"));
        for (QProcess *process : {&m_standins, &m_bus}) {
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(5000);
        }
    }

    // Where the keys go with the services there are: when they stay on X, the user is told
    // once per login session (by a notification, if there is a service to show it).
    void route_data()
    {
        QTest::addColumn<QStringList>("services");  // the names the stand-ins own
        QTest::addColumn<int>("route");
        QTest::addColumn<QStringList>("presses");   // a letter: Ctrl+Shift+it on X; else an activation
        QTest::addColumn<QList<int>>("delivered");  // the hotkey id each press gives; 0: none
        QTest::addColumn<QString>("portalMode");
        QTest::addColumn<QStringList>("taken");     // shortcuts another KDE action holds
        const auto row = [](const QByteArray &name, const QStringList &services, Route route,
                            const QStringList &presses, const QList<int> &delivered,
                            const QString &portalMode = QStringLiteral("normal"),
                            const QStringList &taken = {}) {
            QTest::newRow(name.constData())
                << services << int(route) << presses << delivered << portalMode << taken;
        };
        // Bound by the portal the X grabs are gone: a press the X server still reported
        // would count twice.
        row("portal", {Portal, Notifications}, Route::Portal, {"next-page", "scroll-up", "K"}, {5, 3, 0});
        // Its response comes before the reply to the request: still bound.
        row("portal answers early", {Portal, Notifications}, Route::Portal, {"prev-page"}, {2}, "early");
        for (const QString mode : {"cancel", "nothing", "refuse"})
            row("portal: " + mode.toLatin1(), {Portal, Notifications}, Route::XGrabs, {"M"}, {4}, mode);
        row("kglobalaccel before the portal", {Portal, KGlobalAccel, Notifications},
            Route::KGlobalAccel, {"scroll-down", "M"}, {4, 0});
        row("kglobalaccel, one key taken: it stays on X", {KGlobalAccel, Notifications},
            Route::KGlobalAccel, {"K", "next-page", "H", "prev-page"}, {5, 0, 0, 2}, "normal", {"next-page"});
        row("kglobalaccel, every key taken", {KGlobalAccel, Notifications}, Route::XGrabs, {"U"}, {3},
            "normal", {"prev-page", "scroll-up", "scroll-down", "next-page"});
        row("no service", {}, Route::XGrabs, {"K"}, {5});
    }

    void route()
    {
        QFETCH(QStringList, services);
        QFETCH(int, route);
        QFETCH(QStringList, presses);
        QFETCH(QList<int>, delivered);
        QFETCH(QString, portalMode);
        QFETCH(QStringList, taken);
        for (const QString &name : services)
            own(name, true);
        control(QStringLiteral("SetPortalMode"), {portalMode});
        control(QStringLiteral("SetTaken"), {taken});
        Coordinator *c = startCoordinator();
        QTRY_COMPARE_WITH_TIMEOUT(int(c->route()), route, 10000);
        if (route == int(Route::Portal)) {
            QVERIFY(log().contains(QStringLiteral("BindShortcuts prev-page=CTRL+SHIFT+h "
                                                  "scroll-up=CTRL+SHIFT+u scroll-down=CTRL+SHIFT+m "
                                                  "next-page=CTRL+SHIFT+k")));
        }
        for (qsizetype i = 0; i < presses.size(); ++i) {
            const QList<ws::WPARAM> ids = delivered[i] ? QList<ws::WPARAM>{ws::WPARAM(delivered[i])}
                                                       : QList<ws::WPARAM>{};
            QCOMPARE(deliveredAfter(presses[i]), ids);
        }
        const bool told = route == int(Route::XGrabs);
        const int notices = told && services.contains(Notifications) ? 1 : 0;
        QTRY_COMPARE(notifications(), notices);
        if (notices)
            QVERIFY(log().filter(QStringLiteral("Notify ")).constFirst().contains(QStringLiteral("zorvane --next")));
        QCOMPARE(QFile::exists(m_runtime.filePath(QStringLiteral("hint"))), told);
        if (told) {
            c = startCoordinator();
            QTRY_COMPARE_WITH_TIMEOUT(int(c->route()), route, 10000);
            QCOMPARE(notifications(), notices);
        }
    }

    void portalSessionClosed_xGrabsComeBack()
    {
        own(Portal, true);
        own(Notifications, true);
        Coordinator *c = startCoordinator();
        QTRY_COMPARE_WITH_TIMEOUT(c->route(), Route::Portal, 10000);
        control(QStringLiteral("CloseSession"));
        QTRY_COMPARE_WITH_TIMEOUT(c->route(), Route::XGrabs, 10000);
        QCOMPARE(deliveredAfter(QStringLiteral("H")), QList<ws::WPARAM>{2});
        QCOMPARE(deliveredAfter(QStringLiteral("prev-page")), QList<ws::WPARAM>{});
        QCOMPARE(notifications(), 1);
    }

    // Keys free again after the end, and taken again by the next start: e2e_kwin.
    void release_givesEveryShortcutBackOnce()
    {
        own(Portal, true);
        own(KGlobalAccel, true);
        control(QStringLiteral("SetTaken"), {QStringList{QStringLiteral("next-page")}});
        startCoordinator()->release();
        m_coordinator->release();
        // The one whose keys another action holds was made present as well.
        QCOMPARE(log().filter(QStringLiteral("setInactive")),
                 QStringList({"setInactive prev-page", "setInactive scroll-up",
                              "setInactive scroll-down", "setInactive next-page"}));
        QCOMPARE(deliveredAfter(QStringLiteral("prev-page")), QList<ws::WPARAM>{});

        own(KGlobalAccel, false);
        Coordinator *c = startCoordinator();
        QTRY_COMPARE_WITH_TIMEOUT(c->route(), Route::Portal, 10000);
        c->release();
        QVERIFY(log().contains(QStringLiteral("Session.Close")));
    }

private:
    QVariant control(const QString &method, const QVariantList &arguments = {})
    {
        const QString name = QStringLiteral("org.zorvane.TestControl");
        QDBusMessage call = QDBusMessage::createMethodCall(name, QStringLiteral("/control"), name, method);
        call.setArguments(arguments);
        const QDBusMessage reply = m_connection.call(call, QDBus::Block, 10000);
        if (reply.type() != QDBusMessage::ReplyMessage)
            qWarning() << "stand-in control" << method << "failed:" << reply.errorMessage();
        return reply.arguments().value(0);
    }
    QStringList log() { return control(QStringLiteral("Log")).toStringList(); }
    int notifications() { return int(log().filter(QStringLiteral("Notify ")).size()); }
    void own(const QString &name, bool on) { control(QStringLiteral("Own"), {name, on}); }
    Coordinator *startCoordinator()
    {
        m_coordinator = std::make_unique<Coordinator>(m_connection, ws::windowHandle(m_panel.get()), Shortcuts,
                                                      m_runtime.filePath(QStringLiteral("hint")));
        m_coordinator->start();
        return m_coordinator.get();
    }
    // Ctrl+Shift+`press` on X as the grab reports it, or the shortcut of that name activated:
    // the hotkey ids delivered once its signals and posted messages have arrived.
    QList<ws::WPARAM> deliveredAfter(const QString &press)
    {
        hotkeys.clear();
        if (press.size() == 1)
            ws::detail::hotKeyPressed(CtrlShift, ws::UINT(press[0].unicode()));
        else
            control(QStringLiteral("Activate"), {press});
        control(QStringLiteral("Log"));  // a round trip: the stand-in's signals are in by then
        QTest::qWait(200);
        return hotkeys;
    }

    QProcess m_bus;
    QProcess m_standins;
    QDBusConnection m_connection{QString()};
    QTemporaryDir m_runtime;
    std::unique_ptr<QWidget> m_panel;
    std::unique_ptr<Coordinator> m_coordinator;
};

QTEST_MAIN(DesktopShortcutsTest)
#include "tst_desktop_shortcuts.moc"
