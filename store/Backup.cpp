// Daily backups: one checked copy of the database a day, the last 14 kept.
#include "store/PropertyStore.h"

#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace {

// Fudousan-YYYY-MM-DD.mdb, or Fudousan-YYYY-MM-DD-N.mdb (N = 2, 3, ...) when
// something else held the day's first name.
constexpr int kNamesPerDay = 9;

struct CopyName
{
    QDate day;
    int number = 1;
};

QString nameOf(const QDate& day, int number)
{
    const QString date = day.toString(QStringLiteral("yyyy-MM-dd"));
    return number == 1 ? QStringLiteral("Fudousan-%1.mdb").arg(date)
                       : QStringLiteral("Fudousan-%1-%2.mdb").arg(date).arg(number);
}

// The day and number of a name the program gives its copies; nothing for any
// other name, a date that does not exist (2020-13-40) included.
std::optional<CopyName> parseName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^Fudousan-(\\d{4})-(\\d{2})-(\\d{2})(?:-([2-9]))?\\.mdb$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate day(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    if (!day.isValid())
        return std::nullopt;
    return CopyName { day, match.captured(4).isEmpty() ? 1 : match.captured(4).toInt() };
}

// Nothing at all at `path`, not even a link to nowhere.
bool isFree(const QString& path)
{
    const QFileInfo info(path);
    return !info.exists() && !info.isSymLink();
}

// A plain file (not a link) that begins as every SQLite database does: a copy
// this program wrote. Other things under a copy's name are never counted,
// replaced or removed.
bool isOwnCopy(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3\0", 16);
}

QString whatHolds(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return QStringLiteral("シンボリックリンク");
    if (info.isDir())
        return QStringLiteral("フォルダー");
    return QStringLiteral("データベースの写しではないファイル");
}

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

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
    const bool clockWentBack = m_backupDay.isValid() && today < m_backupDay;
    QString copy; // the day's copy, once it is there and checked
    bool madeNow = false;
    QStringList passedOver; // the day's names that something else holds
    try {
        if (!folder.exists() && !QDir().mkpath(folder.path()))
            throw PlatformError(QStringLiteral("フォルダー %1 を作れません。").arg(native(folder.path())));
        // The day's copy is the first of the day's names that holds one; a
        // name something else holds is passed over for the next.
        QString free;
        for (int number = 1; number <= kNamesPerDay && copy.isEmpty() && free.isEmpty(); ++number) {
            const QString path = folder.filePath(nameOf(today, number));
            if (isOwnCopy(path))
                copy = path;
            else if (isFree(path))
                free = path;
            else
                passedOver << QStringLiteral("%1（%2）").arg(nameOf(today, number), whatHolds(path));
        }
        if (copy.isEmpty() && free.isEmpty())
            throw PlatformError(
                QStringLiteral("今日のバックアップに使える名前がありません。%1 の名前はすべてほかのものが"
                               "使っています：\n%2")
                    .arg(native(folder.path()), passedOver.join(QLatin1Char('\n'))));
        if (copy.isEmpty()) {
            // Written under another name and renamed once checked, so that a
            // copy cut short by a crash or a full disk never passes for a
            // backup. The rename never replaces what appeared meanwhile.
            const QString part = free + QStringLiteral(".part");
            QFile::remove(part);
            Db_Connection->copyTo(part);
            if (!QFile::rename(part, free)) {
                QFile::remove(part);
                throw PlatformError(QStringLiteral("%1 を作れません。").arg(native(free)));
            }
            copy = free;
            madeNow = true;
        } else {
            passedOver.clear(); // made in an earlier run, and said then
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
    if (!passedOver.isEmpty())
        m_messages.show(QStringLiteral("今日のバックアップは %1 として作りました。\n"
                                       "次の名前は、このプログラムの作った写しではないものが使っているため、"
                                       "そのままにしてあります：\n%2")
                            .arg(native(copy), passedOver.join(QLatin1Char('\n'))),
            MB_Information, kMessageTitle);

    // Only now that the day's copy is there and checked do older ones go.
    // Counted are the program's own copies dated up to today; copies dated
    // later (written while the clock was ahead) are neither counted nor
    // removed, and the one just made always stays.
    struct Kept
    {
        CopyName name;
        QString path;
    };
    std::vector<Kept> counted;
    QDate latest;
    for (const QString& entry : folder.entryList(QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot)) {
        const std::optional<CopyName> name = parseName(entry);
        const QString path = folder.filePath(entry);
        if (!name || !isOwnCopy(path))
            continue;
        if (name->day > today)
            latest = qMax(latest, name->day);
        else
            counted.push_back({ *name, path });
    }
    std::sort(counted.begin(), counted.end(), [](const Kept& a, const Kept& b) {
        return a.name.day != b.name.day ? a.name.day > b.name.day : a.name.number > b.name.number;
    });
    int keep = kBackupsKept - 1; // besides the day's own
    for (const Kept& older : counted) {
        if (older.path == copy)
            continue;
        if (keep > 0)
            --keep;
        else
            QFile::remove(older.path);
    }

    // Said when the clock is seen to go back in the run, and otherwise with
    // the first copy of a day while copies dated later are there: once a day
    // at most, until they are moved away or their dates have come.
    if ((clockWentBack || (madeNow && latest.isValid())) && !m_clockNoticeShown) {
        m_clockNoticeShown = true;
        QString text = QStringLiteral("コンピューターの時計が戻されたようです（今日の日付は %1 です）。\n")
                           .arg(today.toString(Qt::ISODate));
        if (latest.isValid())
            text += QStringLiteral("バックアップのフォルダー %1 には、今日より後の日付（最も後は %2）の写しがあります。"
                                   "それらは消さずに残し、%3 日分の数には入れません。"
                                   "時計が進んでいた間の写しで不要なら、別の場所へ移して下さい。\n")
                        .arg(native(folder.path()), latest.toString(Qt::ISODate))
                        .arg(kBackupsKept);
        text += QStringLiteral("今日のバックアップは %1 として作ってあります。日付と時刻の設定を確かめて下さい。")
                    .arg(native(copy));
        m_messages.show(text, MB_Information, kMessageTitle);
    }
}
