#include "platform/desktop/DatabaseLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kFileName = QStringLiteral("Fudousan.mdb");
const QString kSettingsName = QStringLiteral("Fudousan.ini");

bool isInstalled(const QString& applicationDirectory, const QString& preparedDatabase)
{
    return !QFileInfo::exists(QDir(applicationDirectory).filePath(kFileName)) && QFileInfo(preparedDatabase).isFile();
}

void syncDirectory(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Builds the folder beside its final place and renames it into place whole,
// so that a start interrupted half-way leaves no folder (the next start tries
// again) rather than a folder without its database.
QString placePrepared(const QString& prepared, const QString& target)
{
    const QFileInfo targetInfo(target);
    const QString parent = targetInfo.absolutePath();
    if (!QDir().mkpath(parent))
        return QStringLiteral("フォルダ %1 を作れません。").arg(QDir::toNativeSeparators(parent));

    QFile source(prepared);
    if (!source.open(QIODevice::ReadOnly))
        return QStringLiteral("用意されたデータベース %1 を読めません（%2）。")
            .arg(QDir::toNativeSeparators(prepared), source.errorString());
    const QByteArray bytes = source.readAll();

    QTemporaryDir staging(QDir(parent).filePath(targetInfo.fileName() + QStringLiteral(".new-XXXXXX")));
    if (!staging.isValid())
        return QStringLiteral("フォルダ %1 に書き込めません（%2）。")
            .arg(QDir::toNativeSeparators(parent), staging.errorString());
    QFile copy(staging.filePath(kFileName));
    if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly) || copy.write(bytes) != bytes.size() || !copy.flush()
        || ::fsync(copy.handle()) != 0)
        return QStringLiteral("%1 に書き込めません（%2）。")
            .arg(QDir::toNativeSeparators(copy.fileName()), copy.errorString());
    copy.close();
    syncDirectory(staging.path());

    if (!QDir().rename(staging.path(), target)) {
        // Another start of the program may have placed it meanwhile.
        if (QFileInfo::exists(target))
            return QString();
        return QStringLiteral("フォルダ %1 を作れません。").arg(QDir::toNativeSeparators(target));
    }
    staging.setAutoRemove(false);
    syncDirectory(parent);
    return QString();
}

} // namespace

DatabaseLocation locateDatabase(
    const QString& applicationDirectory, const QString& preparedDatabase, const QString& userDirectory)
{
    DatabaseLocation location;
    location.directory = applicationDirectory;
    if (userDirectory.isEmpty() || !isInstalled(applicationDirectory, preparedDatabase))
        return location;

    location.installed = true;
    location.directory = QDir::cleanPath(userDirectory);
    if (!QFileInfo::exists(location.directory)) {
        location.failure = placePrepared(preparedDatabase, location.directory);
        location.placed = location.failure.isEmpty();
    }
    return location;
}

QString locateSettings(
    const QString& applicationDirectory, const QString& preparedDatabase, const QStringList& configDirectories)
{
    const QString beside = QDir(applicationDirectory).filePath(kSettingsName);
    if (QFileInfo::exists(beside) || !isInstalled(applicationDirectory, preparedDatabase))
        return beside;
    for (const QString& folder : configDirectories) {
        const QString candidate = QDir(folder).filePath(kSettingsName);
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return QString();
}
