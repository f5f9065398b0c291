// The fcitx5 switch against a stand-in for fcitx5's controller on a private
// D-Bus session bus (a dbus-daemon started for this test): when Activate may
// be sent. The real fcitx5 and IBus with Mozc are driven end to end by
// tests/e2e/japanese_input.sh; the orders of events below cannot be produced
// on purpose with the real daemon. Also: the choice of framework, and that a
// framework that is not running is never started through D-Bus.
#include "platform/desktop/QtInputMethod.h"
#include "tests/fakes/FakeClock.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {

const QString kService = QStringLiteral("org.fcitx.Fcitx5");

// Answers DebugInfo with `debugInfo` and counts Activate calls.
class FakeController : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.fcitx.Fcitx.Controller1")

public:
    QString debugInfo;
    int activations = 0;

public slots:
    QString DebugInfo() { return debugInfo; }
    void Activate() { ++activations; }
};

QString focusedContext(const QString& uuid, const QString& program)
{
    return QStringLiteral("Group [x11::0] has 2 InputContext(s)\n"
                          "  IC [0000] program:%1 frontend:dbus cap:72 focus:0\n"
                          "  IC [%2] program:%3 frontend:dbus cap:72 focus:1\n"
                          "Input Context without group\n")
        .arg(program == QLatin1String("other") ? QStringLiteral("TestInputMethod") : QStringLiteral("other"), uuid,
            program);
}

// One top-level window with two boxes, shown and active.
struct Window
{
    Window()
    {
        auto* layout = new QVBoxLayout(&widget);
        layout->addWidget(box = new QLineEdit);
        layout->addWidget(other = new QLineEdit);
        widget.show();
        widget.activateWindow();
        box->setFocus();
    }
    QWidget widget;
    QLineEdit* box;
    QLineEdit* other;
};

} // namespace

class TestInputMethod : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    FakeController m_controller;
    QString m_program;

    QDBusConnection fakeConnection() { return QDBusConnection(QStringLiteral("fake-fcitx5")); }

    bool activated(const QString& startedFlag) { return QFile::exists(startedFlag); }

private slots:
    void initTestCase()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed");
        QDir(m_dir.path()).mkpath(QStringLiteral("services"));
        // Starting fcitx5 through D-Bus activation would leave this file.
        QFile service(m_dir.filePath(QStringLiteral("services/fcitx5.service")));
        QVERIFY(service.open(QIODevice::WriteOnly));
        service.write(QStringLiteral("[D-BUS Service]\nName=%1\nExec=/usr/bin/touch %2\n")
                          .arg(kService, m_dir.filePath(QStringLiteral("started")))
                          .toUtf8());
        service.close();
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:path=%1</listen>"
                                    "<servicedir>%2</servicedir><policy context=\"default\">"
                                    "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/><allow own=\"*\"/>"
                                    "</policy></busconfig>")
                         .arg(m_dir.filePath(QStringLiteral("bus")), m_dir.filePath(QStringLiteral("services")))
                         .toUtf8());
        config.close();
        m_bus.start(daemon, { QStringLiteral("--nofork"), QStringLiteral("--config-file=") + config.fileName() });
        QVERIFY(m_bus.waitForStarted());
        QTRY_VERIFY(QFileInfo::exists(m_dir.filePath(QStringLiteral("bus"))));
        const QString address = QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("bus"));
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        QDBusConnection fake = QDBusConnection::connectToBus(address, QStringLiteral("fake-fcitx5"));
        QVERIFY(fake.isConnected());
        QVERIFY(fake.registerObject(QStringLiteral("/controller"), &m_controller, QDBusConnection::ExportAllSlots));
        m_program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    }

    void cleanupTestCase()
    {
        if (m_bus.state() != QProcess::NotRunning) {
            m_bus.kill();
            m_bus.waitForFinished();
        }
    }

    void init()
    {
        m_controller.activations = 0;
        m_controller.debugInfo.clear();
    }

    void frameworkFollowsQtIMModule_data()
    {
        QTest::addColumn<QByteArray>("module");
        QTest::addColumn<int>("framework");
        const int fcitx = int(QtInputMethod::Framework::Fcitx5);
        const int ibus = int(QtInputMethod::Framework::IBus);
        const int none = int(QtInputMethod::Framework::None);
        QTest::newRow("fcitx") << QByteArray("fcitx") << fcitx;
        QTest::newRow("fcitx5") << QByteArray("fcitx5") << fcitx;
        QTest::newRow("ibus") << QByteArray("ibus") << ibus;
        QTest::newRow("IBus, upper case") << QByteArray("IBus") << ibus;
        QTest::newRow("with parameters") << QByteArray("ibus:x") << ibus;
        QTest::newRow("compose") << QByteArray("compose") << none;
        QTest::newRow("xim") << QByteArray("xim") << none;
        QTest::newRow("empty") << QByteArray("") << none;
    }

    void frameworkFollowsQtIMModule()
    {
        QFETCH(QByteArray, module);
        QFETCH(int, framework);
        const QByteArray saved = qgetenv("QT_IM_MODULE");
        qputenv("QT_IM_MODULE", module);
        QtInputMethod inputMethod;
        qputenv("QT_IM_MODULE", saved);
        QCOMPARE(int(inputMethod.framework()), framework);
    }

    // fcitx5 is not running: the request must not start it, in the whole
    // switch window.
    void frameworkNotRunningIsNotStarted()
    {
        Window window;
        QTRY_VERIFY(window.box->hasFocus());
        FakeClock clock;
        QtInputMethod inputMethod(QtInputMethod::Framework::Fcitx5, clock);
        inputMethod.switchOnHiragana(window.box);
        for (int ms = 0; ms <= QtInputMethod::kSwitchWindowMs; ms += QtInputMethod::kRetryMs) {
            QTest::qWait(QtInputMethod::kRetryMs);
            clock.advanceMs(QtInputMethod::kRetryMs);
        }
        QVERIFY(!activated(m_dir.filePath(QStringLiteral("started"))));
    }

    // Another program's window focused, then none, then this field's: Activate
    // only at the end, and once.
    void activatesOnlyOnceTheFieldsWindowIsFocused()
    {
        QVERIFY(fakeConnection().registerService(kService));
        Window window;
        QTRY_VERIFY(window.box->hasFocus());
        QtInputMethod inputMethod(QtInputMethod::Framework::Fcitx5);
        m_controller.debugInfo = focusedContext(QStringLiteral("1111"), QStringLiteral("other"));
        inputMethod.switchOnHiragana(window.box);
        QTest::qWait(80);
        m_controller.debugInfo = QStringLiteral("Group [x11::0] has 0 InputContext(s)\n");
        QTest::qWait(60);
        QCOMPARE(m_controller.activations, 0);
        m_controller.debugInfo = focusedContext(QStringLiteral("2222"), m_program);
        QTRY_COMPARE_WITH_TIMEOUT(m_controller.activations, 1, QtInputMethod::kSwitchWindowMs);
        QTest::qWait(100);
        QCOMPARE(m_controller.activations, 1);
        QVERIFY(fakeConnection().unregisterService(kService));
    }

    // fcitx5 learns of the focus change only at the very end of the switch
    // window, or just after it: activated in the first case, never in the
    // second, and the retries end.
    void theSwitchWindowEndsTheRetries_data()
    {
        QTest::addColumn<int>("lateMs");
        QTest::addColumn<int>("activations");
        QTest::newRow("last moment") << QtInputMethod::kSwitchWindowMs << 1;
        QTest::newRow("too late") << QtInputMethod::kSwitchWindowMs + 1 << 0;
    }

    void theSwitchWindowEndsTheRetries()
    {
        QFETCH(int, lateMs);
        QFETCH(int, activations);
        QVERIFY(fakeConnection().registerService(kService));
        Window window;
        QTRY_VERIFY(window.box->hasFocus());
        FakeClock clock;
        QtInputMethod inputMethod(QtInputMethod::Framework::Fcitx5, clock);
        m_controller.debugInfo = focusedContext(QStringLiteral("1111"), QStringLiteral("other"));
        inputMethod.switchOnHiragana(window.box);
        QTest::qWait(60); // a few retries, each answered with another program's context
        clock.advanceMs(lateMs);
        m_controller.debugInfo = focusedContext(QStringLiteral("2222"), m_program);
        QTest::qWait(100);
        QCOMPARE(m_controller.activations, activations);
        QVERIFY(fakeConnection().unregisterService(kService));
    }

    // The field loses the focus before fcitx5 catches up: nothing happens.
    void dropsTheRequestWhenTheFieldLosesFocus()
    {
        QVERIFY(fakeConnection().registerService(kService));
        Window window;
        QTRY_VERIFY(window.box->hasFocus());
        QtInputMethod inputMethod(QtInputMethod::Framework::Fcitx5);
        inputMethod.switchOnHiragana(window.box);
        QTest::qWait(50);
        window.other->setFocus();
        m_controller.debugInfo = focusedContext(QStringLiteral("2222"), m_program);
        QTest::qWait(QtInputMethod::kSwitchWindowMs);
        QCOMPARE(m_controller.activations, 0);
        QVERIFY(fakeConnection().unregisterService(kService));
    }

    // A second window of this program while fcitx5 still has the first one's
    // input context focused: Activate waits for the second one's.
    void waitsForTheNewWindowsInputContext()
    {
        QVERIFY(fakeConnection().registerService(kService));
        QtInputMethod inputMethod(QtInputMethod::Framework::Fcitx5);
        Window first;
        QTRY_VERIFY(first.box->hasFocus());
        m_controller.debugInfo = focusedContext(QStringLiteral("aaaa"), m_program);
        inputMethod.switchOnHiragana(first.box);
        QTRY_COMPARE(m_controller.activations, 1);

        Window second;
        QTRY_VERIFY(second.box->hasFocus());
        inputMethod.switchOnHiragana(second.box);
        QTest::qWait(100);
        QCOMPARE(m_controller.activations, 1);
        m_controller.debugInfo = focusedContext(QStringLiteral("bbbb"), m_program);
        QTRY_COMPARE_WITH_TIMEOUT(m_controller.activations, 2, QtInputMethod::kSwitchWindowMs);
        QVERIFY(fakeConnection().unregisterService(kService));
    }
};

QTEST_MAIN(TestInputMethod)
#include "TestInputMethod.moc"
