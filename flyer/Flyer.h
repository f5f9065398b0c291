#pragma once

#include <QString>

class EntryView;
class MessageBox;
class Printer;

// The sales flyer of the property on the entry screen: one JIS B4 page in
// landscape, drawn through the Printer interface only.

// Prints the flyer of `screen` on `printer`, or, when the printer's paper is
// not JIS B4, shows "接続されているプリンターでは、印刷出来ません。" and prints
// nothing. Reads the screen's texts and picture as they stand now.
void Print_Flyer(Printer& printer, const EntryView& screen, MessageBox& messages);

// Sets the current position to (x, y) twips and prints `text` there.
void Print_At(Printer& printer, int x, int y, const QString& text);

// The unit sign to print after `text` for unit kind `kind` (1 円, 2 坪, 3 ㎡),
// or an empty string when the text is empty, already holds the sign, or the
// kind has no sign.
QString Unit_Suffix(const QString& text, int kind);

// Draws the screen's map picture at its own size and the map box; draws
// nothing when the screen holds no picture.
void Print_Map_Image(Printer& printer, const EntryView& screen);
