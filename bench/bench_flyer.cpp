// bench_flyer: time to produce the flyer as a PDF file with a 2000 x 1500
// JPEG map, in-process: the first flyer, then the median of the next 20, and
// the size of the file. Beside it the floor: a bare QPdfWriter page of the
// same paper drawing the same picture at the same place and size, written to
// a file and synced as the flyer's is; the first flyer and the first bare
// page each in a fresh process, then both warm. Prints figures only.
#include "bench/BenchReport.h"
#include "flyer/Flyer.h"
#include "platform/Fonts.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/print/PaperSizes.h"
#include "platform/print/QtPdfPrinter.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/fakes/RecordingPrinter.h"
#include "tests/support/FlyerSample.h"

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

#include <algorithm>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

// A map-like picture: coloured blocks, roads, labels and some noise, so the
// JPEG is as busy as a scanned map.
QImage makeMap()
{
    QImage map(2000, 1500, QImage::Format_RGB32);
    map.fill(QColor(238, 234, 222));
    QPainter painter(&map);
    QRandomGenerator random(17);
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
    return 0;
}
