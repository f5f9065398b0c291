// The property list: filling the list grid from table Fudousan, and deleting
// the properties whose lines are selected.
#include "store/PropertyStore.h"

#include "platform/Grid.h"
#include "platform/MessageBox.h"
#include "platform/PlatformError.h"
#include "store/PropertyRecord.h"

namespace {

// Only the key is read: the engine hands over whole results, and a list of
// tens of thousands of rows must not carry 28 unused columns. The table scan
// in rowid order is the database's own order; without ORDER BY the engine may
// answer from the index on Syozai, which yields the keys sorted instead.
const QString kListLocations = QStringLiteral("SELECT Syozai FROM Fudousan ORDER BY rowid");
const QString kDeleteLocation = QStringLiteral("Delete from Fudousan where Syozai= ?");

const QString kDeleted = QStringLiteral("データの削除が出来ました。");

} // namespace

void PropertyStore::Fill_Property_List(Grid& grid)
{
    // A failed query says nothing about what is stored; an empty or stale list
    // would pass for the truth, so the failure is reported and the grid stays.
    if (!Run_Query(kListLocations))
        throw PlatformError(QStringLiteral("物件の一覧を読み込めませんでした。\n") + m_lastFailure);

    RowSet& rows = recordset();
    if (rows.atEnd())
        return; // an empty table leaves the grid as it was

    const QString syozai = propertyColumn(kSyozaiIndex);
    std::vector<std::pair<QString, QString>> lines;
    std::optional<int> nullAt;
    for (int r = 1; !rows.atEnd(); ++r, rows.moveNext()) {
        std::optional<QString> key = rows.field(syozai);
        if (!key) {
            nullAt = r;
            break;
        }
        lines.emplace_back(QString::number(r), std::move(*key));
    }

    // Replaces every data line the grid held before, in one step.
    grid.setRowCount(1);
    grid.appendRows(lines);

    if (nullAt) {
        // A row without a location has no key: it can be neither shown,
        // loaded nor deleted. The lines above it stay listed.
        throw PlatformError(QStringLiteral("%1 件目の物件には所在がありません（NULL）。それ以降の物件は一覧に表示できません。")
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
    // Each key is its own statement: a failure stops here and the deletions
    // already made stay.
    Connection& db = connection();
    for (int i = 0; i < count; ++i) {
        const QString key = grid.cellText(grid.selectedRow(i), kListKeyColumn);
        try {
            db.execute(kDeleteLocation, {key});
        } catch (const PlatformError& error) {
            // Lines of properties already deleted must not stay listed.
            try {
                Fill_Property_List(grid);
            } catch (const std::exception&) {
            }
            throw PlatformError(QStringLiteral("「%1」を削除できませんでした。\n%2").arg(key, error.description()));
        }
    }

    grid.setRowCount(1); // deleting the last property leaves the header alone
    Fill_Property_List(grid);
    m_messages.show(kDeleted, MB_Information, kMessageTitle);
}
