// bench_pictures: peak memory and time of loading map pictures that are
// large on purpose, each in a process of its own (a fresh peak):
//  - a 300 x 200 JPEG padded with comment segments to 590 MB (refused by its
//    size) and to 250 MB (loaded, the padding never held);
//  - a 300 x 200 JPEG with 250 MB of Exif segments;
//  - an 8000 x 8000 bitmap (183 MB file, 244 MB of pixels; 1000 x 1000 in a
//    smoke run, FUDOUSAN_BENCH_SMOKE=1);
// and the same map of 1920 x 1080 pixels in each kind of file agents have
// (a PNG screenshot, JPEG, bitmap, WebP, TIFF, HEIC, and a one-page PDF
// drawn as vectors or holding the screenshot, whose page of 6.4 x 3.6 inches
// is rendered at 300 dpi: 1920 x 1080): the median of 5 loads, and the peak
// of the loading process and of the PDF renderer it starts.
// Files are written sparsely into TMPDIR where possible. Nothing is asserted.
// Run with QT_QPA_PLATFORM=offscreen when headless.
#include "bench/BenchReport.h"
#include "platform/PlatformError.h"
#include "platform/desktop/QtPictureLoader.h"
#include "tests/support/MapPictureLoader.h"
#include "tests/support/MapSamples.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray smallJpeg()
{
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

// `segments` segments of 64 KB with marker `marker` after the start marker;
// only their headers are written.
void writePadded(const QString& path, quint8 marker, int segments)
{
    const QByteArray jpeg = smallJpeg();
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(jpeg.left(2));
    constexpr qint64 kSegment = 2 + 0xFFFF;
    const char header[4] = { char(0xFF), char(marker), char(0xFF), char(0xFF) };
    for (int i = 0; i < segments; ++i) {
        file.seek(2 + i * kSegment);
        file.write(header, 4);
    }
    file.seek(2 + segments * kSegment);
    file.write(jpeg.mid(2));
}

void writeBitmap(const QString& path, int side)
{
    // A 24-bit bottom-up bitmap whose rows are holes (black).
    const qint64 row = ((qint64(side) * 24 + 31) / 32) * 4;
    QByteArray header(54, '\0');
    auto le = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = char((v >> (8 * i)) & 0xff);
    };
    header[0] = 'B';
    header[1] = 'M';
    le(2, quint32(54 + row * side));
    le(10, 54);
    le(14, 40);
    le(18, quint32(side));
    le(22, quint32(side));
    header[26] = 1;
    header[28] = 24;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(header);
    file.resize(54 + row * side);
}

void measure(const QString& what, const QString& path)
{
    const qint64 size = QFile(path).size();
    const pid_t child = fork();
    if (child == 0) {
        QElapsedTimer timer;
        timer.start();
        QString result;
        try {
            const QImage picture = QtPictureLoader().load(path);
            result = QStringLiteral("loaded %1 x %2").arg(picture.width()).arg(picture.height());
        } catch (const PlatformError& error) {
            result = QStringLiteral("refused: ") + error.description().section(QLatin1Char('\n'), 1);
        }
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        QTextStream(stdout) << QStringLiteral("%1 | %2 MB | %3 ms | %4 MB | %5")
                                   .arg(what, -34)
                                   .arg(size / 1000000, 5)
                                   .arg(timer.elapsed(), 6)
                                   .arg(usage.ru_maxrss / 1024, 5)
                                   .arg(result)
                            << Qt::endl;
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    QFile::remove(path);
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

// The median of 5 loads of one map through the program's loader, and the
// peak of the process (and of the PDF renderer it starts), in a process of
// its own.
void measureKind(const QString& what, const QString& path)
{
    const qint64 size = QFile(path).size();
    const pid_t child = fork();
    if (child == 0) {
        MapPictureLoader loader;
        std::vector<qint64> times;
        QString result;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer timer;
            timer.start();
            try {
                const QImage picture = loader.load(path);
                result = QStringLiteral("%1 x %2").arg(picture.width()).arg(picture.height());
            } catch (const PlatformError& error) {
                result = QStringLiteral("refused: ") + error.description().section(QLatin1Char('\n'), 1);
            }
            times.push_back(timer.nsecsElapsed() / 1000);
        }
        std::sort(times.begin(), times.end());
        rusage self {}, children {};
        getrusage(RUSAGE_SELF, &self);
        getrusage(RUSAGE_CHILDREN, &children);
        QTextStream(stdout) << QStringLiteral("%1 | %2 KB | %3 ms | %4 MB | %5 MB | %6")
                                   .arg(what, -22)
                                   .arg(size / 1000, 6)
                                   .arg(times[2] / 1000.0, 7, 'f', 1)
                                   .arg(self.ru_maxrss / 1024, 5)
                                   .arg(children.ru_maxrss / 1024, 5)
                                   .arg(result)
                            << Qt::endl;
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    QTextStream(stdout) << "cap " << QtPictureLoader::kDefaultAllocationLimitMb
                        << " MB; peak = resident peak of the loading process" << Qt::endl
                        << "case                               |  file    | time      | peak     | result" << Qt::endl;
    measure(QStringLiteral("small JPEG (baseline)"), [&] {
        const QString p = dir.filePath("small.jpg");
        writePadded(p, 0xFE, 0);
        return p;
    }());
    measure(QStringLiteral("JPEG padded with comments, 590 MB"), [&] {
        const QString p = dir.filePath("c590.jpg");
        writePadded(p, 0xFE, 9000);
        return p;
    }());
    measure(QStringLiteral("JPEG padded with comments, 250 MB"), [&] {
        const QString p = dir.filePath("c250.jpg");
        writePadded(p, 0xFE, 3800);
        return p;
    }());
    measure(QStringLiteral("JPEG padded with Exif, 250 MB"), [&] {
        const QString p = dir.filePath("e250.jpg");
        writePadded(p, 0xE1, 3800);
        return p;
    }());
    const int side = bench::size(8000, 1000);
    measure(QStringLiteral("bitmap %1 x %1, 24 bit").arg(side), [&] {
        const QString p = dir.filePath("big.bmp");
        writeBitmap(p, side);
        return p;
    }());

    // One map of 1920 x 1080 in every kind.
    const QImage map = mapDrawing(1920, 1080);
    const QSizeF page(460.8, 259.2); // 6.4 x 3.6 inches: 1920 x 1080 at 300 dpi
    struct Kind
    {
        const char* what;
        const char* name;
        QByteArray bytes;
    };
    const Kind kinds[] = {
        { "PNG screenshot", "map.png", encodedPicture(map, "PNG") },
        { "JPEG", "map.jpg", encodedPicture(map, "JPEG") },
        { "bitmap", "map.bmp", encodedPicture(map, "BMP") },
        { "WebP", "map.webp", encodedPicture(map, "WEBP") },
        { "TIFF", "map.tif", encodedPicture(map, "TIFF") },
        { "HEIC", "map.heic", heicOf(map) },
        { "PDF, vector map", "vector.pdf", vectorPdfMap(page) },
        { "PDF, the screenshot", "raster.pdf", pdfOfPicture(map, page) },
    };
    QTextStream(stdout) << "\n"
                        << "1920 x 1080 map        | file      | median    | peak     | renderer | picture" << Qt::endl;
    for (const Kind& kind : kinds) {
        const QString p = dir.filePath(QLatin1String(kind.name));
        write(p, kind.bytes);
        measureKind(QLatin1String(kind.what), p);
    }
    return 0;
}
