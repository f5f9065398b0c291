// Saving: the entry screen's property appended as a new row of Fudousan.
#include "store/PropertyStore.h"

#include "model/EntryView.h"
#include "model/PropertyRecord.h"
#include "platform/MessageBox.h"
#include "platform/PlatformError.h"

namespace {

// Whether a row has the location: one row of one column is enough to say.
const QString kSelectByLocation = QStringLiteral("SELECT 1 FROM Fudousan WHERE Syozai = ? LIMIT 1");
const QString kRegistrationComplete = QStringLiteral("登録を完了しました。");

} // namespace

void PropertyStore::Save_Property(const EntryView& screen)
{
    Db_Recordset.reset();
    if (!Open_Property_Table())
        throw PlatformError(QStringLiteral("物件を登録できませんでした。\n") + m_lastFailure);

    RowSet& table = recordset();
    table.addNew();
    // Every text exactly as it stands in its box: no trimming, no conversion.
    for (int i = 0; i < kBoxCount; ++i)
        table.setField(propertyColumn(i), screen.boxText(i));
    table.setField(propertyColumn(kMadoriIndex), Map_Image_Path);
    table.update();
    Db_Recordset.reset();
    settleFile();

    m_messages.show(kRegistrationComplete, MB_Plain);
    Backup_If_Due(); // the first save of a day the program was left running into
}

void PropertyStore::Save_If_New_And_Print(
    const QString& location, const EntryView& screen, const std::function<void()>& printFlyer)
{
    // A failed existence test must not be mistaken for "not stored yet" or
    // "stored": the row set left from an earlier query says nothing here.
    if (!Run_Query(kSelectByLocation, { location }))
        throw PlatformError(QStringLiteral("登録済みかどうかを確かめられませんでした。\n") + m_lastFailure);
    if (recordset().atEnd())
        Save_Property(screen);
    printFlyer();
}
