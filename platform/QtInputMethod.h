#pragma once

#include "platform/InputMethod.h"

#include <QElapsedTimer>
#include <QString>

// InputMethod of the running desktop's input-method framework: fcitx5 or
// IBus, whichever runs in the user's session. It asks the framework through
// its command-line remote, started detached, so the screen never waits for
// it. With neither running it does nothing.
//
// Hiragana mode: the Japanese engines (Mozc, Anthy, KKC) start in hiragana
// when they are switched on, so switching on the Japanese engine is enough.
class QtInputMethod : public InputMethod
{
public:
    void switchOnHiragana(QWidget* field) override;

private:
    enum class Framework { Unknown, None, Fcitx5, IBus };

    // The framework running now; looked up again every few seconds, since
    // one may start or stop while the program runs.
    Framework framework();

    Framework m_framework = Framework::Unknown;
    QElapsedTimer m_sinceLookup;
};
