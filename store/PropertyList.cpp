// The property list: filling the list grid from table Fudousan, and deleting
// the properties whose lines are selected (kept among the deleted ones).
#include "store/PropertyStore.h"

#include "model/PropertyRecord.h"
#include "platform/Clock.h"
#include "platform/Grid.h"
#include "platform/MessageBox.h"
#include "platform/PlatformError.h"

#include <QMap>

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

    // The lines are read before anything changes, so the selection is the
    // agent's to the end.
    struct Line
    {
        QString rowKey;
        QString text;
    };
    std::vector<Line> lines;
    lines.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const int line = grid.selectedRow(i);
        lines.push_back({ grid.rowKey(line), grid.cellText(line, kListKeyColumn) });
    }

    // One transaction, all lines or none, one sync: each row is kept among
    // the deleted properties and removed from the list's table in the same
    // step, so at no moment is it in both or in neither. A line whose row
    // another copy of the program deleted meanwhile moves nothing and is
    // counted as already gone.
    Connection& db = connection();
    const QStringList columns = propertyColumnNames();
    const QMap<QString, QString> stamp { { kDeletedAtColumn, deletionMoment(m_clock->now()) } };
    int deleted = 0;
    int gone = 0;
    const Line* failing = nullptr;
    bool moved = false;
    try {
        db.transaction([&] {
            deleted = 0;
            gone = 0;
            db.createTable(kDeletedTable, QStringList { kDeletedAtColumn } + columns);
            for (const Line& line : lines) {
                failing = &line;
                if (line.rowKey.isEmpty() || !db.moveRow(kPropertyTable, line.rowKey, kDeletedTable, columns, stamp))
                    ++gone;
                else
                    ++deleted;
            }
            failing = nullptr;
            moved = true;
        });
    } catch (const PlatformError& error) {
        settleFile();
        // The list shows what the table holds, whatever the failure left.
        try {
            Fill_Property_List(grid);
        } catch (const std::exception&) {
        }
        // Until the commit was asked for, nothing can have been deleted; the
        // commit's own failure is described by the engine.
        if (failing)
            throw PlatformError(
                QStringLiteral("「%1」を削除できませんでした。選択された物件は、どれも削除されていません。\n%2")
                    .arg(failing->text, error.description()));
        if (!moved)
            throw PlatformError(QStringLiteral("選択された物件を削除できませんでした。どれも削除されていません。\n")
                + error.description());
        throw PlatformError(QStringLiteral("選択された物件の削除を確定できませんでした。\n") + error.description());
    }

    settleFile();
    if (gone == 0)
        refillThenTell(grid, kDeleted);
    else if (deleted == 0)
        refillThenTell(grid, QStringLiteral("選択された %1 件のデータは、すでに削除されていました。").arg(gone));
    else
        refillThenTell(grid,
            QStringLiteral("%1 件のデータを削除しました。ほかの %2 件は、すでに削除されていました。")
                .arg(deleted)
                .arg(gone));
}

void PropertyStore::refillThenTell(Grid& grid, const QString& done)
{
    grid.setRowCount(1); // deleting the last property leaves the header alone
    QString listFailure;
    try {
        Fill_Property_List(grid);
    } catch (const PlatformError& error) {
        listFailure = error.description();
    }
    m_messages.show(done, MB_Information, kMessageTitle);
    if (!listFailure.isEmpty())
        m_messages.show(listFailure, MB_Critical, kMessageTitle);
}

QString PropertyStore::deletionMoment(const QDateTime& moment)
{
    return moment.toUTC().toString(Qt::ISODateWithMs);
}
