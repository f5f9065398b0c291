// The property list: filling the list grid from table Fudousan, and deleting
// the properties whose lines are selected.
#include "store/PropertyStore.h"

#include "model/PropertyRecord.h"
#include "platform/Grid.h"
#include "platform/MessageBox.h"
#include "platform/PlatformError.h"

namespace {

// Only the row key and the location are read: the engine hands over whole
// results, and a list of tens of thousands of rows must not carry 28 unused
// columns. The order of the row keys is the database's own order; without
// ORDER BY the engine may answer from the index on Syozai, which yields the
// locations sorted instead. A location stored as a number or a blob (by
// another program) comes back as text like any other.
QString listStatement(const QString& rowKey)
{
    return QStringLiteral("SELECT %1 AS row_key, Syozai FROM Fudousan ORDER BY %1").arg(rowKey);
}

// One line, one row: the row the line was filled from, and only while it
// exists. RETURNING tells a deleted row from one that was already gone.
QString deleteStatement(const QString& rowKey)
{
    return QStringLiteral("DELETE FROM Fudousan WHERE %1 = ? RETURNING %1").arg(rowKey);
}

const QString kDeleted = QStringLiteral("データの削除が出来ました。");

// A line's running number as text, without the locale machinery of
// QString::number: a list of 100,000 lines makes 100,000 of them.
QString lineNumber(int r)
{
    char16_t digits[12];
    int at = 12;
    unsigned value = unsigned(r);
    do {
        digits[--at] = char16_t(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return QString(reinterpret_cast<const QChar*>(digits + at), 12 - at);
}

} // namespace

void PropertyStore::Fill_Property_List(Grid& grid)
{
    // A failed query says nothing about what is stored; an empty or stale list
    // would pass for the truth, so the failure is reported and the grid stays.
    if (!Run_Query(listStatement(connection().rowKeyColumn())))
        throw PlatformError(QStringLiteral("物件の一覧を読み込めませんでした。\n") + m_lastFailure);

    RowSet& rows = recordset();
    if (rows.atEnd())
        return; // an empty table leaves the grid as it was

    const QString syozai = propertyColumn(kSyozaiIndex);
    const QString rowKey = QStringLiteral("row_key");
    std::vector<GridLine> lines;
    std::optional<int> nullAt;
    for (int r = 1; !rows.atEnd(); ++r, rows.moveNext()) {
        std::optional<QString> location = rows.field(syozai);
        if (!location) {
            nullAt = r;
            break;
        }
        lines.push_back({ lineNumber(r), std::move(*location), rows.field(rowKey).value_or(QString()) });
    }

    // Replaces every data line the grid held before, in one step.
    grid.setRowCount(1);
    grid.takeRows(std::move(lines));

    if (nullAt) {
        // A row without a location has no key: it can be neither shown,
        // loaded nor deleted. The lines above it stay listed.
        throw PlatformError(
            QStringLiteral("%1 件目の物件には所在がありません（NULL）。それ以降の物件は一覧に表示できません。")
                .arg(*nullAt));
    }
}

void PropertyStore::Delete_Property(Grid& grid)
{
    const int count = grid.selectedRowCount();
    if (count == 0) {
        m_messages.show(kSelectDataMessage, MB_Critical, kMessageTitle);
        return;
    }

    // The grid is not touched while deleting, so the selection stays valid.
    // Each line is its own statement: a failure stops here and the deletions
    // already made stay. A line whose row another copy of the program deleted
    // meanwhile deletes nothing and is counted as already gone.
    Connection& db = connection();
    const QString statement = deleteStatement(db.rowKeyColumn());
    int deleted = 0;
    int gone = 0;
    for (int i = 0; i < count; ++i) {
        const int line = grid.selectedRow(i);
        const QString rowKey = grid.rowKey(line);
        const QString key = grid.cellText(line, kListKeyColumn);
        try {
            if (rowKey.isEmpty() || db.execute(statement, { rowKey })->atEnd())
                ++gone;
            else
                ++deleted;
        } catch (const PlatformError& error) {
            settleFile();
            // Lines of properties already deleted must not stay listed.
            try {
                Fill_Property_List(grid);
            } catch (const std::exception&) {
            }
            throw PlatformError(QStringLiteral("「%1」を削除できませんでした。\n%2").arg(key, error.description()));
        }
    }

    // One fold for the whole selection: each deletion is durable on its own
    // already, and a thousand lines delete at the speed of single commits.
    settleFile();
    grid.setRowCount(1); // deleting the last property leaves the header alone
    Fill_Property_List(grid);
    if (gone == 0)
        m_messages.show(kDeleted, MB_Information, kMessageTitle);
    else if (deleted == 0)
        m_messages.show(QStringLiteral("選択された %1 件のデータは、すでに削除されていました。").arg(gone),
            MB_Information, kMessageTitle);
    else
        m_messages.show(QStringLiteral("%1 件のデータを削除しました。ほかの %2 件は、すでに削除されていました。")
                            .arg(deleted)
                            .arg(gone),
            MB_Information, kMessageTitle);
}
