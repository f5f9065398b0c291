// bench_flyer: time to produce the flyer as a PDF file with a 2000 x 1500
// JPEG map, in-process: the first flyer, then the median of the next 20, and
// the size of the file. Prints figures only.
#include "flyer/Flyer.h"
#include "platform/Fonts.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/print/QtPdfPrinter.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/support/FlyerSample.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
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

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    registerFontSubstitutions();
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
    for (int i = 0; i < 20; ++i)
        warm.push_back(flyer());
    std::sort(warm.begin(), warm.end());
    const double median = (warm[9] + warm[10]) / 2;
    const qint64 pdfSize = QFileInfo(lastPdf).size();

    // The page alone, without the map, for comparison.
    screen.setPicture(QImage());
    std::vector<double> bare;
    for (int i = 0; i < 20; ++i)
        bare.push_back(flyer());
    std::sort(bare.begin(), bare.end());

    out << QStringLiteral("map JPEG 2000 x 1500: %1 KB\n").arg(QFileInfo(jpeg).size() / 1024.0, 0, 'f', 1);
    out << QStringLiteral("first flyer: %1 ms (target 50)\n").arg(first, 0, 'f', 1);
    out << QStringLiteral("median of next 20: %1 ms (target 25; min %2, max %3)\n")
               .arg(median, 0, 'f', 1)
               .arg(warm.front(), 0, 'f', 1)
               .arg(warm.back(), 0, 'f', 1);
    out << QStringLiteral("median without the map: %1 ms\n").arg((bare[9] + bare[10]) / 2, 0, 'f', 1);
    out << QStringLiteral("PDF size: %1 KB (target < 1536)\n").arg(pdfSize / 1024.0, 0, 'f', 1);
    return 0;
}
