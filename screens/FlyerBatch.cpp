#include "screens/FlyerBatch.h"

#include "flyer/Flyer.h"
#include "model/EntryView.h"
#include "model/PropertyRecord.h"
#include "platform/PlatformError.h"
#include "platform/Printer.h"
#include "store/PropertyStore.h"

#include <QImage>

#include <array>

namespace {

// A property as a new entry screen holds it once loaded: empty boxes and no
// picture until the row fills them.
class LoadedProperty : public EntryEditor
{
public:
    QString boxText(int index) const override { return m_texts.at(size_t(index)); }
    QImage picture() const override { return m_picture; }
    void setBoxText(int index, const QString& text) override { m_texts.at(size_t(index)) = text; }
    void setPicture(const QImage& picture) override { m_picture = picture; }

private:
    std::array<QString, kBoxCount> m_texts;
    QImage m_picture;
};

// Puts the store's map path back however the batch ends.
class KeepMapPath
{
public:
    explicit KeepMapPath(PropertyStore& store)
        : m_store(store)
        , m_path(store.mapImagePath())
    {
    }
    ~KeepMapPath() { m_store.setMapImagePath(m_path); }
    KeepMapPath(const KeepMapPath&) = delete;
    KeepMapPath& operator=(const KeepMapPath&) = delete;

private:
    PropertyStore& m_store;
    QString m_path;
};

// The batch is called after its first flyer and the number of flyers.
QString documentName(const QString& first, int flyers)
{
    return flyers == 1 ? first : QStringLiteral("%1_%2件").arg(first).arg(flyers);
}

} // namespace

FlyerBatchResult Print_Flyer_Batch(PropertyStore& store, Printer& printer, const QStringList& rowKeys,
    MessageBox& messages, const std::function<bool(int done)>& beforePage)
{
    FlyerBatchResult result;
    if (!Flyer_Paper_Ready(printer, messages)) {
        result.refused = true;
        return result;
    }
    const KeepMapPath keep(store);
    QString firstName;
    for (int i = 0; i < rowKeys.size(); ++i) {
        if (beforePage && !beforePage(i)) {
            result.cancelled = true;
            return result;
        }
        // A new property for every row: a NULL column keeps an empty box,
        // never the text of the row before.
        LoadedProperty property;
        switch (store.Load_Property(rowKeys.at(i), property)) {
        case PropertyStore::LoadResult::Loaded:
            break;
        case PropertyStore::LoadResult::RowGone:
            ++result.gone;
            continue;
        case PropertyStore::LoadResult::QueryFailed:
            throw PlatformError(
                QStringLiteral("物件を読み込めませんでした。チラシは印刷されませんでした。\n") + store.lastFailure());
        }
        if (result.printed == 0) {
            firstName = Flyer_Document_Name(property);
        } else {
            // The document is begun with the first newPage, under the name it
            // has then; rows found gone later change only the final name.
            if (result.printed == 1)
                printer.setDocumentName(documentName(firstName, result.printed + int(rowKeys.size()) - i));
            printer.newPage();
        }
        Draw_Flyer_Page(printer, property);
        ++result.printed;
    }
    if (result.printed == 0)
        return result;
    if (beforePage && !beforePage(int(rowKeys.size()))) {
        result.cancelled = true;
        return result;
    }
    printer.setDocumentName(documentName(firstName, result.printed));
    printer.endDocument();
    return result;
}
