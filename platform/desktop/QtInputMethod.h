#pragma once

#include "platform/InputMethod.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class Clock;
class QDBusPendingCallWatcher;
class QWindow;

// InputMethod of the input-method framework that Qt's input context talks
// to, as QT_IM_MODULE names it: fcitx5 ("fcitx", "fcitx5") or IBus ("ibus").
// Anything else, or no variable, means no framework and nothing is done.
//
// The switch goes over D-Bus, asynchronously, from inside the program. A
// focus change reaches the framework through Qt's input context only after
// the widget's FocusIn event, and for a window seen for the first time only
// after its input context has been created; so the switch is deferred and
// retried, for at most kSwitchWindowMs, until the framework reports that the
// focused input context is this program's, in the field's window. It is
// dropped once the field has lost the focus.
//
// fcitx5: the controller's Activate, once its DebugInfo names a focused input
// context of this program that belongs to the field's window; Mozc comes on
// in hiragana.
// IBus: through the bus connection of Qt's IBus plugin, so that the calls
// follow the plugin's FocusIn: the focused input context gets Mozc when it has
// another engine (then up to kEngineStartMs is allowed for IBus to start it),
// then Mozc's InputMode.Hiragana property.
class QtInputMethod : public QObject, public InputMethod
{
public:
    enum class Framework { None, Fcitx5, IBus };

    // Chooses the framework from QT_IM_MODULE. The switch window is measured
    // on `clock` (a test gives one it moves by hand); it must outlive this.
    QtInputMethod();
    explicit QtInputMethod(Framework framework, const Clock& clock);
    explicit QtInputMethod(Framework framework);
    ~QtInputMethod() override;

    void switchOnHiragana(QWidget* field) override;

    Framework framework() const { return m_framework; }

    static constexpr int kSwitchWindowMs = 300;
    static constexpr int kRetryMs = 15;
    // IBus starting Mozc for a context that had a keyboard layout.
    static constexpr int kEngineStartMs = 2000;

private:
    bool stillWanted() const;
    void attempt();
    void retryLater();
    void attemptFcitx5();
    void fcitx5Answered(QDBusPendingCallWatcher* call);
    void attemptIBus();
    void ibusContextAnswered(QDBusPendingCallWatcher* call);
    void ibusEngineAnswered(QDBusPendingCallWatcher* call, const QString& context);
    void ibusHiragana(const QString& context);

    // Which fcitx5 input context belongs to which window of this program.
    struct WindowContext
    {
        QPointer<QWindow> window;
        QString uuid;
    };
    QString contextOf(const QWindow* window);
    bool contextTakenByAnotherWindow(const QString& uuid, const QWindow* window);

    Framework m_framework;
    const Clock& m_clock;
    QPointer<QWidget> m_field;
    qint64 m_sinceMs = 0; // when the request was made, on m_clock
    QTimer m_retry;
    quint64 m_request = 0; // answers to an earlier request are ignored
    bool m_waiting = false;
    bool m_engineAsked = false;
    int m_deadlineMs = kSwitchWindowMs;
    QList<WindowContext> m_fcitxContexts;
    QString m_program;
};
