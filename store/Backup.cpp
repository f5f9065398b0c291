// Daily backups: one checked copy of the database a day, the last 14 kept.
#include "store/PropertyStore.h"

#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kPrefix = QStringLiteral("Fudousan-");
const QString kSuffix = QStringLiteral(".mdb");

} // namespace

QString PropertyStore::backupFolder() const
{
    return QFileInfo(databasePath()).dir().filePath(QStringLiteral("backup"));
}

void PropertyStore::Backup_If_Due()
{
    const QDate today = m_clock->now().date();
    if (today == m_backupDay || !Db_Connection || !Db_Connection->isOpen() || !Db_Connection->keepsDailyCopies())
        return;
    const QDir folder(backupFolder());
    const QString name = kPrefix + today.toString(QStringLiteral("yyyy-MM-dd")) + kSuffix;
    try {
        if (!folder.exists() && !QDir().mkpath(folder.path()))
            throw PlatformError(
                QStringLiteral("フォルダー %1 を作れません。").arg(QDir::toNativeSeparators(folder.path())));
        if (!QFile::exists(folder.filePath(name))) {
            // Written under another name and renamed once checked, so that a
            // copy cut short by a crash or a full disk never passes for a backup.
            const QString part = folder.filePath(name + QStringLiteral(".part"));
            QFile::remove(part);
            Db_Connection->copyTo(part);
            if (!QFile::rename(part, folder.filePath(name))) {
                QFile::remove(part);
                throw PlatformError(
                    QStringLiteral("%1 を作れません。").arg(QDir::toNativeSeparators(folder.filePath(name))));
            }
        }
        m_backupDay = today;
    } catch (const PlatformError& error) {
        if (!m_backupFailureShown) {
            m_backupFailureShown = true;
            m_messages.show(
                QStringLiteral("今日のバックアップを作れませんでした。データベースはそのままで、作業は続けられます。\n")
                    + error.description(),
                MB_Critical, kMessageTitle);
        }
        return;
    }

    // Only now that today's copy is there and checked do older ones go.
    QStringList copies
        = folder.entryList({ kPrefix + QStringLiteral("\?\?\?\?-\?\?-\?\?") + kSuffix }, QDir::Files, QDir::Name);
    while (copies.size() > kBackupsKept)
        QFile::remove(folder.filePath(copies.takeFirst()));
}
