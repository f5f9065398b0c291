// Deleted properties: the list of those kept, putting them back, and
// forgetting those kept longer than a year.
#include "store/PropertyStore.h"

#include "model/PropertyRecord.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/PlatformError.h"

#include <algorithm>

namespace {

// The new names are quoted: a server that got the table after a desktop
// connected does not know their spelling yet.
QString deletedListStatement(const QString& rowKey)
{
    return QStringLiteral("SELECT %1 AS row_key, \"Sakuzyo_Nitizi\", Syozai, Kakaku FROM \"Fudousan_Sakuzyo\" "
                          "ORDER BY \"Sakuzyo_Nitizi\" DESC, %1 DESC")
        .arg(rowKey);
}

const QString kAnyOlder = QStringLiteral("SELECT 1 FROM \"Fudousan_Sakuzyo\" WHERE \"Sakuzyo_Nitizi\" < ? LIMIT 1");
const QString kForgetOlder = QStringLiteral("DELETE FROM \"Fudousan_Sakuzyo\" WHERE \"Sakuzyo_Nitizi\" < ?");

} // namespace

std::vector<DeletedProperty> PropertyStore::Deleted_Properties()
{
    Connection& db = connection();
    std::vector<DeletedProperty> kept;
    if (!db.hasTable(kDeletedTable))
        return kept; // nothing was ever deleted from this file
    const std::unique_ptr<RowSet> rows = db.execute(deletedListStatement(db.rowKeyColumn()));
    const QString location = propertyColumn(kSyozaiIndex);
    const QString price = propertyColumn(kKakakuIndex);
    for (; !rows->atEnd(); rows->moveNext()) {
        const QString moment = rows->field(kDeletedAtColumn).value_or(QString());
        kept.push_back({ rows->field(QStringLiteral("row_key")).value_or(QString()),
            QDateTime::fromString(moment, Qt::ISODateWithMs).toLocalTime(), rows->field(location),
            rows->field(price) });
    }
    return kept;
}

QStringList PropertyStore::Restore_Properties(const QStringList& keys, Grid& grid)
{
    // In the order they were deleted, so that the lines of one deletion come
    // back in their order.
    QStringList ordered = keys;
    std::sort(ordered.begin(), ordered.end(),
        [](const QString& a, const QString& b) { return a.toLongLong() < b.toLongLong(); });
    ordered.erase(std::unique(ordered.begin(), ordered.end()), ordered.end());

    Connection& db = connection();
    const QStringList columns = propertyColumnNames();
    QStringList restored;
    int gone = 0;
    bool moved = false;
    try {
        db.transaction([&] {
            restored.clear();
            gone = 0;
            for (const QString& key : ordered) {
                if (const std::optional<QString> rowKey = db.moveRow(kDeletedTable, key, kPropertyTable, columns))
                    restored << *rowKey;
                else
                    ++gone; // another copy of the program put it back, or it was forgotten
            }
            moved = true;
        });
    } catch (const PlatformError& error) {
        settleFile();
        // Until the commit was asked for, nothing can have come back; the
        // commit's own failure is described by the engine.
        throw PlatformError((moved ? QStringLiteral("削除した物件を元に戻す処理を確定できませんでした。\n")
                                   : QStringLiteral("削除した物件を元に戻せませんでした。どれも元に戻っていません。\n"))
            + error.description());
    }
    settleFile();

    const int back = int(restored.size());
    if (gone == 0)
        refillThenTell(grid, QStringLiteral("%1 件の物件を元に戻しました。一覧の最後に加えてあります。").arg(back));
    else if (back == 0)
        refillThenTell(grid,
            QStringLiteral("選択された %1 件の物件は、すでに元に戻されていたか、削除した物件から消えていました。")
                .arg(gone));
    else
        refillThenTell(grid,
            QStringLiteral("%1 件の物件を元に戻しました。一覧の最後に加えてあります。"
                           "ほかの %2 件は、すでに元に戻されていたか、削除した物件から消えていました。")
                .arg(back)
                .arg(gone));
    return restored;
}

void PropertyStore::Forget_Old_Deleted()
{
    try {
        if (!isOpen())
            return;
        Connection& db = connection();
        if (!db.hasTable(kDeletedTable))
            return;
        const QString cut = deletionMoment(m_clock->now().addDays(-kDeletedKeptDays));
        // Looked for first: a start with nothing to forget writes nothing.
        if (db.execute(kAnyOlder, { cut })->atEnd())
            return;
        db.execute(kForgetOlder, { cut });
        settleFile();
    } catch (const std::exception&) {
        // Kept for the next start; nothing is lost by keeping them longer.
    }
}
