// The flyer through the real paint path into a PDF file, checked with the
// poppler tools; paper codes, picture sizes and file naming of the back ends.
#include "flyer/Flyer.h"
#include "model/PropertyRecord.h"
#include "platform/Fonts.h"
#include "platform/PlatformError.h"
#include "platform/print/CupsPrinter.h"
#include "platform/print/PaperSizes.h"
#include "platform/print/QtPdfPrinter.h"
#include "platform/print/QtPrinterSource.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/support/FlyerSample.h"

#include <QDir>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

// One run of text on the page as pdftotext -bbox reports it, in twips.
struct Phrase
{
    QString text;
    double x, y, width, height;
};

QString run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// pdftotext splits words where the script changes (kanji, kana, digits);
// neighbouring words on one line with no gap are joined back into phrases.
QList<Phrase> phrases(const QString& pdf)
{
    static const QRegularExpression word(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    QList<Phrase> result;
    auto it = word.globalMatch(run("pdftotext", { "-bbox", pdf, "-" }));
    while (it.hasNext()) {
        const auto m = it.next();
        const double x0 = m.captured(1).toDouble() * 20, y0 = m.captured(2).toDouble() * 20;
        const double x1 = m.captured(3).toDouble() * 20, y1 = m.captured(4).toDouble() * 20;
        if (!result.isEmpty()) {
            Phrase& last = result.last();
            if (qAbs(last.y - y0) < 1 && qAbs(last.x + last.width - x0) < 2) {
                last.text += m.captured(5);
                last.width = x1 - last.x;
                continue;
            }
        }
        result.append({ m.captured(5), x0, y0, x1 - x0, y1 - y0 });
    }
    return result;
}

QString renderFlyer(const QString& folder, SampleEntryView& screen, RecordingMessageBox& messages)
{
    QtPdfPrinter printer(messages, folder);
    Print_Flyer(printer, screen, messages);
    return printer.writtenPath();
}

// The page printer's paint path into a picture of the page at 150 dpi.
class ImagePagePrinter : public QtPagePrinter
{
public:
    int paperSize() override { return kPaperJisB4; }
    QImage page;

protected:
    void printPage() override
    {
        constexpr double dpi = 150;
        const QSizeF inches = pageLayout().fullRect(QPageLayout::Inch).size();
        page = QImage((inches * dpi).toSize(), QImage::Format_RGB32);
        page.setDotsPerMeterX(qRound(dpi / 0.0254));
        page.setDotsPerMeterY(qRound(dpi / 0.0254));
        page.fill(Qt::white);
        QPainter painter(&page);
        paintPage(painter);
    }
};

QImage pageWithText(const QString& text, int x, int y, float points)
{
    ImagePagePrinter printer;
    printer.setPaperSize(Printer::kPaperJisB4);
    printer.setOrientation(Printer::kOrientationLandscape);
    printer.setFontName(kFontMincho);
    printer.setFontBold(true);
    printer.setFontSize(points);
    Print_At(printer, x, y, text);
    printer.endDocument();
    return printer.page;
}

bool havePoppler()
{
    return !QStandardPaths::findExecutable("pdftotext").isEmpty()
        && !QStandardPaths::findExecutable("pdffonts").isEmpty();
}

} // namespace

class TestFlyerPdf : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void paperCodes_data();
    void paperCodes();
    void pictureSize_data();
    void pictureSize();
    void textStandsWhereThePageSaysAtItsSize_data();
    void textStandsWhereThePageSaysAtItsSize();
    void longTextShowsAsFarAsThePageReaches_data();
    void longTextShowsAsFarAsThePageReaches();
    void pageIsJisB4LandscapeWithEmbeddedFonts();
    void typedTextExtractsExactly();
    void longTextsStayInsideTheirCells();
    void mapKeepsItsOwnSize();
    void aMapLargerThanTheBoxIsScaledDownToFit();
    void neverOverwritesAFile();
    void aFullDiskIsNamed();
    void withoutHomeThePdfGoesHomeByThePasswordDatabase();
    void safeFileName_data();
    void safeFileName();
    void abandonedPageLeavesNothing();
    void severalPagesAreOneFileAndAnAbandonedOneLeavesNothing();
    void aFullTemporaryFolderIsNamed();
    void sourceFallsBackToPdfWithoutPrinter();

private:
    QTemporaryDir m_dir;
    QString m_flyer; // the flyer with a map, rendered once
    QString m_mapImage; // the map drawn on it
};

void TestFlyerPdf::initTestCase()
{
    // No print server: this test's printer source must find no printer, also
    // on a machine with queues of its own.
    qputenv("CUPS_SERVER", QDir::temp().filePath(QStringLiteral("fudousan-no-cups.sock")).toLocal8Bit());
    QVERIFY2(missingSubstituteFonts().isEmpty(), qPrintable(missingSubstituteFonts().join(", ")));
    if (!havePoppler())
        QSKIP("poppler-utils (pdftotext, pdffonts) not installed");
    QVERIFY(m_dir.isValid());

    SampleEntryView screen;
    screen.fillWithSample();
    screen.setBoxText(27, "閑静な住宅街");
    QImage map(640, 500, QImage::Format_RGB32);
    map.fill(Qt::darkGreen);
    map.setDotsPerMeterX(3780); // 96 dpi
    map.setDotsPerMeterY(3780);
    screen.setPicture(map);
    RecordingMessageBox messages;
    m_flyer = renderFlyer(m_dir.filePath("flyers"), screen, messages);

    QVERIFY(QFileInfo::exists(m_flyer));
    QCOMPARE(QFileInfo(m_flyer).fileName(), QString("No.2024-017_東京都世田谷区桜丘三丁目12番5.pdf"));
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].style, 64);
    QCOMPARE(messages.shown[0].title, QString("Zabrelo"));
    QVERIFY2(messages.shown[0].text.contains(m_flyer), qPrintable(messages.shown[0].text));
}

void TestFlyerPdf::paperCodes_data()
{
    QTest::addColumn<QPageSize>("size");
    QTest::addColumn<QString>("media"); // what a CUPS queue names as its default
    QTest::addColumn<int>("code");
    QTest::newRow("JIS B4") << QPageSize(QPageSize::JisB4) << "jis_b4_257x364mm" << 12;
    QTest::newRow("JIS B4 in points, as a PPD gives it")
        << QPageSize(QSizeF(727, 1029), QPageSize::Point) << "B4" << 12;
    QTest::newRow("ISO B4") << QPageSize(QPageSize::B4) << "iso_b4_250x353mm" << 42;
    QTest::newRow("ISO B4, by its PPD name") << QPageSize(QPageSize::B4) << "ISOB4" << 42;
    QTest::newRow("A3") << QPageSize(QPageSize::A3) << "iso_a3_297x420mm" << 8;
    QTest::newRow("A4") << QPageSize(QPageSize::A4) << "A4" << 9;
    QTest::newRow("A5") << QPageSize(QPageSize::A5) << "iso_a5_148x210mm" << 11;
    QTest::newRow("JIS B5") << QPageSize(QPageSize::JisB5) << "jis_b5_182x257mm" << 13;
    QTest::newRow("Letter") << QPageSize(QPageSize::Letter) << "na_letter_8.5x11in" << 1;
    QTest::newRow("Legal") << QPageSize(QPageSize::Legal) << "na_legal_8.5x14in" << 5;
    QTest::newRow("custom") << QPageSize(QSizeF(100, 100), QPageSize::Millimeter) << "custom_100x100mm" << 0;
    QTest::newRow("invalid") << QPageSize() << "" << 0;
}

void TestFlyerPdf::paperCodes()
{
    QFETCH(QPageSize, size);
    QFETCH(QString, media);
    QFETCH(int, code);
    QCOMPARE(windowsPaperCode(size), code);
    // A system printer's paper is its queue's default, named as CUPS names it.
    QCOMPARE(windowsPaperCode(CupsPrinter::pageSizeOfMedia(media)), code);
    if (code)
        QVERIFY(pageSizeOfWindowsCode(code).isEquivalentTo(size));
}

void TestFlyerPdf::pictureSize_data()
{
    QTest::addColumn<int>("dotsPerMetre");
    QTest::addColumn<double>("twipsPerPixel");
    QTest::newRow("96 dpi") << 3780 << 15.0;
    QTest::newRow("72 dpi") << 2835 << 20.0;
    QTest::newRow("300 dpi") << 11811 << 4.8;
    QTest::newRow("none stored") << 0 << 15.0;
    QTest::newRow("implausibly coarse") << 39 << 15.0; // 1 dpi
    QTest::newRow("implausibly fine") << 393701 << 15.0; // 10000 dpi
}

void TestFlyerPdf::pictureSize()
{
    QFETCH(int, dotsPerMetre);
    QFETCH(double, twipsPerPixel);
    QImage picture(200, 100, QImage::Format_RGB32);
    picture.setDotsPerMeterX(dotsPerMetre);
    picture.setDotsPerMeterY(dotsPerMetre);
    const QSizeF size = QtPagePrinter::pictureSizeTwips(picture);
    QVERIFY2(qAbs(size.width() - 200 * twipsPerPixel) < 0.5, qPrintable(QString::number(size.width())));
    QVERIFY2(qAbs(size.height() - 100 * twipsPerPixel) < 0.5, qPrintable(QString::number(size.height())));
}

void TestFlyerPdf::textStandsWhereThePageSaysAtItsSize_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("points");
    QTest::newRow("title") << "売り土地" << 3250 << 1400 << 29;
    QTest::newRow("caption") << "物件地図" << 13400 << 2600 << 21;
    QTest::newRow("first label") << "価格" << 550 << 2100 << 19;
    QTest::newRow("price with yen") << "2980万円" << 2600 << 2100 << 19;
    QTest::newRow("land area") << "土地面積" << 550 << 3450 << 19;
    QTest::newRow("square metres") << "150.25㎡" << 2600 << 3450 << 19;
    QTest::newRow("tsubo") << "45.45坪" << 2600 << 3900 << 19;
    QTest::newRow("after the short pitch") << "建物面積" << 550 << 4300 << 19;
    // Two ideographic spaces and a space: 2.5 characters of 19 points.
    QTest::newRow("indented label") << "現状" << 550 + 950 << 5650 << 19;
    QTest::newRow("last label") << "仲介料" << 550 << 13300 << 19;
    QTest::newRow("last value") << "規定による" << 2600 << 13300 << 19;
    QTest::newRow("number line") << "No.2024-017" << 9400 << 11600 << 21;
    QTest::newRow("name line") << "閑静な住宅街" << 9400 << 12250 << 45;
}

void TestFlyerPdf::textStandsWhereThePageSaysAtItsSize()
{
    QFETCH(QString, text);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, points);
    const QList<Phrase> found = phrases(m_flyer);
    for (const Phrase& p : found) {
        if (p.text != text)
            continue;
        // Within a few twips of the anchor: the top of the line box.
        QVERIFY2(qAbs(p.x - x) <= 5 && qAbs(p.y - y) <= 5, qPrintable(QString("at %1, %2").arg(p.x).arg(p.y)));
        // The line box of IPA明朝 is one em: its height is the point size.
        QVERIFY2(qAbs(p.height - points * 20) <= 10, qPrintable(QString("height %1 twips").arg(p.height)));
        return;
    }
    QFAIL(qPrintable("not on the page: " + text));
}

void TestFlyerPdf::longTextShowsAsFarAsThePageReaches_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("points");
    QTest::addColumn<bool>("cut"); // what lies beyond the page may be left out
    QTest::newRow("kanji and digits") << "東京都港区芝公園4-2-8 価格3,980万円 '\"; " << 2600 << 19 << true;
    QTest::newRow("name line") << "閑静な住宅街、南向き。" << 9400 << 45 << true;
    QTest::newRow("narrow Latin") << "il.,'|!" << 2600 << 19 << true;
    QTest::newRow("marks, pairs and joined emoji")
        << QStringLiteral("e\u0301か\u3099🇯🇵👨\u200D👩\u200D👧𠮷\u0301\u0302") << 2600 << 19 << true;
    // Hundreds of characters without width, then 40 full-width ones that
    // end a little short of the edge.
    QTest::newRow("ends just short of the edge")
        << QString(472, QChar(0x200B)) + QString(40, QChar(0x571F)) << 2600 << 19 << true;
    // Its end stands at the left: it is drawn whole.
    QTest::newRow("right to left") << QStringLiteral("שלום עולם 123 ") << 2600 << 19 << false;
    QTest::newRow("left to right, then long right to left")
        << QStringLiteral("No.1 ") + QStringLiteral("שלום עולם ").repeated(30) << 2600 << 19 << false;
}

// A line that runs off the page looks as it does when Qt draws it whole,
// however much follows the part that shows.
void TestFlyerPdf::longTextShowsAsFarAsThePageReaches()
{
    QFETCH(QString, line);
    QFETCH(int, x);
    QFETCH(int, points);
    QFETCH(bool, cut);
    constexpr int y = 2100; // twips
    QString text;
    while (text.size() < 3000)
        text += line;

    // Qt drawing the whole text, at the place and size the page printer uses.
    QImage whole = pageWithText(QString(), x, y, points);
    {
        QPainter painter(&whole);
        painter.scale(whole.logicalDpiX() / 1440.0, whole.logicalDpiY() / 1440.0);
        QFont font(kFontMincho);
        font.setPixelSize(points * 20);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(QPointF(x, y + QFontMetricsF(painter.font(), painter.device()).ascent()), text);
    }
    const QImage edge = whole.copy(whole.width() - 40, 0, 40, whole.height());
    bool inked = false;
    for (int row = 0; row < edge.height() && !inked; ++row)
        for (int column = 0; column < edge.width() && !inked; ++column)
            inked = edge.pixel(column, row) != qRgb(255, 255, 255);
    QVERIFY2(inked, "the text reaches the right edge");

    QCOMPARE(pageWithText(text, x, y, points), whole);
    if (!cut)
        return;
    QString megabyte = text;
    while (megabyte.size() < (1 << 20))
        megabyte += line;
    QCOMPARE(pageWithText(megabyte, x, y, points), whole);
}

void TestFlyerPdf::pageIsJisB4LandscapeWithEmbeddedFonts()
{
    const QString info = run("pdfinfo", { m_flyer });
    QVERIFY(info.contains(QRegularExpression("Pages:\\s+1\\n")));
    const auto size = QRegularExpression("Page size:\\s+([\\d.]+) x ([\\d.]+) pts").match(info);
    QVERIFY2(size.hasMatch(), qPrintable(info));
    QVERIFY(qAbs(size.captured(1).toDouble() / 72 * 25.4 - 364) < 1);
    QVERIFY(qAbs(size.captured(2).toDouble() / 72 * 25.4 - 257) < 1);

    const QStringList fonts = run("pdffonts", { m_flyer }).split('\n', Qt::SkipEmptyParts).mid(2);
    QVERIFY(!fonts.isEmpty());
    for (const QString& font : fonts) {
        QVERIFY2(font.startsWith("IPAMincho"), qPrintable(font));
        QVERIFY2(font.contains(QRegularExpression("\\syes\\s+(yes|no)\\s+yes\\s")),
            qPrintable(font)); // embedded, with a ToUnicode map
    }
    // A subset: the whole IPA明朝 is several megabytes.
    QVERIFY(QFileInfo(m_flyer).size() < 500 * 1024);
}

void TestFlyerPdf::typedTextExtractsExactly()
{
    // Kanji that some CJK fonts turn into Kangxi radicals in Qt's PDFs.
    SampleEntryView screen;
    screen.fillWithSample();
    screen.setBoxText(1, "目黒区日の出町");
    screen.setBoxText(2, "水道橋駅より");
    screen.setBoxText(11, "第一種住居地域");
    screen.setBoxText(23, "用途変更可・面積広め");
    RecordingMessageBox messages;
    const QString pdf = renderFlyer(m_dir.filePath("kanji"), screen, messages);
    const QString text = run("pdftotext", { pdf, "-" });
    for (const char* expected : { "売り土地", "物件地図", "土地面積", "建物面積", "用途地域", "目黒区日の出町",
             "水道橋駅より", "第一種住居地域", "用途変更可・面積広め" }) {
        QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
    }
    QVERIFY2(!text.contains(QRegularExpression("[\\x{2F00}-\\x{2FDF}]")), "Kangxi radicals in the text");
    QCOMPARE(text.count("売り土地"), 1); // bold does not double the text
}

// Texts too long for their cells, on the real page: no word crosses a rule
// or the frame. Rows whose values are drawn smaller or on two lines keep
// them between their rules; the number and name lines keep to their bands.
void TestFlyerPdf::longTextsStayInsideTheirCells()
{
    SampleEntryView screen;
    screen.fillWithSample();
    const QString remarks = QStringLiteral("古家あり（現況渡し）・建築条件なし");
    const QString bottomLine = QStringLiteral("株式会社クインタ不動産　TEL 047-123-4567");
    screen.setBoxText(2, "小田急線 千歳船橋駅 徒歩8分、京王線 芦花公園駅 徒歩15分、バス停「桜丘三丁目」徒歩2分");
    screen.setBoxText(4, "45.45（実測。私道負担 約3.2坪を含む。）");
    screen.setBoxText(22, QStringLiteral("更地にて引渡し、").repeated(30));
    screen.setBoxText(23, remarks);
    screen.setBoxText(26, "No.2024-017 担当 山田（宅地建物取引士）携帯 090-1234-5678 FAX 047-123-4568");
    screen.setBoxText(27, bottomLine);
    RecordingMessageBox messages;
    const QString pdf = renderFlyer(m_dir.filePath("long"), screen, messages);
    const QList<Phrase> found = phrases(pdf);
    QVERIFY(found.size() > 40);

    // Rules across the table (the title rule, the rows', the table's bottom)
    // and the rows whose values are too long for them.
    const QList<int> rules = { 2050, 2500, 2950, 3400, 3850, 4250, 4700, 5150, 5600, 6050, 6500, 6950, 7400, 7850, 8300,
        8750, 9200, 9650, 10100, 10550, 11000, 11450, 11900, 12350, 12800, 13250, 13700 };
    const QList<int> longRows = { 2, 4, 22, 23 };
    const auto crosses = [](const Phrase& p, double line) { return p.x < line - 1 && p.x + p.width > line + 1; };
    const auto within
        = [](const Phrase& p, double top, double bottom) { return p.y >= top - 1 && p.y + p.height <= bottom + 1; };
    for (const Phrase& p : found) {
        const QString where
            = QStringLiteral("%1 at %2,%3 (%4 x %5)").arg(p.text).arg(p.x).arg(p.y).arg(p.width).arg(p.height);
        // Inside the frame's bands, and clear of its centre band.
        QVERIFY2(p.x >= 331 && p.x + p.width <= 20000 && p.y >= 931 && p.y + p.height <= 14000, qPrintable(where));
        QVERIFY2(p.x + p.width <= 9001 || p.x >= 9031, qPrintable(where));
        for (const double line : { 2550.0, 8850.0, 9350.0, 19650.0 })
            QVERIFY2(!crosses(p, line), qPrintable(where + QStringLiteral(" crosses x %1").arg(line)));
        if (p.x >= 9350) {
            if (p.y < 12050 - 1 && p.y >= 11550 - 1)
                QVERIFY2(within(p, 11550, 12050), qPrintable(where));
            else if (p.y >= 12050 - 1)
                QVERIFY2(within(p, 12050, 13550), qPrintable(where));
        } else if (p.x >= 2550) {
            for (int row : longRows) {
                if (p.y + p.height / 2 > rules[row] && p.y + p.height / 2 < rules[row + 1])
                    QVERIFY2(within(p, rules[row], rules[row + 1]), qPrintable(where));
            }
        }
    }

    const QString text = run("pdftotext", { pdf, "-" });
    for (const QString& expected : { remarks, QStringLiteral("株式会社クインタ不動産"),
             QStringLiteral("TEL 047-123-4567"), QStringLiteral("FAX 047-123-4568"), QStringLiteral("…") })
        QVERIFY2(text.contains(expected), qPrintable(expected));

    if (!qEnvironmentVariableIsEmpty("FUDOUSAN_SHOTS"))
        QFile::copy(pdf, qEnvironmentVariable("FUDOUSAN_SHOTS") + QStringLiteral("/long-texts.pdf"));
}

void TestFlyerPdf::mapKeepsItsOwnSize()
{
    const QString list = run("pdfimages", { "-list", m_flyer });
    if (list.isEmpty())
        QSKIP("pdfimages not available");
    // 640 x 500 pixels at 96 dpi: drawn 9600 x 7500 twips, so 96 pixels an inch.
    const auto row = QRegularExpression(
        "\\s640\\s+500\\s.*\\s(\\d+)\\s+(\\d+)\\s+\\S+\\s+\\S+\\s*$", QRegularExpression::MultilineOption)
                         .match(list);
    QVERIFY2(row.hasMatch(), qPrintable(list));
    QCOMPARE(row.captured(1).toInt(), 96);
    QCOMPARE(row.captured(2).toInt(), 96);
}

// A 2000 x 1500 map at 96 dpi would run far past the page: it is scaled
// down, whole, to the box's width from the same corner, and nothing of it
// lies outside the box.
void TestFlyerPdf::aMapLargerThanTheBoxIsScaledDownToFit()
{
    QImage map(2000, 1500, QImage::Format_RGB32);
    map.fill(Qt::darkGreen);
    map.setDotsPerMeterX(3780); // 96 dpi
    map.setDotsPerMeterY(3780);
    SampleEntryView screen;
    screen.setBoxText(1, "大きな地図");
    screen.setPicture(map);
    RecordingMessageBox messages;
    const QString pdf = renderFlyer(m_dir.filePath("large-map"), screen, messages);
    const QString list = run("pdfimages", { "-list", pdf });
    if (list.isEmpty())
        QSKIP("pdfimages not available");
    const auto row
        = QRegularExpression("^\\s*1\\s+0\\s+image\\s+(\\d+)\\s+(\\d+)\\s.*\\s(\\d+)\\s+(\\d+)\\s+\\S+\\s+\\S+\\s*$",
            QRegularExpression::MultilineOption)
              .match(list);
    QVERIFY2(row.hasMatch(), qPrintable(list));
    QCOMPARE(row.captured(1).toInt(), 2000);
    QCOMPARE(row.captured(2).toInt(), 1500);
    // 2000 pixels across the 10250 twips from x 9400 to the box's right edge.
    QCOMPARE(row.captured(3).toInt(), qRound(2000 / (10250 / 1440.0)));
    QCOMPARE(row.captured(4).toInt(), qRound(2000 / (10250 / 1440.0)));

    // On the page (72 dpi, 20 twips a pixel): green from the corner up to the
    // box's right edge and 7687 twips down, white beyond.
    const QString png = m_dir.filePath("large-map/page");
    run("pdftoppm", { "-r", "72", "-png", "-singlefile", pdf, png });
    const QImage page(png + ".png");
    QVERIFY(!page.isNull());
    const auto green = [&](int xTwips, int yTwips) {
        const QColor c = page.pixelColor(xTwips / 20, yTwips / 20);
        return c.green() > 80 && c.red() < 40 && c.blue() < 40;
    };
    QVERIFY(green(9500, 3200));
    QVERIFY(green(19500, 10700));
    QVERIFY(!green(19900, 5000)); // past the box, right
    QVERIFY(!green(12000, 11300)); // below the map's scaled bottom (10787) and the box
    QVERIFY(!green(12000, 12600)); // the name block
}

void TestFlyerPdf::neverOverwritesAFile()
{
    const QString folder = m_dir.filePath("again");
    SampleEntryView screen;
    screen.setBoxText(1, "所在/1:2");
    screen.setBoxText(26, "7");
    RecordingMessageBox messages;
    const QString first = renderFlyer(folder, screen, messages);
    const QByteArray firstBytes = [&] {
        QFile f(first);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const QString second = renderFlyer(folder, screen, messages);
    const QString third = renderFlyer(folder, screen, messages);

    QCOMPARE(QFileInfo(first).fileName(), QString("7_所在_1_2.pdf"));
    QCOMPARE(QFileInfo(second).fileName(), QString("7_所在_1_2 (2).pdf"));
    QCOMPARE(QFileInfo(third).fileName(), QString("7_所在_1_2 (3).pdf"));
    QFile f(first);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), firstBytes);
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 3);

    // A link to nowhere under the name is taken too, and not written through.
    const QString linked = m_dir.filePath("linked");
    QDir().mkpath(linked);
    const QString nowhere = m_dir.filePath("nowhere.pdf");
    QVERIFY(QFile::link(nowhere, QDir(linked).filePath("7_所在_1_2.pdf")));
    QCOMPARE(QFileInfo(renderFlyer(linked, screen, messages)).fileName(), QString("7_所在_1_2 (2).pdf"));
    QVERIFY(!QFileInfo::exists(nowhere));
}

// A PDF that does not fit on the disk is named as such, and nothing of it is
// left. The disk is a tmpfs of 16 KB, mounted for a child process only.
void TestFlyerPdf::aFullDiskIsNamed()
{
    const QString folder = m_dir.filePath("full");
    QDir().mkpath(folder);
    QProcess child;
    child.start("unshare",
        { "--mount", "sh", "-c", "mount -t tmpfs -o size=16k tmpfs \"$1\" || exit 77; exec \"$2\" \"$1\"", "sh", folder,
            FUDOUSAN_BIN_DIR "/render_flyer" });
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit)
        QFAIL("render_flyer did not finish");
    if (child.exitCode() == 77 || child.error() == QProcess::FailedToStart)
        QSKIP("cannot mount a small disk here (needs root and unshare)");
    const QString said = QString::fromUtf8(child.readAllStandardError());
    QCOMPARE(child.exitCode(), 1);
    QVERIFY2(said.contains("ディスクがいっぱいです"), qPrintable(said));
    QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty()); // outside the tmpfs, the folder is as it was
}

// Without HOME, Qt would offer "/Documents" at the root.
void TestFlyerPdf::withoutHomeThePdfGoesHomeByThePasswordDatabase()
{
    const QByteArray home = qgetenv("HOME");
    const auto restore = qScopeGuard([&] { qputenv("HOME", home); });
    qunsetenv("HOME");
    const QString folder = QtPrinterSource::documentsFolder();
    const passwd* user = getpwuid(getuid());
    QVERIFY(user);
    QCOMPARE(folder, QDir(QString::fromLocal8Bit(user->pw_dir)).filePath("Documents"));
}

void TestFlyerPdf::safeFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("safe");
    QTest::newRow("plain") << "12_東京都港区"
                           << "12_東京都港区";
    QTest::newRow("separators and reserved") << "a/b\\c:d*e?f\"g<h>i|j"
                                             << "a_b_c_d_e_f_g_h_i_j";
    QTest::newRow("control characters") << "a\nb\tc"
                                        << "a_b_c";
    QTest::newRow("C1 controls") << QString::fromUtf16(u"a\u0080b\u0085c\u009f") << "a_b_c_";
    QTest::newRow("bidirectional overrides") << QString::fromUtf16(u"港区\u202efdp.exe\u202c") << "港区_fdp.exe_";
    QTest::newRow("bidirectional embeddings and isolates")
        << QString::fromUtf16(u"\u202a1\u202b2\u202d3\u20664\u20675\u20686\u2069") << "_1_2_3_4_5_6_";
    QTest::newRow("dots and spaces at the ends") << " ..隠し. "
                                                 << "隠し";
    QTest::newRow("parent folder") << ".."
                                   << "チラシ";
    QTest::newRow("empty") << ""
                           << "チラシ";
    QTest::newRow("long") << QString(100, QChar(0x571F)) << QString(70, QChar(0x571F));
}

void TestFlyerPdf::safeFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, safe);
    QCOMPARE(QtPdfPrinter::safeFileName(name), safe);
}

void TestFlyerPdf::abandonedPageLeavesNothing()
{
    const QString folder = m_dir.filePath("abandoned");
    QDir().mkpath(folder);
    RecordingMessageBox messages;
    {
        QtPdfPrinter printer(messages, folder);
        printer.setDocumentName("途中");
        printer.drawLine(0, 0, 100, 100);
        printer.printText("途中");
    }
    QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
    QVERIFY(messages.shown.isEmpty());
}

// Flyers drawn one after the other with newPage between them.
void printFlyers(QtPdfPrinter& printer, const QStringList& locations)
{
    for (int i = 0; i < locations.size(); ++i) {
        SampleEntryView screen;
        screen.fillWithSample();
        screen.setBoxText(kSyozaiIndex, locations[i]);
        if (i > 0)
            printer.newPage();
        Draw_Flyer_Page(printer, screen);
    }
}

void TestFlyerPdf::severalPagesAreOneFileAndAnAbandonedOneLeavesNothing()
{
    QTemporaryDir temporary;
    const QByteArray tmpdir = qgetenv("TMPDIR");
    const auto restore = qScopeGuard([&] { qputenv("TMPDIR", tmpdir); });
    qputenv("TMPDIR", temporary.path().toUtf8());
    const QString folder = m_dir.filePath("pages");
    const QStringList locations = { "港区芝公園四丁目", "目黒区日の出町", "世田谷区桜丘三丁目" };
    RecordingMessageBox messages;
    {
        QtPdfPrinter printer(messages, folder);
        printer.setDocumentName("三件");
        printFlyers(printer, locations);
        printer.endDocument();
        QCOMPARE(printer.writtenPath(), QDir(folder).filePath("三件.pdf"));
    }
    const QString pdf = QDir(folder).filePath("三件.pdf");
    const QString info = run("pdfinfo", { pdf });
    QVERIFY2(info.contains(QRegularExpression("Pages:\\s+3\\n")), qPrintable(info));
    QVERIFY2(info.contains(QRegularExpression("Title:\\s+三件\\n")), qPrintable(info));
    for (int page = 1; page <= 3; ++page) {
        const QString text = run("pdftotext", { "-f", QString::number(page), "-l", QString::number(page), pdf, "-" });
        for (int other = 1; other <= 3; ++other)
            QCOMPARE(text.contains(locations[other - 1]), other == page);
        const QString size = run("pdfinfo", { "-f", QString::number(page), "-l", QString::number(page), pdf });
        QVERIFY2(size.contains(QRegularExpression("size:\\s+1032 x 729 pts")), qPrintable(size));
    }
    QVERIFY(QDir(temporary.path()).isEmpty()); // the document's own file went with the printer

    QDir(folder).removeRecursively();
    messages.shown.clear();
    {
        QtPdfPrinter printer(messages, folder);
        printFlyers(printer, locations);
    }
    QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
    QVERIFY(QDir(temporary.path()).isEmpty());
    QVERIFY(messages.shown.isEmpty());
}

// The pages of a long document wait in the temporary folder; when that is
// full the document is refused, naming the folder, and no file is written.
void TestFlyerPdf::aFullTemporaryFolderIsNamed()
{
    if (qEnvironmentVariableIsSet("FLYER_FULL_TMPDIR")) {
        // The child: a tiny disk for the temporary folder from here on.
        qputenv("TMPDIR", qgetenv("FLYER_FULL_TMPDIR"));
        const QString folder = m_dir.filePath("out");
        RecordingMessageBox messages;
        QtPdfPrinter printer(messages, folder);
        printFlyers(printer, { "港区芝公園四丁目", "目黒区日の出町", "世田谷区桜丘三丁目" });
        try {
            printer.endDocument();
            QFAIL("a document cut short was delivered");
        } catch (const PlatformError& error) {
            QVERIFY2(error.description().contains("印刷するPDFを書けませんでした")
                    && error.description().contains(QDir::tempPath()),
                qPrintable(error.description()));
        }
        QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
        return;
    }
    const QString tiny = m_dir.filePath("tinytmp");
    QDir().mkpath(tiny);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FLYER_FULL_TMPDIR", tiny);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("unshare",
        { "--mount", "sh", "-c", "mount -t tmpfs -o size=16k tmpfs \"$1\" || exit 77; exec \"$2\" \"$3\"", "sh", tiny,
            QCoreApplication::applicationFilePath(), "aFullTemporaryFolderIsNamed" });
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit)
        QFAIL("the child did not finish");
    if (child.exitCode() == 77 || child.error() == QProcess::FailedToStart)
        QSKIP("cannot mount a small disk here (needs root and unshare)");
    const QString output = QString::fromUtf8(child.readAll());
    QVERIFY2(child.exitCode() == 0 && output.contains("Totals: 3 passed, 0 failed"), qPrintable(output));
}

void TestFlyerPdf::sourceFallsBackToPdfWithoutPrinter()
{
    if (!QPrinterInfo::availablePrinters().isEmpty())
        QSKIP("this machine has a printer");
    RecordingMessageBox messages;
    QtPrinterSource source(messages);
    const std::unique_ptr<Printer> printer = source.openPrinter();
    QVERIFY(dynamic_cast<QtPdfPrinter*>(printer.get()));
    QCOMPARE(printer->paperSize(), 12);
}

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    registerFontSubstitutions();
    TestFlyerPdf test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestFlyerPdf.moc"
