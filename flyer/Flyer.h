#pragma once

#include <QSizeF>
#include <QString>

class EntryView;
class MessageBox;
class Printer;

// The sales flyer of the property on the entry screen: one JIS B4 page in
// landscape (364 x 257 mm), drawn through the Printer interface only.
// Positions are twips (1/1440 inch) from the top-left corner of the printable
// area, x to the right, y downwards; font sizes are points. The layout itself
// (frame, particulars rows, map box, name block, sizes) is the tables at the
// top of Flyer.cpp, and nowhere else.

// Prints the flyer of `screen` on `printer`, or, when the printer's paper is
// not JIS B4 (code 12), shows "接続されているプリンターでは、印刷出来ません。"
// (critical, no title of its own; the printer's paperNote() on a line of its
// own after it) and draws nothing, not even a page set-up.
// Reads the screen's texts and picture as they stand now. A value, the
// number or the name that does not fit its cell is drawn smaller, then on
// two lines, then cut with 「…」, never across a rule or the frame (measured
// with Printer::measureText); one that fits is printed as it stands. Failures
// of the printer (PlatformError) pass to the caller; the page is then
// abandoned.
void Print_Flyer(Printer& printer, const EntryView& screen, MessageBox& messages);

// The paper check of Print_Flyer: true when the printer's paper is JIS B4;
// otherwise shows "接続されているプリンターでは、印刷出来ません。" (critical),
// followed by the printer's paperNote() on a line of its own when it has one,
// and returns false.
bool Flyer_Paper_Ready(Printer& printer, MessageBox& messages);

// The page of Print_Flyer without the paper check, the document name or the
// end of the document: the page set-up and everything drawn on the page, on
// the printer's current page. Several flyers make one document with
// Printer::newPage between them.
void Draw_Flyer_Page(Printer& printer, const EntryView& screen);

// What the flyer of `screen` is called (the print job, the PDF file): the
// number and the location joined by "_", either alone when the other is
// blank, "売り土地" when both are.
QString Flyer_Document_Name(const EntryView& screen);

// Sets the current position to (x, y) twips and prints `text` there: the top
// of its line box at y.
void Print_At(Printer& printer, int x, int y, const QString& text);

// The unit sign to print after `text` for unit kind `kind` (1 円, 2 坪, 3 ㎡),
// or an empty string when the text is empty, already holds the sign anywhere
// (exact character, no case or width folding: "m2" is not "㎡"), or the kind
// has no sign.
QString Unit_Suffix(const QString& text, int kind);

// Draws the screen's map picture with its top-left corner at (9400, 3100),
// then the map box over its edges; draws nothing at all when the screen holds
// no picture. A picture that fits within the box (right edge at most 19650,
// bottom at most 11050 at its own size, Printer::pictureSizeTwips) is drawn
// at its own size; a larger one is scaled down, keeping its proportions, until
// it fits. It is never scaled up, centred or clipped.
void Print_Map_Image(Printer& printer, const EntryView& screen);

// The largest size a map prints at, twips: the room from its corner to the
// map box's far edges (19650 - 9400 by 11050 - 3100).
QSizeF Flyer_Map_Room();
