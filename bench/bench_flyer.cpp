// bench_flyer: time to produce the flyer as a PDF file with a 2000 x 1500
// JPEG map, in-process: the first flyer, then the median of the next 20, and
// the size of the file. Beside it the floor: a bare QPdfWriter page of the
// same paper drawing the same picture at the same place and size, written to
// a file and synced as the flyer's is; the first flyer and the first bare
// page each in a fresh process, then both warm. Then the list's batch: 50
// stored properties with maps, each loaded through the store, as one PDF of
// 50 pages, against one property through the same path; and the resident
// memory page by page. Prints figures only; `bench_flyer FOLDER` keeps the
// batch's PDF there.
#include "bench/BenchReport.h"
#include "flyer/Flyer.h"
#include "platform/Fonts.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/print/PaperSizes.h"
#include "platform/print/QtPdfPrinter.h"
#include "platform/sqlite/EmptyDatabase.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "screens/FlyerBatch.h"
#include "store/PropertyStore.h"
#include "tests/fakes/FakeAppEnvironment.h"
#include "tests/fakes/FakeGrid.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/fakes/RecordingPrinter.h"
#include "tests/support/FlyerSample.h"
#include "tests/support/PropertyFill.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

// A map-like picture: coloured blocks, roads, labels and some noise, so the
// JPEG is as busy as a scanned map.
QImage makeMap(quint32 start = 17)
{
    QImage map(2000, 1500, QImage::Format_RGB32);
    map.fill(QColor(238, 234, 222));
    QPainter painter(&map);
    QRandomGenerator random(start);
    for (int i = 0; i < 400; ++i) {
        painter.fillRect(random.bounded(2000), random.bounded(1500), 20 + random.bounded(120), 20 + random.bounded(90),
            QColor::fromHsv(random.bounded(360), 40 + random.bounded(60), 200 + random.bounded(50)));
    }
    painter.setPen(QPen(Qt::white, 14));
    for (int i = 0; i < 40; ++i)
        painter.drawLine(random.bounded(2000), random.bounded(1500), random.bounded(2000), random.bounded(1500));
    painter.setPen(Qt::black);
    painter.setFont(QFont(kFontGothic, 18));
    for (int i = 0; i < 120; ++i)
        painter.drawText(random.bounded(1900), random.bounded(1480), QStringLiteral("桜丘%1丁目").arg(i % 9 + 1));
    painter.end();
    for (int i = 0; i < 20000; ++i)
        map.setPixel(random.bounded(2000), random.bounded(1500),
            qRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
    map.setDotsPerMeterX(11811); // 300 dpi, as scanned
    map.setDotsPerMeterY(11811);
    return map;
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

constexpr int kBatchPages = 50;
constexpr int kMapFiles = 5; // the properties' maps, one file for every tenth

// A database of kBatchPages sample properties, each with one of the map
// files, in `folder`.
void makeBatchDatabase(const QString& folder)
{
    QStringList maps;
    for (int i = 0; i < kMapFiles; ++i) {
        maps << QDir(folder).filePath(QStringLiteral("map%1.jpg").arg(i));
        makeMap(100 + quint32(i)).save(maps.last(), "JPEG", 85);
    }
    const QString path = QDir(folder).filePath(QStringLiteral("Fudousan.mdb"));
    QString error;
    SampleEntryView sample;
    sample.fillWithSample();
    const auto recordAt = [&](int r) {
        PropertyRecord record;
        for (int c = 0; c < kBoxCount; ++c)
            record[c] = sample.boxText(c);
        record[kSyozaiIndex] = QStringLiteral("東京都世田谷区桜丘三丁目%1番5").arg(r + 1);
        record[kNoFudousanIndex] = QStringLiteral("No.%1").arg(r + 1);
        record[kMadoriIndex] = maps.at(r % kMapFiles);
        return record;
    };
    if (!createEmptyDatabase(path, &error) || !insertProperties(path, kBatchPages, recordAt, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        std::exit(1);
    }
}

// Where and how large the flyer draws the picture, and on which paper: taken
// from the flyer itself, drawn once on a recording printer.
struct PicturePlace
{
    QPageLayout layout;
    QRectF target; // in twips
};

PicturePlace picturePlace(const EntryView& screen)
{
    RecordingMessageBox messages;
    RecordingPrinter printer;
    Print_Flyer(printer, screen, messages);
    PicturePlace place;
    int paper = Printer::kPaperJisB4;
    bool landscape = false;
    for (const QString& op : printer.ops) {
        const QStringList words = op.split(QLatin1Char(' '));
        if (words.first() == QLatin1String("setPaperSize"))
            paper = words.at(1).toInt();
        else if (words.first() == QLatin1String("setOrientation"))
            landscape = words.at(1).toInt() == Printer::kOrientationLandscape;
        else if (words.first() == QLatin1String("picture"))
            place.target = QRectF(
                words.at(1).toDouble(), words.at(2).toDouble(), words.at(3).toDouble(), words.at(4).toDouble());
    }
    place.layout = QPageLayout(pageSizeOfWindowsCode(paper), landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
        QMarginsF(0, 0, 0, 0));
    return place;
}

// The floor: one page with nothing but the picture, written and synced.
double barePage(const QImage& picture, const PicturePlace& place, const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    {
        QPdfWriter writer(path);
        writer.setResolution(1440); // one unit per twip, as the flyer draws
        writer.setPageLayout(place.layout);
        QPainter painter(&writer);
        painter.drawImage(place.target, picture);
    }
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        ::fsync(file.handle());
    const double ms = timer.nsecsElapsed() / 1e6;
    QFile::remove(path);
    return ms;
}

// A child's part (bench_flyer --first flyer|page JPEG FOLDER): the program
// is up (fonts known, the screens' face loaded, the picture on the entry
// screen), then the first flyer or the first bare page of the process.
int firstInThisProcess(const char* what, const QString& jpeg, const QString& folder)
{
    QImage warmFonts(200, 50, QImage::Format_RGB32);
    QPainter(&warmFonts).drawText(10, 30, QStringLiteral("物件所在地"));
    SampleEntryView screen;
    screen.fillWithSample();
    screen.setPicture(QtPictureLoader().load(jpeg));
    const PicturePlace place = picturePlace(screen);
    double ms = 0;
    if (std::strcmp(what, "page") == 0) {
        ms = barePage(screen.picture(), place, QDir(folder).filePath(QStringLiteral("bare.pdf")));
    } else {
        RecordingMessageBox messages;
        QElapsedTimer timer;
        timer.start();
        QtPdfPrinter printer(messages, folder);
        Print_Flyer(printer, screen, messages);
        ms = timer.nsecsElapsed() / 1e6;
        QFile::remove(printer.writtenPath());
    }
    std::printf("%.3f\n", ms);
    return 0;
}

double firstInFreshProcess(const char* what, const QString& jpeg, const QString& folder)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--first"), QString::fromLatin1(what), jpeg, folder });
    if (!child.waitForFinished(60000) || child.exitCode() != 0) {
        std::fprintf(stderr, "the child for the first %s failed\n", what);
        std::exit(1);
    }
    return child.readAllStandardOutput().trimmed().toDouble();
}

// The flyer beside its floor: first (each in a fresh process) and warm.
void compareWithBarePage(const QString& jpeg, const QString& folder, QTextStream& out)
{
    QDir().mkpath(folder);
    const int firsts = bench::size(5, 1);
    std::vector<double> firstFlyers;
    std::vector<double> firstPages;
    for (int i = 0; i < firsts; ++i) {
        firstFlyers.push_back(firstInFreshProcess("flyer", jpeg, folder));
        firstPages.push_back(firstInFreshProcess("page", jpeg, folder));
    }

    SampleEntryView screen;
    screen.fillWithSample();
    screen.setPicture(QtPictureLoader().load(jpeg));
    const PicturePlace place = picturePlace(screen);
    RecordingMessageBox messages;
    std::vector<double> flyers;
    std::vector<double> pages;
    for (int i = 0; i < bench::size(20, 2); ++i) {
        QElapsedTimer timer;
        timer.start();
        QtPdfPrinter printer(messages, folder);
        Print_Flyer(printer, screen, messages);
        flyers.push_back(timer.nsecsElapsed() / 1e6);
        QFile::remove(printer.writtenPath());
        pages.push_back(barePage(screen.picture(), place, QDir(folder).filePath(QStringLiteral("bare.pdf"))));
    }
    const double firstFlyer = medianOf(firstFlyers);
    const double firstPage = medianOf(firstPages);
    const double warmFlyer = medianOf(flyers);
    const double warmPage = medianOf(pages);
    out << QStringLiteral("beside a bare QPdfWriter page with the same picture at %1 x %2 twips:\n")
               .arg(place.target.width(), 0, 'f', 0)
               .arg(place.target.height(), 0, 'f', 0)
        << QStringLiteral("  first in a fresh process (median of %1): flyer %2 ms, bare page %3 ms (%4x)\n")
               .arg(firsts)
               .arg(firstFlyer, 0, 'f', 1)
               .arg(firstPage, 0, 'f', 1)
               .arg(firstFlyer / firstPage, 0, 'f', 2)
        << QStringLiteral("  warm (median of %1, interleaved): flyer %2 ms, bare page %3 ms (%4x)\n")
               .arg(flyers.size())
               .arg(warmFlyer, 0, 'f', 1)
               .arg(warmPage, 0, 'f', 1)
               .arg(warmFlyer / warmPage, 0, 'f', 2);
    out.flush();
    bench::target("flyer-first", firstFlyer, firstPage, "1.3x");
    bench::target("flyer-warm", warmFlyer, warmPage, "1.3x");
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    registerFontSubstitutions();
    if (argc == 5 && std::strcmp(argv[1], "--first") == 0)
        return firstInThisProcess(argv[2], QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
    QTextStream out(stdout);

    QTemporaryDir dir;
    const QString jpeg = dir.filePath("map.jpg");
    makeMap().save(jpeg, "JPEG", 85);
    SampleEntryView screen;
    screen.fillWithSample();
    screen.setPicture(QtPictureLoader().load(jpeg));

    RecordingMessageBox messages;
    QString lastPdf;
    const auto flyer = [&] {
        QElapsedTimer timer;
        timer.start();
        QtPdfPrinter printer(messages, dir.filePath("out"));
        Print_Flyer(printer, screen, messages);
        const double ms = timer.nsecsElapsed() / 1e6;
        lastPdf = printer.writtenPath();
        return ms;
    };

    const double first = flyer();
    std::vector<double> warm;
    for (int i = 0; i < bench::size(20, 2); ++i)
        warm.push_back(flyer());
    std::sort(warm.begin(), warm.end());
    const double median = medianOf(warm);
    const qint64 pdfSize = QFileInfo(lastPdf).size();

    // The page alone, without the map, for comparison.
    screen.setPicture(QImage());
    std::vector<double> bare;
    for (int i = 0; i < bench::size(20, 2); ++i)
        bare.push_back(flyer());

    out << QStringLiteral("map JPEG 2000 x 1500: %1 KB\n").arg(QFileInfo(jpeg).size() / 1024.0, 0, 'f', 1);
    out << QStringLiteral("first flyer: %1 ms (target 50)\n").arg(first, 0, 'f', 1);
    out << QStringLiteral("median of next 20: %1 ms (target 25; min %2, max %3)\n")
               .arg(median, 0, 'f', 1)
               .arg(warm.front(), 0, 'f', 1)
               .arg(warm.back(), 0, 'f', 1);
    out << QStringLiteral("median without the map: %1 ms\n").arg(medianOf(bare), 0, 'f', 1);
    out << QStringLiteral("PDF size: %1 KB (target < 1536)\n").arg(pdfSize / 1024.0, 0, 'f', 1);
    out.flush();
    bench::target("flyer-pdf-size", pdfSize / 1024.0, -1, "<1536", "KB");
    compareWithBarePage(jpeg, dir.filePath("floor"), out);

    // The list's batch: the real path, store and picture loader included.
    QTemporaryDir batchDir;
    makeBatchDatabase(batchDir.path());
    SqliteDatabaseEngine engine;
    FakeAppEnvironment environment(batchDir.path());
    QtPictureLoader pictures;
    PropertyStore store(engine, environment, messages, pictures);
    if (!store.Open_Database()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.openFailure()));
        return 1;
    }
    FakeGrid grid;
    store.Fill_Property_List(grid);
    QStringList keys;
    for (int row = 1; row < grid.rowCount(); ++row) // row 0 is the header
        keys << grid.rowKey(row);
    const QString outFolder = QDir(batchDir.path()).filePath(QStringLiteral("out"));
    const auto batch = [&](const QStringList& rowKeys, const std::function<bool(int)>& beforePage) {
        QElapsedTimer timer;
        timer.start();
        QtPdfPrinter printer(messages, outFolder);
        const FlyerBatchResult result = Print_Flyer_Batch(store, printer, rowKeys, messages, beforePage);
        const double ms = timer.nsecsElapsed() / 1e6;
        lastPdf = printer.writtenPath();
        if (result.printed != rowKeys.size()) {
            std::fprintf(stderr, "the batch printed %d of %d\n", result.printed, int(rowKeys.size()));
            std::exit(1);
        }
        return ms;
    };

    std::vector<double> single;
    batch({ keys.first() }, {}); // warms the store's statement and the map's decoder
    for (int i = 0; i < bench::size(20, 2); ++i)
        single.push_back(batch({ keys.at(i % keys.size()) }, {}));
    const double singleMs = medianOf(single);

    std::vector<double> batches;
    for (int i = 0; i < bench::size(3, 1); ++i)
        batches.push_back(batch(keys, {}));
    const double batchMs = medianOf(batches);
    const qint64 batchSize = QFileInfo(lastPdf).size();
    if (argc > 1) // a folder to keep the batch's PDF in, for looking at it
        QFile::copy(lastPdf, QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("batch.pdf")));

    // Memory: resident size before each page, and once the file is written.
    std::vector<long> rss;
    const long before = bench::rssKiB();
    batch(keys, [&](int) {
        rss.push_back(bench::rssKiB());
        return true;
    });
    const long after = bench::rssKiB();
    // Page 1 is drawn alone; from the second page on one page is painted
    // while the next is drawn.
    const long peak = *std::max_element(rss.begin(), rss.end());

    out << QStringLiteral("one stored flyer with its map, list path: median of 20 %1 ms\n").arg(singleMs, 0, 'f', 1);
    out << QStringLiteral("batch of %1 flyers with maps to one PDF: %2 ms, %3 ms a page (%4 x one stored flyer, "
                          "%5 x the warm flyer above; target 1.5)\n")
               .arg(kBatchPages)
               .arg(batchMs, 0, 'f', 0)
               .arg(batchMs / kBatchPages, 0, 'f', 1)
               .arg(batchMs / kBatchPages / singleMs, 0, 'f', 2)
               .arg(batchMs / kBatchPages / median, 0, 'f', 2);
    out << QStringLiteral("batch PDF: %1 KB, %2 KB a page\n")
               .arg(batchSize / 1024.0, 0, 'f', 0)
               .arg(batchSize / 1024.0 / kBatchPages, 0, 'f', 1);
    out << QStringLiteral("resident memory before each page: %1 MiB before the batch, page 2 %2, page 3 %9, "
                          "page 10 %3, page 25 %4, page 50 %5, %6 after; peak %7 (one decoded map is %8 MiB)\n")
               .arg(before / 1024.0, 0, 'f', 1)
               .arg(rss.at(1) / 1024.0, 0, 'f', 1)
               .arg(rss.at(9) / 1024.0, 0, 'f', 1)
               .arg(rss.at(24) / 1024.0, 0, 'f', 1)
               .arg(rss.at(49) / 1024.0, 0, 'f', 1)
               .arg(after / 1024.0, 0, 'f', 1)
               .arg(peak / 1024.0, 0, 'f', 1)
               .arg(2000.0 * 1500 * 4 / 1024 / 1024, 0, 'f', 1)
               .arg(rss.at(2) / 1024.0, 0, 'f', 1);
    out.flush();
    bench::target("flyer-batch-page", batchMs / kBatchPages, median, "1.5x");
    return 0;
}
