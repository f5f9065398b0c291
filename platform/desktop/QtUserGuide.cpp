#include "platform/desktop/QtUserGuide.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
const QString kIndex = QStringLiteral("index.html");

bool isFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}
} // namespace

QtUserGuide::QtUserGuide(QString applicationDirectory)
    : m_applicationDirectory(std::move(applicationDirectory))
{
}

QStringList QtUserGuide::places() const
{
    const QDir here(m_applicationDirectory);
    return { here.filePath(QStringLiteral("guide")),
        QDir::cleanPath(here.filePath(QStringLiteral(FUDOUSAN_INSTALLED_GUIDE))) };
}

QString QtUserGuide::page(const QString& section) const
{
    // Sections are the guide's own anchors: letters, digits and '-'.
    static const QRegularExpression anchor(QStringLiteral("^[a-z0-9-]+$"));
    for (const QString& folder : places()) {
        const QDir dir(folder);
        if (!isFile(dir.filePath(kIndex)))
            continue;
        const QString leading = dir.filePath(section + QStringLiteral(".html"));
        if (anchor.match(section).hasMatch() && isFile(leading))
            return leading;
        return dir.filePath(kIndex);
    }
    return QString();
}

bool QtUserGuide::openInBrowser(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
