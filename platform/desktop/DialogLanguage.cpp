#include "platform/desktop/DialogLanguage.h"

#include <QByteArray>

#include <clocale>
#include <cstdlib>

bool desktopDialogsSpeakJapanese()
{
    // The locale the C library runs in: QCoreApplication has set it from
    // the environment.
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    if (!messages || !QByteArray(messages).startsWith("ja"))
        return false;
    // gettext prefers the first language of LANGUAGE to the locale's.
    const QByteArray languages = qgetenv("LANGUAGE");
    return languages.isEmpty() || languages.startsWith("ja");
}
