#pragma once

#include <QStringList>

#include <functional>

class MessageBox;
class Printer;
class PropertyStore;

// What Print_Flyer_Batch did.
struct FlyerBatchResult
{
    int printed = 0; // pages in the document delivered
    int gone = 0; // rows that were no longer there, skipped
    bool cancelled = false; // stopped between pages: nothing delivered
    bool refused = false; // the printer's paper is not JIS B4: nothing drawn
};

// The flyers of the stored rows `rowKeys` as one document on `printer`, one
// page each, in this order. Each row is loaded through the store (its map
// picture through the store's picture loader) into an empty property, as a
// new entry screen would be, and drawn exactly as 印刷 draws it. A row that
// is gone is skipped and counted. The document is called after the first
// flyer printed and, with more than one, the number of flyers
// ("No.7_東京都…_3件").
//
// `beforePage(done)` runs before each row is loaded (done = rows handled so
// far) and once more before the document is delivered (done = the number of
// rows); when it returns false the batch stops and nothing is delivered.
// With a paper other than JIS B4 the printer gets the paper message of
// Print_Flyer and nothing is drawn. When every row is gone nothing is
// delivered. Registers nothing; the store's map path stays as it was.
// Failures of the printer or the database throw PlatformError, and nothing
// is delivered.
FlyerBatchResult Print_Flyer_Batch(PropertyStore& store, Printer& printer, const QStringList& rowKeys,
    MessageBox& messages, const std::function<bool(int done)>& beforePage);
