// The flyer page as a sequence of printer operations, and the unit rule.
#include "flyer/Flyer.h"
#include "platform/Fonts.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/fakes/RecordingPrinter.h"
#include "tests/support/FlyerSample.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QTest>

namespace {

// What the page must record for `screen`, written out from the page layout:
// positions in twips, sizes in points.
// `map` is the size the map is drawn at, in twips; empty: no map.
QStringList expectedPage(const EntryView& screen, QSizeF map = QSizeF())
{
    const bool withMap = !map.isEmpty();
    QStringList ops = { "paperSize", "setPaperSize 12", "setOrientation 2", "font ＭＳ 明朝" };
    for (int i = 1; i <= 30; ++i) {
        ops << QString("line %1 900 %1 14000").arg(300 + i) << QString("line %1 900 %1 14000").arg(9000 + i)
            << QString("line %1 900 %1 14000").arg(20000 + i) << QString("line 300 %1 20030 %1").arg(900 + i)
            << QString("line 300 %1 20030 %1").arg(14000 + i);
    }
    ops << "pen 6"
        << "box 500 1300 8850 13700"
        << "line 2550 2050 2550 13700"
        << "bold 1"
        << "size 29"
        << "at 3250 1400"
        << "text 売り土地"
        << "line 500 2050 8850 2050"
        << "size 21"
        << "at 13400 2600"
        << "text 物件地図"
        << "size 19";

    struct Row
    {
        int ruleY;
        QString label;
        QString unit;
    };
    const QString ideo = QString(QChar(0x3000)) + QChar(0x3000) + QChar(' ');
    const QList<Row> rows = {
        { 0, "価格", "円" },
        { 2500, "所在", "" },
        { 2950, "交通", "" },
        { 3400, "土地面積", "㎡" },
        { 3850, "", "坪" },
        { 4250, "建物面積", "㎡" },
        { 4700, "", "坪" },
        { 5150, "地目 登記", "" },
        { 5600, ideo + "現状", "" },
        { 6050, "建物 構造", "" },
        { 6500, ideo + "工法", "" },
        { 6950, "用途地域", "" },
        { 7400, "建ぺい率", "" },
        { 7850, "容積率", "" },
        { 8300, "道路 種類", "" },
        { 8750, ideo + "方位", "" },
        { 9200, ideo + "幅員", "" },
        { 9650, ideo + "間口", "" },
        { 10100, "設備 水道", "" },
        { 10550, ideo + "電気", "" },
        { 11000, ideo + "排水", "" },
        { 11450, ideo + "ガス", "" },
        { 11900, "引渡し時期", "" },
        { 12350, "備考", "" },
        { 12800, "取引形態", "" },
        { 13250, "仲介料", "" },
    };
    for (int box = 0; box < rows.size(); ++box) {
        const Row& row = rows[box];
        const int textY = row.ruleY ? row.ruleY + 50 : 2100;
        if (row.ruleY)
            ops << QString("line 500 %1 8850 %1").arg(row.ruleY);
        if (!row.label.isEmpty())
            ops << QString("at 550 %1").arg(textY) << "text " + row.label;
        const QString value = screen.boxText(box);
        ops << QString("at 2600 %1").arg(textY) << "text " + value + (value.isEmpty() ? QString() : row.unit);
    }
    ops << "box 9500 1300 19470 2050"
        << "box 9350 11550 19650 13550"
        << "line 9350 12050 19650 12050"
        << "size 21"
        << "at 9400 11600"
        << "text " + screen.boxText(26) << "size 45"
        << "at 9400 12250"
        << "text " + screen.boxText(27) << "bold 0";
    if (withMap)
        ops << QString("picture 9400 3100 %1 %2").arg(map.width()).arg(map.height()) << "box 9350 3050 19650 11050";
    ops << "end";
    return ops;
}

void compareOps(const QStringList& actual, const QStringList& expected)
{
    for (int i = 0; i < std::min(actual.size(), expected.size()); ++i) {
        if (actual[i] != expected[i])
            QFAIL(qPrintable(QString("operation %1: got \"%2\", expected \"%3\"").arg(i).arg(actual[i], expected[i])));
    }
    QCOMPARE(actual.size(), expected.size());
}

// The `count` operations after the first one that is `marker`.
QStringList opsAfter(const QStringList& ops, const QString& marker, int count)
{
    const qsizetype at = ops.indexOf(marker);
    return at < 0 ? QStringList { "no " + marker } : ops.mid(at + 1, count);
}

} // namespace

class TestFlyer : public QObject
{
    Q_OBJECT

private slots:
    void unitSuffix_data();
    void unitSuffix();
    void fullPageWithMap();
    void pageWithoutMapHasNoMapBox();
    void emptyValuesGetNoUnit();
    void aMapLargerThanItsBoxIsScaledDownToFit_data();
    void aMapLargerThanItsBoxIsScaledDownToFit();
    void refusesPaperOtherThanJisB4_data();
    void refusesPaperOtherThanJisB4();
    void namesTheDocumentAfterNumberAndLocation();
    void printerFailurePassesToCaller();
    void aTextThatDoesNotFitStaysInItsCell_data();
    void aTextThatDoesNotFitStaysInItsCell();
};

void TestFlyer::unitSuffix_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("sign");

    QTest::newRow("price gets yen") << "2980万" << 1 << "円";
    QTest::newRow("price with yen") << "2980万円" << 1 << "";
    QTest::newRow("yen in front") << "円2980" << 1 << "";
    QTest::newRow("yen between spaces") << "2980万 円 " << 1 << "";
    QTest::newRow("yen between ideographic spaces") << "2980万　円　" << 1 << "";
    QTest::newRow("empty price") << "" << 1 << "";
    QTest::newRow("empty tsubo") << "" << 2 << "";
    QTest::newRow("empty square metres") << "" << 3 << "";
    QTest::newRow("square metres") << "150.25" << 3 << "㎡";
    QTest::newRow("with square metre sign") << "150.25㎡" << 3 << "";
    QTest::newRow("m2 is not the sign") << "150.25m2" << 3 << "㎡";
    QTest::newRow("m superscript 2 is not the sign") << "150.25m²" << 3 << "㎡";
    QTest::newRow("tsubo") << "45.5" << 2 << "坪";
    QTest::newRow("tsubo with sign") << "約45坪" << 2 << "";
    QTest::newRow("another kind's sign") << "45円" << 2 << "坪";
    QTest::newRow("kind without sign") << "2980" << 0 << "";
    QTest::newRow("unknown kind") << "2980" << 4 << "";
    QTest::newRow("a lone space") << " " << 1 << "円";
}

void TestFlyer::unitSuffix()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QString, sign);
    QCOMPARE(Unit_Suffix(text, kind), sign);
}

void TestFlyer::fullPageWithMap()
{
    SampleEntryView screen;
    screen.fillWithSample();
    screen.setBoxText(27, "閑静な住宅街"); // every text fits its cell
    screen.setBoxText(5, "98.5");
    screen.setBoxText(6, "29.8");
    const QImage map(120, 90, QImage::Format_RGB32);
    screen.setPicture(map);
    RecordingPrinter printer;
    RecordingMessageBox messages;

    Print_Flyer(printer, screen, messages);

    compareOps(printer.ops, expectedPage(screen, QSizeF(1800, 1350)));
    QCOMPARE(printer.pictures.size(), 1);
    QCOMPARE(printer.pictures[0].size(), map.size());
    QVERIFY(messages.shown.isEmpty());
}

void TestFlyer::pageWithoutMapHasNoMapBox()
{
    SampleEntryView screen;
    screen.fillWithSample();
    screen.setBoxText(27, "閑静な住宅街");
    RecordingPrinter printer;
    RecordingMessageBox messages;

    Print_Flyer(printer, screen, messages);

    compareOps(printer.ops, expectedPage(screen));
    QVERIFY(printer.pictures.isEmpty());
}

void TestFlyer::emptyValuesGetNoUnit()
{
    SampleEntryView screen; // every box empty
    screen.setBoxText(1, "所在地");
    RecordingPrinter printer;
    RecordingMessageBox messages;

    Print_Flyer(printer, screen, messages);

    compareOps(printer.ops, expectedPage(screen));
    for (const QString& op : printer.ops)
        QVERIFY2(op != "text 円" && op != "text 坪" && op != "text ㎡", qPrintable(op));
}

// The room from the map's corner (9400, 3100) to the box's far edges is
// 10250 x 7950 twips; 96 dpi is 15 twips a pixel.
void TestFlyer::aMapLargerThanItsBoxIsScaledDownToFit_data()
{
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QSizeF>("drawn"); // twips
    QTest::newRow("fits exactly") << QSize(1025, 795) << 144 << QSizeF(10250, 7950);
    QTest::newRow("wide") << QSize(2000, 1500) << 96 << QSizeF(10250, 7687.5);
    QTest::newRow("tall") << QSize(500, 1000) << 96 << QSizeF(3975, 7950);
    QTest::newRow("a little too wide") << QSize(690, 100) << 96 << QSizeF(10250, 10250.0 / 690 * 100);
}

void TestFlyer::aMapLargerThanItsBoxIsScaledDownToFit()
{
    QFETCH(QSize, pixels);
    QFETCH(int, dpi);
    QFETCH(QSizeF, drawn);
    QImage map(pixels, QImage::Format_RGB32);
    map.setDotsPerMeterX(qRound(dpi / 0.0254));
    map.setDotsPerMeterY(qRound(dpi / 0.0254));
    SampleEntryView screen;
    screen.fillWithSample();
    screen.setPicture(map);
    RecordingPrinter printer;
    RecordingMessageBox messages;

    Print_Flyer(printer, screen, messages);

    const QStringList picture = printer.ops.filter(QRegularExpression("^picture ")).join("").split(' ');
    QCOMPARE(picture.size(), 5);
    QCOMPARE(picture.mid(1, 2), QStringList({ "9400", "3100" }));
    QVERIFY2(qAbs(picture[3].toDouble() - drawn.width()) < 0.01 && qAbs(picture[4].toDouble() - drawn.height()) < 0.01,
        qPrintable(picture.join(' ')));
    QCOMPARE(printer.pictures[0].size(), pixels); // the whole picture, never cut
}

void TestFlyer::refusesPaperOtherThanJisB4_data()
{
    QTest::addColumn<int>("paper");
    QTest::newRow("A4") << 9;
    QTest::newRow("ISO B4") << 42;
    QTest::newRow("A3") << 8;
    QTest::newRow("size without a code") << 0;
}

void TestFlyer::refusesPaperOtherThanJisB4()
{
    QFETCH(int, paper);
    SampleEntryView screen;
    screen.fillWithSample();
    screen.setPicture(QImage(10, 10, QImage::Format_RGB32));
    RecordingPrinter printer;
    printer.paper = paper;
    RecordingMessageBox messages;

    Print_Flyer(printer, screen, messages);

    QCOMPARE(printer.ops, QStringList { "paperSize" });
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, QString("接続されているプリンターでは、印刷出来ません。"));
    QCOMPARE(messages.shown[0].style, 16);
    QCOMPARE(messages.shown[0].title, QString("Mirandel"));
}

void TestFlyer::namesTheDocumentAfterNumberAndLocation()
{
    SampleEntryView screen;
    screen.setBoxText(1, " 横浜市中区1-2 ");
    screen.setBoxText(26, "A-12");
    RecordingPrinter printer;
    RecordingMessageBox messages;
    Print_Flyer(printer, screen, messages);
    QCOMPARE(printer.documentName, QString("A-12_横浜市中区1-2"));

    screen.setBoxText(26, "");
    RecordingPrinter second;
    Print_Flyer(second, screen, messages);
    QCOMPARE(second.documentName, QString("横浜市中区1-2"));
}

void TestFlyer::printerFailurePassesToCaller()
{
    SampleEntryView screen;
    screen.fillWithSample();
    RecordingPrinter printer;
    printer.failAtOperation = 40;
    RecordingMessageBox messages;

    QVERIFY_THROWS_EXCEPTION(PlatformError, Print_Flyer(printer, screen, messages));
    QCOMPARE(printer.ops.size(), 40);
    QVERIFY(!printer.ops.contains("end"));
}

// The recording printer measures full-width characters as one em and others
// as half; its line box is one em. Values have 6200 twips (2600 to 8800),
// the number and name lines 10200 (9400 to 19600); a row's cell lies 8 twips
// inside its rules (434 twips high where they are 450 apart, so two lines of
// 10.5 points fit), the name's 1484 (two lines of 37 points).
void TestFlyer::aTextThatDoesNotFitStaysInItsCell_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marker"); // the operation before the value's
    QTest::addColumn<QStringList>("drawn");
    const QString earth = QString(QChar(0x571F)); // 土
    // 17 characters of 19 points are 6460 twips: 18 points fit, on the
    // label's baseline (0.88 em below the top of the line box).
    QTest::newRow("remarks a little too long")
        << 23 << "古家あり（現況渡し）・建築条件なし"
        << "text 備考"
        << QStringList { "size 18", "at 2600 12417.6", "text 古家あり（現況渡し）・建築条件なし", "size 19" };
    // 40 characters would need 7.5 points on one line: two lines of 10.5
    // points, 29 characters and the rest, centred between the rules at
    // 2950 and 3400.
    QTest::newRow("access on two lines") << 2 << earth.repeated(40) << "text 交通"
                                         << QStringList { "size 10.5", "at 2600 2965", "text " + earth.repeated(29),
                                                "at 2600 3175", "text " + earth.repeated(11), "size 19" };
    QTest::newRow("what does not fit ends with an ellipsis")
        << 2 << earth.repeated(100) << "text 交通"
        << QStringList { "size 10.5", "at 2600 2965", "text " + earth.repeated(29), "at 2600 3175",
               "text " + earth.repeated(28) + "…", "size 19" };
    QTest::newRow("a pasted megabyte") << 2 << earth.repeated(1 << 20) << "text 交通"
                                       << QStringList { "size 10.5", "at 2600 2965", "text " + earth.repeated(29),
                                              "at 2600 3175", "text " + earth.repeated(28) + "…", "size 19" };
    // 20 ems of 45 points: two lines of 37 points, broken after the
    // full-width blank between the name and the number.
    QTest::newRow("name and telephone on the bottom line")
        << 27 << "株式会社クインタ不動産　TEL 047-123-4567"
        << "size 45"
        << QStringList { "size 37", "at 9400 12060", "text 株式会社クインタ不動産", "at 9400 12800",
               "text TEL 047-123-4567", "size 45", "bold 0" };
    // 28.5 ems of 21 points: 17.5 points fit the number band.
    QTest::newRow("a long number") << 26 << "No.2024-017 担当 山田（宅地建物取引士）携帯 090-1234-5678"
                                   << "line 9350 12050 19650 12050"
                                   << QStringList { "size 21", "size 17.5", "at 9400 11661.6",
                                          "text No.2024-017 担当 山田（宅地建物取引士）携帯 090-1234-5678", "size 21" };
}

void TestFlyer::aTextThatDoesNotFitStaysInItsCell()
{
    QFETCH(int, box);
    QFETCH(QString, text);
    QFETCH(QString, marker);
    QFETCH(QStringList, drawn);
    SampleEntryView screen;
    screen.fillWithSample();
    screen.setBoxText(27, "閑静な住宅街");
    screen.setBoxText(box, text);
    RecordingPrinter printer;
    RecordingMessageBox messages;

    Print_Flyer(printer, screen, messages);

    QCOMPARE(opsAfter(printer.ops, marker, int(drawn.size())), drawn);
}

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    registerFontSubstitutions();
    TestFlyer test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestFlyer.moc"
