#pragma once

#include <QString>

class EntryView;
class MessageBox;
class Printer;

// The sales flyer of the property on the entry screen: one JIS B4 page in
// landscape, drawn through the Printer interface only.
//
// The page grid. Every position is in twips (1/1440 inch) from the top-left
// corner of the printable area, x to the right, y downwards; font sizes are in
// points. The page is 364 x 257 mm (20636 x 14570 twips); the layout uses
// x 300..20030 and y 900..14030.
//  - Frame: bands 30 twips thick made of 30 strokes 1 twip wide, right of
//    x 300, 9000 and 20000 and below y 900 and 14000. The band right of x 9000
//    splits the page into the particulars half and the map half.
//  - Left half: the table box (500, 1300)-(8850, 13700); the title "売り土地"
//    at (3250, 1400), 29 pt, above the title rule at y 2050; 26 rows below it,
//    labels at x 550 and values at x 2600 (column divider at x 2550), each text
//    50 twips under its row's rule. Rules are 450 twips apart except 3850 to
//    4250 (400). Text is 19 pt.
//  - Right half: the empty header box (9500, 1300)-(19470, 2050); the caption
//    "物件地図" at (13400, 2600), 21 pt; the map picture at (9400, 3100) inside
//    the map box (9350, 3050)-(19650, 11050), scaled down to fit when larger;
//    the name block (9350, 11550)-(19650, 13550) split at y 12050, with the
//    number (21 pt) at (9400, 11600) and the name (45 pt) at (9400, 12250).
// Lines after the frame use pen setting 6. All text is bold "ＭＳ 明朝".

// Prints the flyer of `screen` on `printer`, or, when the printer's paper is
// not JIS B4 (code 12), shows "接続されているプリンターでは、印刷出来ません。"
// (critical, no title of its own) and draws nothing, not even a page set-up.
// Reads the screen's texts and picture as they stand now. Failures of the
// printer (PlatformError) pass to the caller; the page is then abandoned.
void Print_Flyer(Printer& printer, const EntryView& screen, MessageBox& messages);

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
