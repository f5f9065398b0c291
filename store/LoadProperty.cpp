// Loading: a stored property put back into the entry screen.
#include "store/PropertyStore.h"

#include "model/EntryView.h"
#include "model/PropertyRecord.h"
#include "platform/PictureLoader.h"

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
        // An empty path clears the picture; a file that does not load keeps it.
        screen.setPicture(m_pictures.load(*path));
    });
    return LoadResult::Loaded;
}
