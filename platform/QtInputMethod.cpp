#include "platform/QtInputMethod.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace {

constexpr qint64 kLookupIntervalMs = 5000;

// IBus names its engines; the first of these that is installed is used.
struct IBusEngine
{
    const char* component; // file in /usr/share/ibus/component
    const char* engine;
};
const IBusEngine kIBusJapanese[] = {
    {"mozc.xml", "mozc-jp"},
    {"anthy.xml", "anthy"},
    {"kkc.xml", "kkc"},
};

// The name of a process of this user that runs an input-method framework,
// or an empty string.
QByteArray runningDaemon()
{
    const QDir proc(QStringLiteral("/proc"));
    const uint me = uint(getuid());
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!pid.at(0).isDigit())
            continue;
        const QString dir = proc.filePath(pid);
        if (QFileInfo(dir).ownerId() != me)
            continue;
        QFile comm(dir + QStringLiteral("/comm"));
        if (!comm.open(QIODevice::ReadOnly))
            continue;
        const QByteArray name = comm.readAll().trimmed();
        if (name == "fcitx5" || name == "ibus-daemon")
            return name;
    }
    return QByteArray();
}

// Starts `program` without waiting for it and without letting it write to
// the program's own output.
void startQuietly(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.startDetached();
}

QString ibusJapaneseEngine()
{
    for (const IBusEngine& e : kIBusJapanese) {
        if (QFile::exists(QStringLiteral("/usr/share/ibus/component/") + QLatin1String(e.component)))
            return QLatin1String(e.engine);
    }
    return QString();
}

} // namespace

QtInputMethod::Framework QtInputMethod::framework()
{
    if (m_framework != Framework::Unknown && m_sinceLookup.isValid() && m_sinceLookup.elapsed() < kLookupIntervalMs)
        return m_framework;
    const QByteArray daemon = runningDaemon();
    if (daemon == "fcitx5" && !QStandardPaths::findExecutable(QStringLiteral("fcitx5-remote")).isEmpty())
        m_framework = Framework::Fcitx5;
    else if (daemon == "ibus-daemon" && !QStandardPaths::findExecutable(QStringLiteral("ibus")).isEmpty())
        m_framework = Framework::IBus;
    else
        m_framework = Framework::None;
    m_sinceLookup.start();
    return m_framework;
}

void QtInputMethod::switchOnHiragana(QWidget*)
{
    // The framework acts on the input context that has the focus, which is
    // the field that has just got it.
    switch (framework()) {
    case Framework::Fcitx5:
        startQuietly(QStringLiteral("fcitx5-remote"), {QStringLiteral("-o")});
        break;
    case Framework::IBus: {
        const QString engine = ibusJapaneseEngine();
        if (!engine.isEmpty())
            startQuietly(QStringLiteral("ibus"), {QStringLiteral("engine"), engine});
        break;
    }
    case Framework::None:
    case Framework::Unknown:
        break;
    }
}
