// Desktop shortcuts on Wayland sessions, against stand-in services (tests/desktop/
// standins.py) on a private bus that starts nothing: KDE's kglobalaccel, the portal's
// GlobalShortcuts and the notification service.

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
        own(Notifications, true);
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

    void portal_bindsMovesKeysOffXAndDeliversEachPressOnce()
    {
        own(Portal, true);
        Coordinator *c = startCoordinator();
        QTRY_COMPARE_WITH_TIMEOUT(c->route(), Route::Portal, 10000);
        QVERIFY(log().contains(QStringLiteral("BindShortcuts prev-page=CTRL+SHIFT+h "
                                              "scroll-up=CTRL+SHIFT+u scroll-down=CTRL+SHIFT+m "
                                              "next-page=CTRL+SHIFT+k")));

        QCOMPARE(deliveredAfter([&] { activate(QStringLiteral("next-page")); }), QList<ws::WPARAM>{5});
        QCOMPARE(deliveredAfter([&] { activate(QStringLiteral("scroll-up")); }), QList<ws::WPARAM>{3});
        // The X grabs are gone: a press the X server still reported would count twice.
        QCOMPARE(deliveredAfter([&] { pressOnX('K'); }), QList<ws::WPARAM>{});
        QCOMPARE(notifications(), 0);
        QVERIFY(!QFile::exists(m_runtime.filePath(QStringLiteral("hint"))));
    }

    void portal_cancelledOrNothingBound_keepsXGrabsAndTellsOncePerSession()
    {
        own(Portal, true);
        for (const QString &mode : {QStringLiteral("cancel"), QStringLiteral("nothing"),
                                   QStringLiteral("refuse")}) {
            control(QStringLiteral("SetPortalMode"), {mode});
            Coordinator *c = startCoordinator();
            QTRY_COMPARE_WITH_TIMEOUT(c->route(), Route::XGrabs, 10000);
            QCOMPARE(deliveredAfter([&] { pressOnX('M'); }), QList<ws::WPARAM>{4});
        }
        // Told the first time only: the marker stands for this login session.
        QCOMPARE(notifications(), 1);
        QVERIFY(log().filter(QStringLiteral("Notify ")).constFirst().contains(
            QStringLiteral("zorvane --next")));
        QVERIFY(QFile::exists(m_runtime.filePath(QStringLiteral("hint"))));
    }

    void portal_answeredEarly_closesTheSession_xGrabsComeBack()
    {
        own(Portal, true);
        // Its response comes before the reply to the request: still bound.
        control(QStringLiteral("SetPortalMode"), {QStringLiteral("early")});
        Coordinator *c = startCoordinator();
        QTRY_COMPARE_WITH_TIMEOUT(c->route(), Route::Portal, 10000);
        QCOMPARE(deliveredAfter([&] { activate(QStringLiteral("prev-page")); }), QList<ws::WPARAM>{2});
        control(QStringLiteral("CloseSession"));
        QTRY_COMPARE_WITH_TIMEOUT(c->route(), Route::XGrabs, 10000);
        QCOMPARE(deliveredAfter([&] { pressOnX('H'); }), QList<ws::WPARAM>{2});
        QCOMPARE(deliveredAfter([&] { activate(QStringLiteral("prev-page")); }), QList<ws::WPARAM>{});
        QCOMPARE(notifications(), 1);
    }

    void kglobalaccel_preferredOverThePortal_deliversOnce()
    {
        own(Portal, true);
        own(KGlobalAccel, true);
        QCOMPARE(startCoordinator()->route(), Route::KGlobalAccel); // it answers at once
        const QStringList calls = log();
        QVERIFY(calls.contains(QStringLiteral("doRegister zorvane/next-page/Zorvane/Next page")));
        // Ctrl+Shift+K as Qt codes it, first as the default, then made present.
        QVERIFY(calls.contains(QStringLiteral("setShortcut next-page 0x600004b 8")));
        QVERIFY(calls.contains(QStringLiteral("setShortcut next-page 0x600004b 2")));
        QVERIFY(calls.filter(QStringLiteral("CreateSession")).isEmpty());

        QCOMPARE(deliveredAfter([&] { activate(QStringLiteral("scroll-down")); }), QList<ws::WPARAM>{4});
        QCOMPARE(deliveredAfter([&] { pressOnX('M'); }), QList<ws::WPARAM>{});
        QCOMPARE(notifications(), 0);
    }

    void kglobalaccel_someKeysTaken_thoseStayOnX()
    {
        own(KGlobalAccel, true);
        control(QStringLiteral("SetTaken"), {QStringList{QStringLiteral("next-page")}});
        QCOMPARE(startCoordinator()->route(), Route::KGlobalAccel);
        QCOMPARE(deliveredAfter([&] { pressOnX('K'); }), QList<ws::WPARAM>{5});
        QCOMPARE(deliveredAfter([&] { activate(QStringLiteral("next-page")); }), QList<ws::WPARAM>{});
        QCOMPARE(deliveredAfter([&] { pressOnX('H'); }), QList<ws::WPARAM>{});
        QCOMPARE(deliveredAfter([&] { activate(QStringLiteral("prev-page")); }), QList<ws::WPARAM>{2});
    }

    void release_givesEveryShortcutBackOnce_nextStartBindsAgain()
    {
        own(Portal, true);
        own(KGlobalAccel, true);
        control(QStringLiteral("SetTaken"), {QStringList{QStringLiteral("next-page")}});
        startCoordinator()->release();
        m_coordinator->release();
        // The one whose keys another action holds was made present as well.
        QCOMPARE(log().filter(QStringLiteral("setInactive")),
                 QStringList({QStringLiteral("setInactive prev-page"),
                              QStringLiteral("setInactive scroll-up"),
                              QStringLiteral("setInactive scroll-down"),
                              QStringLiteral("setInactive next-page")}));
        QCOMPARE(deliveredAfter([&] { activate(QStringLiteral("prev-page")); }), QList<ws::WPARAM>{});
        control(QStringLiteral("Reset"));
        QCOMPARE(startCoordinator()->route(), Route::KGlobalAccel);
        QCOMPARE(deliveredAfter([&] { activate(QStringLiteral("prev-page")); }), QList<ws::WPARAM>{2});

        // The portal's session is closed.
        own(KGlobalAccel, false);
        Coordinator *c = startCoordinator();
        QTRY_COMPARE_WITH_TIMEOUT(c->route(), Route::Portal, 10000);
        c->release();
        QVERIFY(log().contains(QStringLiteral("Session.Close")));
    }

    void everyKeyTakenOrNoService_keepsXGrabsAndTells()
    {
        // All taken: nothing works through KDE, and there is no portal either.
        own(KGlobalAccel, true);
        QStringList names;
        for (const auto &s : Shortcuts)
            names << s.name;
        control(QStringLiteral("SetTaken"), {names});
        QCOMPARE(startCoordinator()->route(), Route::XGrabs);
        QCOMPARE(deliveredAfter([&] { pressOnX('U'); }), QList<ws::WPARAM>{3});
        QTRY_COMPARE(notifications(), 1);

        // No service at all, not even one to show the hint: standard error only.
        cleanup();
        init();
        own(Notifications, false);
        QCOMPARE(startCoordinator()->route(), Route::XGrabs);
        QCOMPARE(deliveredAfter([&] { pressOnX('K'); }), QList<ws::WPARAM>{5});
        QVERIFY(QFile::exists(m_runtime.filePath(QStringLiteral("hint"))));
        QCOMPARE(notifications(), 0);
    }

private:
    QVariant control(const QString &method, const QVariantList &arguments = {});
    QStringList log() { return control(QStringLiteral("Log")).toStringList(); }
    int notifications() { return int(log().filter(QStringLiteral("Notify ")).size()); }
    void own(const QString &name, bool on) { control(QStringLiteral("Own"), {name, on}); }
    Coordinator *startCoordinator();
    // An X press of Ctrl+Shift+`key`, as the grab would report it.
    void pressOnX(char key) { ws::detail::hotKeyPressed(CtrlShift, ws::UINT(key)); }
    void activate(const QString &name) { control(QStringLiteral("Activate"), {name}); }
    QList<ws::WPARAM> deliveredAfter(const std::function<void()> &action);

    QProcess m_bus;
    QProcess m_standins;
    QDBusConnection m_connection{QString()};
    QTemporaryDir m_runtime;
    std::unique_ptr<QWidget> m_panel;
    std::unique_ptr<Coordinator> m_coordinator;
};

QVariant DesktopShortcutsTest::control(const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.zorvane.TestControl"), QStringLiteral("/control"),
        QStringLiteral("org.zorvane.TestControl"), method);
    call.setArguments(arguments);
    const QDBusMessage reply = m_connection.call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        qWarning() << "stand-in control" << method << "failed:" << reply.errorMessage();
    return reply.arguments().value(0);
}

Coordinator *DesktopShortcutsTest::startCoordinator()
{
    m_coordinator = std::make_unique<Coordinator>(m_connection, ws::windowHandle(m_panel.get()),
                                                  Shortcuts,
                                                  m_runtime.filePath(QStringLiteral("hint")));
    m_coordinator->start();
    return m_coordinator.get();
}

// Runs `action`, lets the signals and posted messages it causes arrive, and returns
// the hotkey ids delivered meanwhile.
QList<ws::WPARAM> DesktopShortcutsTest::deliveredAfter(const std::function<void()> &action)
{
    hotkeys.clear();
    action();
    // A round trip to the stand-in after the action: its signals are in by then.
    control(QStringLiteral("Log"));
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(10);
    }
    return hotkeys;
}

QTEST_MAIN(DesktopShortcutsTest)
#include "tst_desktop_shortcuts.moc"
