#include "platform/desktop/QtInputMethod.h"

#include "platform/Clock.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFileInfo>
#include <QWidget>
#include <QWindow>

namespace {

const QString kFcitxService = QStringLiteral("org.fcitx.Fcitx5");
const QString kFcitxController = QStringLiteral("/controller");
const QString kFcitxControllerInterface = QStringLiteral("org.fcitx.Fcitx.Controller1");

const QString kIBusService = QStringLiteral("org.freedesktop.IBus");
const QString kIBusPath = QStringLiteral("/org/freedesktop/IBus");
const QString kIBusInterface = QStringLiteral("org.freedesktop.IBus");
const QString kIBusContextInterface = QStringLiteral("org.freedesktop.IBus.InputContext");
// The connection Qt's IBus input context plugin opens to the IBus bus.
const QString kQtIBusConnection = QStringLiteral("QIBusProxy");
const QString kMozcEngine = QStringLiteral("mozc-jp");
constexpr uint kPropertyChecked = 1;

QtInputMethod::Framework frameworkFromEnvironment()
{
    QByteArray module = qgetenv("QT_IM_MODULE").trimmed().toLower();
    // As Qt reads it: the plugin key is what comes before any ":".
    module = module.split(':').constFirst();
    if (module == "fcitx" || module == "fcitx5")
        return QtInputMethod::Framework::Fcitx5;
    if (module == "ibus")
        return QtInputMethod::Framework::IBus;
    return QtInputMethod::Framework::None;
}

// A method call that never starts the framework through D-Bus activation:
// a framework that is not running stays so.
QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
    const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    return message;
}

// The uuid of the input context that fcitx5's DebugInfo marks as focused,
// when it belongs to `program`; an empty string otherwise. The lines read
//   IC [uuid] program:NAME frontend:dbus cap:... focus:1
QString focusedFcitxContext(const QString& debugInfo, const QString& program)
{
    const QString programField = QStringLiteral("program:") + program;
    for (const QStringView line : QStringView(debugInfo).split(u'\n')) {
        const QStringView trimmed = line.trimmed();
        const qsizetype close = trimmed.indexOf(u']');
        if (!trimmed.startsWith(u"IC [") || close < 0)
            continue;
        const QList<QStringView> fields = trimmed.mid(close + 1).split(u' ', Qt::SkipEmptyParts);
        if (!fields.contains(u"focus:1") || !fields.contains(QStringView(programField)))
            continue;
        return trimmed.mid(4, close - 4).toString();
    }
    return QString();
}

// The engine name inside IBus's serialised IBusEngineDesc: a structure of the
// type name, the attachments, then the name.
QString ibusEngineName(const QDBusVariant& description)
{
    const QVariant value = description.variant();
    if (!value.canConvert<QDBusArgument>())
        return QString();
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentType() != QDBusArgument::StructureType)
        return QString();
    QString type, name;
    argument.beginStructure();
    argument >> type;
    argument.beginMap();
    while (!argument.atEnd()) {
        QString key;
        QDBusVariant attachment;
        argument.beginMapEntry();
        argument >> key >> attachment;
        argument.endMapEntry();
    }
    argument.endMap();
    argument >> name;
    return name;
}

} // namespace

QtInputMethod::QtInputMethod()
    : QtInputMethod(frameworkFromEnvironment())
{
}

QtInputMethod::QtInputMethod(Framework framework)
    : QtInputMethod(framework, Clock::system())
{
}

QtInputMethod::QtInputMethod(Framework framework, const Clock& clock)
    : m_framework(framework)
    , m_clock(clock)
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { attempt(); });
    // fcitx5's Qt input context names each input context after the
    // executable's file name.
    m_program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

QtInputMethod::~QtInputMethod() = default;

void QtInputMethod::switchOnHiragana(QWidget* field)
{
    if (m_framework == Framework::None || !field)
        return;
    // Asked from the FocusIn event, before Qt hands the focus to its input
    // context: the first try waits for the event loop.
    m_field = field;
    ++m_request;
    m_waiting = false;
    m_engineAsked = false;
    m_deadlineMs = kSwitchWindowMs;
    m_sinceMs = m_clock.monotonicMs();
    m_retry.start(0);
}

bool QtInputMethod::stillWanted() const
{
    return m_field && QApplication::focusWidget() == m_field && m_field->window()->isActiveWindow()
        && m_clock.monotonicMs() - m_sinceMs <= m_deadlineMs;
}

void QtInputMethod::attempt()
{
    if (m_waiting || !stillWanted())
        return;
    if (m_framework == Framework::Fcitx5)
        attemptFcitx5();
    else if (m_framework == Framework::IBus)
        attemptIBus();
}

void QtInputMethod::retryLater()
{
    m_waiting = false;
    if (stillWanted())
        m_retry.start(kRetryMs);
}

// ---- fcitx5

QString QtInputMethod::contextOf(const QWindow* window)
{
    for (const WindowContext& known : std::as_const(m_fcitxContexts)) {
        if (known.window == window)
            return known.uuid;
    }
    return QString();
}

bool QtInputMethod::contextTakenByAnotherWindow(const QString& uuid, const QWindow* window)
{
    m_fcitxContexts.removeIf([](const WindowContext& known) { return known.window.isNull(); });
    for (const WindowContext& known : std::as_const(m_fcitxContexts)) {
        if (known.uuid == uuid && known.window != window)
            return true;
    }
    return false;
}

void QtInputMethod::attemptFcitx5()
{
    m_waiting = true;
    const QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(
        call(kFcitxService, kFcitxController, kFcitxControllerInterface, QStringLiteral("DebugInfo")));
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    const quint64 request = m_request;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, request](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (request == m_request)
            fcitx5Answered(w);
    });
}

void QtInputMethod::fcitx5Answered(QDBusPendingCallWatcher* answer)
{
    const QDBusPendingReply<QString> reply = *answer;
    if (reply.isError()) {
        // fcitx5 is not running (or is restarting): nothing to switch.
        m_waiting = false;
        return;
    }
    QWindow* window = m_field ? m_field->window()->windowHandle() : nullptr;
    const QString focused = focusedFcitxContext(reply.value(), m_program);
    if (!stillWanted() || !window) {
        m_waiting = false;
        return;
    }
    // Not yet told about the focus change, or still focused on another of
    // this program's windows: ask again shortly.
    if (focused.isEmpty()) {
        retryLater();
        return;
    }
    const QString known = contextOf(window);
    if (known.isEmpty() ? contextTakenByAnotherWindow(focused, window) : known != focused) {
        retryLater();
        return;
    }
    if (known.isEmpty())
        m_fcitxContexts.append({ window, focused });
    m_waiting = false;
    ++m_request; // done
    QDBusConnection::sessionBus().asyncCall(
        call(kFcitxService, kFcitxController, kFcitxControllerInterface, QStringLiteral("Activate")));
}

// ---- IBus

void QtInputMethod::attemptIBus()
{
    QDBusConnection bus(kQtIBusConnection);
    if (!bus.isConnected()) {
        // Qt's IBus input context is not (yet) connected.
        retryLater();
        return;
    }
    m_waiting = true;
    const QDBusPendingCall pending
        = bus.asyncCall(call(kIBusService, kIBusPath, kIBusInterface, QStringLiteral("CurrentInputContext")));
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    const quint64 request = m_request;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, request](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (request == m_request)
            ibusContextAnswered(w);
    });
}

void QtInputMethod::ibusContextAnswered(QDBusPendingCallWatcher* answer)
{
    const QDBusPendingReply<QDBusObjectPath> reply = *answer;
    if (!stillWanted()) {
        m_waiting = false;
        return;
    }
    if (reply.isError()) {
        // No focused input context yet.
        retryLater();
        return;
    }
    const QString context = reply.value().path();
    const QDBusPendingCall pending
        = QDBusConnection(kQtIBusConnection)
              .asyncCall(call(kIBusService, context, kIBusContextInterface, QStringLiteral("GetEngine")));
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    const quint64 request = m_request;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, request, context](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (request == m_request)
            ibusEngineAnswered(w, context);
    });
}

void QtInputMethod::ibusEngineAnswered(QDBusPendingCallWatcher* answer, const QString& context)
{
    const QDBusPendingReply<QDBusVariant> reply = *answer;
    m_waiting = false;
    if (!stillWanted())
        return;
    const QString engine = reply.isError() ? QString() : ibusEngineName(reply.value());
    if (!engine.startsWith(QLatin1String("mozc"))) {
        // Another engine (a keyboard layout) stands for "input method off".
        // Mozc's properties reach it only once IBus has started it for this
        // context: ask again until the context reports it.
        if (!m_engineAsked) {
            m_engineAsked = true;
            m_deadlineMs = kEngineStartMs;
            QDBusConnection(kQtIBusConnection)
                .asyncCall(
                    call(kIBusService, context, kIBusContextInterface, QStringLiteral("SetEngine"), { kMozcEngine }));
        }
        retryLater();
        return;
    }
    ++m_request; // done
    ibusHiragana(context);
}

void QtInputMethod::ibusHiragana(const QString& context)
{
    QDBusConnection(kQtIBusConnection)
        .asyncCall(call(kIBusService, context, kIBusContextInterface, QStringLiteral("PropertyActivate"),
            { QStringLiteral("InputMode.Hiragana"), kPropertyChecked }));
}
