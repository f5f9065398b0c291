#include "flyer/Flyer.h"

#include "model/EntryView.h"
#include "model/PropertyRecord.h"
#include "platform/Fonts.h"
#include "platform/MessageBox.h"
#include "platform/Printer.h"

#include <QList>
#include <QScopeGuard>
#include <QStringList>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

const QString kWrongPaper = QStringLiteral("接続されているプリンターでは、印刷出来ません。");
const QString kTitle = QStringLiteral("売り土地");
const QString kMapCaption = QStringLiteral("物件地図");

// Unit kinds of Unit_Suffix.
constexpr int kNoUnit = 0;
constexpr int kYen = 1;
constexpr int kTsubo = 2;
constexpr int kSquareMetre = 3;

// Frame: 30 strokes 1 twip apart per side (twips).
constexpr int kFrameStrokes = 30;
constexpr int kFrameLeft = 300;
constexpr int kFrameCentre = 9000;
constexpr int kFrameRight = 20000;
constexpr int kFrameTop = 900;
constexpr int kFrameBottom = 14000;
constexpr int kFrameRightEdge = kFrameRight + kFrameStrokes; // 20030

// Particulars table (twips).
constexpr int kTableLeft = 500;
constexpr int kTableTop = 1300;
constexpr int kTableRight = 8850;
constexpr int kTableBottom = 13700;
constexpr int kColumnDivider = 2550;
constexpr int kTitleRule = 2050;
constexpr int kLabelX = 550;
constexpr int kValueX = 2600;
constexpr int kNoRule = -1;

// The only pen setting the page uses: lines after the frame.
constexpr int kPenSetting = 6;

// Font sizes (points).
constexpr float kTitleSize = 29;
constexpr float kCaptionSize = 21;
constexpr float kParticularsSize = 19;
constexpr float kNumberSize = 21;
constexpr float kNameSize = 45;

struct Row
{
    int ruleY; // twips; kNoRule for the row under the title rule
    int textY; // twips; rule y + 50
    const char16_t* label; // nullptr: no label
    int box; // Tbox index of the value
    int unitKind;
};

// Labels of a group's later rows start with two ideographic spaces and one
// ordinary space, so their word stands under the second word of the first.
constexpr Row kRows[] = {
    { kNoRule, 2100, u"価格", 0, kYen },
    { 2500, 2550, u"所在", 1, kNoUnit },
    { 2950, 3000, u"交通", 2, kNoUnit },
    { 3400, 3450, u"土地面積", 3, kSquareMetre },
    { 3850, 3900, nullptr, 4, kTsubo },
    { 4250, 4300, u"建物面積", 5, kSquareMetre }, // 400 above, not 450
    { 4700, 4750, nullptr, 6, kTsubo },
    { 5150, 5200, u"地目 登記", 7, kNoUnit },
    { 5600, 5650, u"\u3000\u3000 現状", 8, kNoUnit },
    { 6050, 6100, u"建物 構造", 9, kNoUnit },
    { 6500, 6550, u"\u3000\u3000 工法", 10, kNoUnit },
    { 6950, 7000, u"用途地域", 11, kNoUnit },
    { 7400, 7450, u"建ぺい率", 12, kNoUnit },
    { 7850, 7900, u"容積率", 13, kNoUnit },
    { 8300, 8350, u"道路 種類", 14, kNoUnit },
    { 8750, 8800, u"\u3000\u3000 方位", 15, kNoUnit },
    { 9200, 9250, u"\u3000\u3000 幅員", 16, kNoUnit },
    { 9650, 9700, u"\u3000\u3000 間口", 17, kNoUnit },
    { 10100, 10150, u"設備 水道", 18, kNoUnit },
    { 10550, 10600, u"\u3000\u3000 電気", 19, kNoUnit },
    { 11000, 11050, u"\u3000\u3000 排水", 20, kNoUnit },
    { 11450, 11500, u"\u3000\u3000 ガス", 21, kNoUnit },
    { 11900, 11950, u"引渡し時期", 22, kNoUnit },
    { 12350, 12400, u"備考", 23, kNoUnit },
    { 12800, 12850, u"取引形態", 24, kNoUnit },
    { 13250, 13300, u"仲介料", 25, kNoUnit },
};

// Where a text may stand (twips): from its anchor to `right`, and between
// `top` and `bottom`, which keep clear of the rules above and below by half
// a line's width (and a twip).
struct Cell
{
    int right, top, bottom;
};
constexpr int kRuleClearance = 8;
constexpr int kValueRight = kTableRight - 50; // as far from the table's edge as values are from the divider

// Right half (twips).
constexpr int kHeaderBox[] = { 9500, 1300, 19470, 2050 };
constexpr int kCaptionX = 13400, kCaptionY = 2600;
constexpr int kTitleX = 3250, kTitleY = 1400;
constexpr int kNameBlock[] = { 9350, 11550, 19650, 13550 };
constexpr int kNameBlockRuleY = 12050;
constexpr int kNumberX = 9400, kNumberY = 11600;
constexpr int kNameX = 9400, kNameY = 12250;
constexpr int kMapX = 9400, kMapY = 3100;
constexpr int kMapBox[] = { 9350, 3050, 19650, 11050 };
constexpr Cell kNumberCell = { kNameBlock[2] - 50, kNameBlock[1] + kRuleClearance, kNameBlockRuleY - kRuleClearance };
constexpr Cell kNameCell = { kNameBlock[2] - 50, kNameBlockRuleY + kRuleClearance, kNameBlock[3] - kRuleClearance };

// Fitting a text into its cell: sizes go down in half points; what is
// measured of a text is at most its first characters, which is more than
// two lines of any cell hold.
constexpr float kSizeStep = 0.5f;
constexpr qsizetype kMeasuredLength = 1000;
const QString kEllipsis = QStringLiteral("…");

QString unitSign(int kind)
{
    switch (kind) {
    case kYen:
        return QStringLiteral("円");
    case kTsubo:
        return QStringLiteral("坪");
    case kSquareMetre:
        return QStringLiteral("㎡");
    default:
        return QString();
    }
}

// What the job or the PDF file is called: the number and the location.
QString documentName(const EntryView& screen)
{
    QStringList parts;
    for (int index : { kNoFudousanIndex, kSyozaiIndex }) {
        const QString part = screen.boxText(index).trimmed();
        if (!part.isEmpty())
            parts << part;
    }
    return parts.isEmpty() ? kTitle : parts.join(QLatin1Char('_'));
}

void drawFrame(Printer& printer)
{
    for (int i = 1; i <= kFrameStrokes; ++i) {
        printer.drawLine(kFrameLeft + i, kFrameTop, kFrameLeft + i, kFrameBottom);
        printer.drawLine(kFrameCentre + i, kFrameTop, kFrameCentre + i, kFrameBottom);
        printer.drawLine(kFrameRight + i, kFrameTop, kFrameRight + i, kFrameBottom);
        printer.drawLine(kFrameLeft, kFrameTop + i, kFrameRightEdge, kFrameTop + i);
        printer.drawLine(kFrameLeft, kFrameBottom + i, kFrameRightEdge, kFrameBottom + i);
    }
}

void drawBox(Printer& printer, const int (&corners)[4])
{
    printer.drawBox(corners[0], corners[1], corners[2], corners[3]);
}

// The cell of particulars row `row`: between its rule (the title rule for
// the first) and the next one (the table's bottom for the last).
Cell rowCell(std::size_t row)
{
    const int top = row == 0 ? kTitleRule : kRows[row].ruleY;
    const int bottom = row + 1 < std::size(kRows) ? kRows[row + 1].ruleY : kTableBottom;
    return Cell { kValueRight, top + kRuleClearance, bottom - kRuleClearance };
}

float roundedDown(double points)
{
    return float(std::floor(points / kSizeStep) * kSizeStep);
}

void printAt(Printer& printer, double x, double y, const QString& text)
{
    printer.setCurrentPosition(float(x), float(y));
    printer.printText(text);
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QChar(0x3000);
}

QString withoutTrailingBlanks(QString text)
{
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

QString withoutLeadingBlanks(const QString& text)
{
    qsizetype start = 0;
    while (start < text.size() && isBlank(text.at(start)))
        ++start;
    return text.mid(start);
}

// The places between two characters as a reader sees them, after the first.
QList<qsizetype> characterEnds(const QString& text)
{
    QList<qsizetype> ends;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    while (characters.toNextBoundary() > 0)
        ends << characters.position();
    return ends;
}

// The longest beginning of `text` (cut between two characters) no wider than
// `room` in the current font; at least one character.
qsizetype longestFitting(Printer& printer, const QString& text, double room)
{
    const QList<qsizetype> ends = characterEnds(text);
    if (ends.isEmpty())
        return 0;
    qsizetype low = 0, high = ends.size() - 1; // ends[low] is known to be kept
    if (printer.measureText(text.left(ends[high])).width <= room)
        return ends[high];
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (printer.measureText(text.left(ends[middle])).width <= room)
            low = middle;
        else
            high = middle - 1;
    }
    return ends[low];
}

// Where the first of two lines ends: the longest beginning that fits, taken
// back to the last place a line may break (after a blank, between two kanji,
// not before 」 or 、 ...) when that keeps at least half of it. A break after
// a full-width blank, which agents put between the parts of a line (a name
// and its telephone number), comes first, then one after any blank.
qsizetype firstLineEnd(Printer& printer, const QString& text, double room)
{
    const qsizetype fits = longestFitting(printer, text, room);
    if (fits >= text.size())
        return fits;
    qsizetype afterWideBlank = 0, afterBlank = 0, anyBreak = 0;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    while (breaks.toNextBoundary() > 0 && breaks.position() <= fits) {
        const qsizetype at = breaks.position();
        anyBreak = at;
        if (isBlank(text.at(at - 1)))
            afterBlank = at;
        if (text.at(at - 1) == QChar(0x3000))
            afterWideBlank = at;
    }
    for (const qsizetype end : { afterWideBlank, afterBlank, anyBreak }) {
        if (end * 2 >= fits)
            return end;
    }
    return fits;
}

// The beginning of `text` that fits `room` with 「…」 after it, and that sign.
QString cutWithEllipsis(Printer& printer, const QString& text, double room)
{
    const double sign = printer.measureText(kEllipsis).width;
    QString kept = withoutTrailingBlanks(text.left(longestFitting(printer, text, room - sign)));
    // Shaping may join the sign to what stands before it.
    while (!kept.isEmpty() && printer.measureText(kept + kEllipsis).width > room)
        kept = withoutTrailingBlanks(kept.left(characterEnds(kept).value(characterEnds(kept).size() - 2, 0)));
    return kept + kEllipsis;
}

// Prints `text` at (x, y) in the current font, of `size` points, keeping it
// within `cell`. A text that fits is printed there as it is. One that does
// not is drawn smaller on one line, its baseline where it would have been,
// down to the size at which two lines fit the cell's height; below that it
// takes two lines of that size, centred in the cell, broken where a line may
// break; what still does not fit ends with 「…」. The font is `size` again
// afterwards.
void printFitted(Printer& printer, int x, int y, const QString& text, float size, const Cell& cell)
{
    const double room = cell.right - x;
    QString measured = text;
    if (text.size() > kMeasuredLength) {
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
        characters.setPosition(kMeasuredLength);
        if (!characters.isAtBoundary())
            characters.toPreviousBoundary();
        measured = text.left(std::max<qsizetype>(1, characters.position()));
    }
    const bool whole = measured.size() == text.size();
    const Printer::TextExtent atSize = printer.measureText(measured);
    if (whole && atSize.width <= room) {
        Print_At(printer, x, y, text);
        return;
    }

    const double lineHeight = atSize.ascent + atSize.descent; // at `size`
    const float twoLines = std::min(size, roundedDown((cell.bottom - cell.top) / 2.0 / lineHeight * size));
    const auto restore = qScopeGuard([&] { printer.setFontSize(size); });

    if (whole) {
        for (float smaller = std::min(size - kSizeStep, roundedDown(size * room / atSize.width)); smaller >= twoLines;
             smaller -= kSizeStep) {
            printer.setFontSize(smaller);
            const Printer::TextExtent line = printer.measureText(text);
            if (line.width > room)
                continue;
            const double height = line.ascent + line.descent;
            const double top
                = std::max<double>(cell.top, std::min<double>(y + atSize.ascent - line.ascent, cell.bottom - height));
            printAt(printer, x, top, text);
            return;
        }
    }

    printer.setFontSize(twoLines);
    const Printer::TextExtent line = printer.measureText(measured);
    const double height = line.ascent + line.descent;
    const double top = cell.top + (cell.bottom - cell.top - 2 * height) / 2;
    const qsizetype end = firstLineEnd(printer, measured, room);
    const QString second = withoutLeadingBlanks(measured.mid(end));
    printAt(printer, x, top, withoutTrailingBlanks(measured.left(end)));
    if (second.isEmpty())
        return;
    const bool fits = whole && printer.measureText(second).width <= room;
    printAt(printer, x, top + height, fits ? second : cutWithEllipsis(printer, second, room));
}

} // namespace

void Print_Flyer(Printer& printer, const EntryView& screen, MessageBox& messages)
{
    if (!Flyer_Paper_Ready(printer, messages))
        return;
    printer.setDocumentName(documentName(screen));
    Draw_Flyer_Page(printer, screen);
    printer.endDocument();
}

bool Flyer_Paper_Ready(Printer& printer, MessageBox& messages)
{
    if (printer.paperSize() == Printer::kPaperJisB4)
        return true;
    const QString note = printer.paperNote();
    messages.show(note.isEmpty() ? kWrongPaper : kWrongPaper + QLatin1Char('\n') + note, MB_Critical);
    return false;
}

void Draw_Flyer_Page(Printer& printer, const EntryView& screen)
{
    printer.setPaperSize(Printer::kPaperJisB4);
    printer.setOrientation(Printer::kOrientationLandscape);
    printer.setFontName(kFontMincho);

    drawFrame(printer);
    printer.setPenSetting(kPenSetting);

    printer.drawBox(kTableLeft, kTableTop, kTableRight, kTableBottom);
    printer.drawLine(kColumnDivider, kTitleRule, kColumnDivider, kTableBottom);

    printer.setFontBold(true);
    printer.setFontSize(kTitleSize);
    Print_At(printer, kTitleX, kTitleY, kTitle);
    printer.drawLine(kTableLeft, kTitleRule, kTableRight, kTitleRule);

    printer.setFontSize(kCaptionSize);
    Print_At(printer, kCaptionX, kCaptionY, kMapCaption);

    printer.setFontSize(kParticularsSize);
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        const Row& row = kRows[i];
        if (row.ruleY != kNoRule)
            printer.drawLine(kTableLeft, row.ruleY, kTableRight, row.ruleY);
        if (row.label)
            Print_At(printer, kLabelX, row.textY, QString::fromUtf16(row.label));
        const QString value = screen.boxText(row.box);
        printFitted(
            printer, kValueX, row.textY, value + Unit_Suffix(value, row.unitKind), kParticularsSize, rowCell(i));
    }

    drawBox(printer, kHeaderBox);
    drawBox(printer, kNameBlock);
    printer.drawLine(kNameBlock[0], kNameBlockRuleY, kNameBlock[2], kNameBlockRuleY);

    printer.setFontSize(kNumberSize);
    printFitted(printer, kNumberX, kNumberY, screen.boxText(kNoFudousanIndex), kNumberSize, kNumberCell);
    printer.setFontSize(kNameSize);
    printFitted(printer, kNameX, kNameY, screen.boxText(kNameTextIndex), kNameSize, kNameCell);
    printer.setFontBold(false);

    Print_Map_Image(printer, screen);
}

QString Flyer_Document_Name(const EntryView& screen)
{
    return documentName(screen);
}

void Print_At(Printer& printer, int x, int y, const QString& text)
{
    printer.setCurrentPosition(float(x), float(y));
    printer.printText(text);
}

QString Unit_Suffix(const QString& text, int kind)
{
    if (text.isEmpty())
        return QString();
    const QString sign = unitSign(kind);
    if (sign.isEmpty())
        return QString();
    // The sign may stand anywhere, spaces around it or not; only the exact
    // character counts (a trimmed single character equals the sign exactly
    // when it is the sign).
    if (text.contains(sign, Qt::CaseSensitive))
        return QString();
    return sign;
}

void Print_Map_Image(Printer& printer, const EntryView& screen)
{
    const QImage picture = screen.picture();
    if (picture.isNull())
        return;
    // A map larger than the room from its corner to the box's far edges is
    // scaled down to fit, keeping its proportions, from the same corner;
    // otherwise it would run over the name block and off the page.
    QSizeF size = Printer::pictureSizeTwips(picture);
    const QSizeF room = Flyer_Map_Room();
    if (size.width() > room.width() || size.height() > room.height())
        size = size.scaled(room, Qt::KeepAspectRatio);
    printer.drawPicture(picture, kMapX, kMapY, float(size.width()), float(size.height()));
    drawBox(printer, kMapBox);
}

QSizeF Flyer_Map_Room()
{
    return QSizeF(kMapBox[2] - kMapX, kMapBox[3] - kMapY);
}
