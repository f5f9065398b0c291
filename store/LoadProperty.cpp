// Loading: a stored property put back into the entry screen.
#include "store/PropertyStore.h"

#include "model/EntryView.h"
#include "model/PropertyRecord.h"
#include "platform/PictureLoader.h"

#include <QDir>

#include <exception>

namespace {

// Runs one unit of the load; a unit that fails is skipped without a word.
template <typename Unit> void quietly(Unit&& unit)
{
    try {
        unit();
    } catch (const std::exception&) {
    }
}

// What the picture box shows for a stored map that cannot be shown.
QString mapNotice(const PictureError& error)
{
    const QString file = QDir::toNativeSeparators(error.path());
    if (error.fault() == PictureFault::NotFound)
        return QStringLiteral("地図のファイルが見つかりません:\n%1").arg(file);
    return QStringLiteral("地図を表示できません（%1）:\n%2").arg(pictureFaultInShort(error.fault()), file);
}

} // namespace

PropertyStore::LoadResult PropertyStore::Load_Property(const QString& rowKey, EntryEditor& screen)
{
    // A failed query leaves an older row set current: reading it would fill
    // the screen with some other property.
    if (!Run_Query(QStringLiteral("SELECT * FROM Fudousan WHERE %1 = ?").arg(connection().rowKeyColumn()), { rowKey }))
        return LoadResult::QueryFailed;

    RowSet& row = recordset();
    if (row.atEnd())
        return LoadResult::RowGone;
    for (int i = 0; i < kBoxCount; ++i) {
        quietly([&] {
            // NULL keeps the box's text.
            if (const std::optional<QString> value = row.field(propertyColumn(i)))
                screen.setBoxText(i, *value);
        });
    }

    quietly([&] {
        const std::optional<QString> path = row.field(propertyColumn(kMadoriIndex));
        if (!path)
            return;
        // The map is the loaded property's own, whether or not its file still
        // loads: registering the property again keeps its map.
        Map_Image_Path = *path;
        // An empty path clears the picture; a file that does not load keeps
        // it, and the picture box says which file and why, without a message
        // (the agent opened the property to see it, not to hear about it).
        try {
            screen.setPicture(m_pictures.load(*path));
        } catch (const PictureError& error) {
            screen.setMapNotice(mapNotice(error));
            throw;
        }
    });
    return LoadResult::Loaded;
}
