// Map pictures that are empty, not pictures, cut short, misnamed, absurdly
// large by their headers, oddly named, folders, or gone by the time they are
// read, in every kind the loader reads (PNG, JPEG, bitmap, GIF, WebP, TIFF,
// HEIC, PDF). The corpus is generated here. None may crash, freeze or eat
// memory; each failure names the file in Japanese; the good ones load.
#include "platform/PlatformError.h"
#include "platform/Printer.h"
#include "tests/support/MapPictureLoader.h"
#include "tests/support/MapSamples.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <libheif/heif.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A map-like test picture: coloured blocks and lines, so that JPEG has
// something to encode.
QImage drawing(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    for (int i = 0; i < 12; ++i) {
        p.fillRect(
            QRect(i * width / 12, (i % 3) * height / 3, width / 14, height / 4), QColor::fromHsv(i * 30, 200, 220));
        p.drawLine(0, i * height / 12, width, height - i * height / 12);
    }
    return image;
}

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, 90))
        qFatal("cannot encode %s", format);
    return bytes;
}

// A 1 x 1 GIF (Qt writes no GIF). Logical screen size at bytes 6..9, image
// descriptor (0x2C) at byte 27 with its width and height at bytes 32..35,
// little-endian.
QByteArray tinyGif()
{
    return QByteArray::fromBase64("R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==");
}

void putLe16(QByteArray& bytes, int at, quint16 value)
{
    bytes[at] = char(value & 0xff);
    bytes[at + 1] = char(value >> 8);
}

void putLe32(QByteArray& bytes, int at, qint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((quint32(value) >> (8 * i)) & 0xff);
}

QByteArray gifClaiming(quint16 screenWidth, quint16 screenHeight, quint16 frameWidth, quint16 frameHeight)
{
    QByteArray gif = tinyGif();
    if (gif.at(27) != 0x2C)
        qFatal("the GIF's image descriptor is not where the test writes its size");
    putLe16(gif, 6, screenWidth);
    putLe16(gif, 8, screenHeight);
    putLe16(gif, 32, frameWidth);
    putLe16(gif, 34, frameHeight);
    return gif;
}

// A real BMP whose header (width at byte 18, height at byte 22) claims
// another size; a negative height means rows stored top-down.
QByteArray bmpClaiming(qint32 width, qint32 height)
{
    QByteArray bmp = encoded(drawing(40, 30), "BMP");
    putLe32(bmp, 18, width);
    putLe32(bmp, 22, height);
    return bmp;
}

// A bitmap of `width` x `height` 8-bit pixels, run-length encoded, whose
// data is only the end-of-bitmap mark: a few bytes that would decode into
// width x height bytes or more.
QByteArray rleBitmapClaiming(qint32 width, qint32 height)
{
    const QByteArray data("\x00\x01", 2);
    QByteArray bmp(14 + 40 + 256 * 4, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    putLe32(bmp, 2, qint32(bmp.size() + data.size()));
    putLe32(bmp, 10, 14 + 40 + 256 * 4);
    putLe32(bmp, 14, 40);
    putLe32(bmp, 18, width);
    putLe32(bmp, 22, height);
    putLe16(bmp, 26, 1);
    putLe16(bmp, 28, 8);
    putLe32(bmp, 30, 1); // BI_RLE8
    putLe32(bmp, 34, qint32(data.size()));
    putLe32(bmp, 46, 256);
    for (int i = 0; i < 256; ++i)
        bmp[54 + i * 4] = bmp[55 + i * 4] = bmp[56 + i * 4] = char(i);
    return bmp + data;
}

// A JPEG with `segments` comment segments of 64 KB right after its start
// marker. Written sparsely: only each segment's marker and length take room
// on the disk, the comments themselves are holes that read as zeros.
void writePaddedJpeg(const QString& path, const QByteArray& jpeg, int segments)
{
    constexpr qint64 kSegment = 2 + 0xFFFF;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg.left(2)) != 2)
        qFatal("cannot write %s", qPrintable(path));
    for (int i = 0; i < segments; ++i) {
        file.seek(2 + i * kSegment);
        file.write("\xFF\xFE\xFF\xFF", 4);
    }
    file.seek(2 + segments * kSegment);
    file.write(jpeg.mid(2));
}

void putBe32(QByteArray& bytes, int at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (8 * (3 - i))) & 0xff);
}

// A HEIC whose image-size properties (ispe: version and flags, then width
// and height, big-endian) claim another size.
QByteArray heicClaiming(quint32 width, quint32 height)
{
    QByteArray heic = heicOf(drawing(64, 48));
    int found = 0;
    for (qsizetype at = heic.indexOf("ispe"); at >= 0; at = heic.indexOf("ispe", at + 4)) {
        putBe32(heic, int(at + 8), width);
        putBe32(heic, int(at + 12), height);
        ++found;
    }
    if (!found)
        qFatal("the HEIC has no image size property to change");
    return heic;
}

// A WebP of the extended kind whose canvas (VP8X) claims `side` x `side`
// pixels, followed by the frame of a small real picture.
QByteArray webpClaiming(int side)
{
    const QByteArray small = encoded(drawing(16, 16), "WEBP");
    const QByteArray frame = small.mid(12); // its VP8 or VP8L chunk
    QByteArray vp8x("VP8X\x0a\x00\x00\x00", 8);
    vp8x += QByteArray(4, '\0'); // no alpha, animation or profiles
    for (int i = 0; i < 2; ++i) {
        const quint32 minusOne = quint32(side - 1);
        vp8x += char(minusOne & 0xff);
        vp8x += char((minusOne >> 8) & 0xff);
        vp8x += char((minusOne >> 16) & 0xff);
    }
    QByteArray webp("RIFF\0\0\0\0WEBP", 12);
    webp += vp8x + frame;
    putLe32(webp, 4, qint32(webp.size() - 8));
    return webp;
}

// A little-endian TIFF whose one 8-bit grey strip of 16 bytes is said to be
// `width` x `height` pixels.
QByteArray tiffClaiming(quint32 width, quint32 height)
{
    struct Tag
    {
        quint16 id, type;
        quint32 value;
    };
    const int entries = 8;
    const quint32 data = 8 + 2 + entries * 12 + 4;
    const Tag tags[entries] = { { 256, 4, width }, { 257, 4, height }, { 258, 3, 8 }, { 259, 3, 1 }, { 262, 3, 1 },
        { 273, 4, data }, { 278, 4, height }, { 279, 4, 16 } };
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    tiff += char(entries);
    tiff += '\0';
    for (const Tag& tag : tags) {
        QByteArray entry(12, '\0');
        putLe16(entry, 0, tag.id);
        putLe16(entry, 2, tag.type);
        putLe32(entry, 4, 1);
        putLe32(entry, 8, qint32(tag.value));
        tiff += entry;
    }
    tiff += QByteArray(4, '\0') + QByteArray(16, '\x80');
    return tiff;
}

// A PDF made of `objects` (numbered from 1, the first the catalog), with its
// cross-reference table.
QByteArray pdfOf(const QList<QByteArray>& objects)
{
    QByteArray pdf("%PDF-1.4\n");
    QList<qsizetype> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets << pdf.size();
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

QByteArray pdfStream(const QByteArray& data, const QByteArray& dictionary = QByteArray())
{
    return "<< /Length " + QByteArray::number(data.size()) + " " + dictionary + " >>\nstream\n" + data + "\nendstream";
}

// One page of `mediaBox` that draws `content`, with `resources`.
QByteArray pdfPage(const QByteArray& mediaBox, const QByteArray& content, const QByteArray& resources = "<< >>",
    const QList<QByteArray>& more = {})
{
    return pdfOf(
        QList<QByteArray> { "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            "<< /Type /Page /Parent 2 0 R /MediaBox " + mediaBox + " /Resources " + resources + " /Contents 4 0 R >>",
            pdfStream(content) }
        + more);
}

// A page that draws an image said to be 60000 x 60000 pixels: drawing it
// goes on for minutes whatever its data holds.
QByteArray pdfWithEndlessImage()
{
    return pdfPage("[0 0 500 400]", "q 400 0 0 300 50 50 cm /Im1 Do Q", "<< /XObject << /Im1 5 0 R >> >>",
        { pdfStream(qCompress(QByteArray(1000, '\0')).mid(4),
            "/Type /XObject /Subtype /Image /Width 60000 /Height 60000 /ColorSpace /DeviceRGB "
            "/BitsPerComponent 8 /Filter /FlateDecode") });
}

QString refusalOf(const QString& path, int capMb = QtPictureLoader::kDefaultAllocationLimitMb)
{
    try {
        MapPictureLoader(capMb).load(path);
    } catch (const PlatformError& error) {
        return error.description();
    }
    return QString();
}

long peakResidentKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

class TestHostilePictures : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString place(const QString& name, const QByteArray& bytes)
    {
        const QString path = QDir(m_dir.path()).filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void pictures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("loadsAs"); // invalid: refused
        QTest::addColumn<QString>("reason"); // a pattern the refusal matches

        const QImage map = drawing(320, 240);
        const QByteArray jpeg = encoded(map, "JPEG");
        const QByteArray bmp = encoded(map, "BMP");
        const QByteArray png = encoded(map, "PNG");
        const QSize none;

        QTest::newRow("bitmap") << "map.bmp" << bmp << QSize(320, 240) << QString();
        QTest::newRow("JPEG") << "map.jpg" << jpeg << QSize(320, 240) << QString();
        QTest::newRow("GIF") << "map.gif" << tinyGif() << QSize(1, 1) << QString();
        QTest::newRow("PNG named .jpg") << "png.jpg" << png << QSize(320, 240) << QString();
        QTest::newRow("GIF named .jpg") << "gif.jpg" << tinyGif() << QSize(1, 1) << QString();
        QTest::newRow("JPEG named .bmp") << "jpeg.bmp" << jpeg << QSize(320, 240) << QString();
        QTest::newRow("spaces, quotes, Japanese")
            << "物件 資料/地図 \"北側\" 'A' 案 ①.jpg" << jpeg << QSize(320, 240) << QString();

        QTest::newRow("zero bytes") << "empty.bmp" << QByteArray() << none << QStringLiteral("空");
        // Qt reads icons too, but no map comes as one.
        QTest::newRow("icon named .png") << "icon.png" << encoded(drawing(32, 32), "ICO") << none
                                         << QStringLiteral("読み込めない形式");
        QTest::newRow("text named .bmp") << "text.bmp"
                                         << QByteArray("所在 東京都港区\r\n価格 3000万円\r\n").repeated(50) << none
                                         << QStringLiteral("画像ファイルではない");
        QTest::newRow("JPEG cut short") << "cut.jpg" << jpeg.left(jpeg.size() * 6 / 10) << none
                                        << QStringLiteral("途中で切れて");
        QTest::newRow("JPEG header only") << "head.jpg" << jpeg.left(200) << none << QStringLiteral("途中で切れて");
        QTest::newRow("bitmap cut short")
            << "cut.bmp" << bmp.left(bmp.size() * 6 / 10) << none << QStringLiteral("途中で切れて");
        // A valid 1 x 1 frame on a 65535 x 65535 screen: the screen is what
        // a decoder would allocate.
        QTest::newRow("GIF screen of 65535 x 65535")
            << "huge.gif" << gifClaiming(65535, 65535, 1, 1) << none << QStringLiteral("大きすぎ");
        QTest::newRow("GIF screen and frame of 65535 x 65535")
            << "huge-frame.gif" << gifClaiming(65535, 65535, 65535, 65535) << none << QStringLiteral("大きすぎ|壊れて");
        // The logical screen bounds what is decoded: the frame's claim costs nothing.
        QTest::newRow("GIF frame of 65535 x 65535 on a 1 x 1 screen")
            << "frame.gif" << gifClaiming(1, 1, 65535, 65535) << QSize(1, 1) << QString();
        QTest::newRow("RLE bitmap claiming 30000 x 30000")
            << "huge-rle.bmp" << rleBitmapClaiming(30000, 30000) << none << QStringLiteral("大きすぎ");
        QTest::newRow("RLE bitmap claiming 65535 x 65535")
            << "huger-rle.bmp" << rleBitmapClaiming(65535, 65535) << none << QStringLiteral("大きすぎ");
        QTest::newRow("bitmap claiming 30000 x 30000")
            << "huge.bmp" << bmpClaiming(30000, 30000) << none << QStringLiteral("大きすぎ|壊れて|途中で切れて");
        QTest::newRow("bitmap claiming 30000 x -30000")
            << "topdown.bmp" << bmpClaiming(30000, -30000) << none << QStringLiteral("大きすぎ|壊れて|途中で切れて");

        // The kinds agents have today: web maps, screenshots, phone photos,
        // PDF extracts. The PDF page of 4 x 3 inches fits the flyer's map
        // room, so it is drawn at 300 dpi of its own size.
        const QByteArray webp = encoded(map, "WEBP");
        const QByteArray tiff = encoded(map, "TIFF");
        const QByteArray heic = heicOf(map);
        const QByteArray pdf = pdfOfPicture(map, QSizeF(288, 216));
        QTest::newRow("PNG") << "map.png" << png << QSize(320, 240) << QString();
        QTest::newRow("WebP") << "map.webp" << webp << QSize(320, 240) << QString();
        QTest::newRow("TIFF") << "map.tif" << tiff << QSize(320, 240) << QString();
        QTest::newRow("HEIC") << "IMG_0001.HEIC" << heic << QSize(320, 240) << QString();
        QTest::newRow("PDF") << "extract.pdf" << pdf << QSize(1200, 900) << QString();
        QTest::newRow("PDF named .jpg") << "pdf.jpg" << pdf << QSize(1200, 900) << QString();
        QTest::newRow("HEIC named .png") << "heic.png" << heic << QSize(320, 240) << QString();

        QTest::newRow("WebP cut short") << "cut.webp" << webp.left(webp.size() / 2) << none
                                        << QStringLiteral("壊れて|途中で切れて");
        QTest::newRow("WebP canvas of 16384 x 16384")
            << "huge.webp" << webpClaiming(16384) << none << QStringLiteral("大きすぎ");
        QTest::newRow("TIFF cut short") << "cut.tif" << tiff.left(tiff.size() / 2) << none
                                        << QStringLiteral("壊れて|途中で切れて");
        QTest::newRow("TIFF claiming 60000 x 60000")
            << "huge.tif" << tiffClaiming(60000, 60000) << none << QStringLiteral("大きすぎ");
        QTest::newRow("HEIC cut short") << "cut.heic" << heic.left(heic.size() * 6 / 10) << none
                                        << QStringLiteral("壊れて|途中で切れて");
        QTest::newRow("HEIC claiming 20000 x 20000")
            << "huge.heic" << heicClaiming(20000, 20000) << none << QStringLiteral("大きすぎます（20000 × 20000");
        QTest::newRow("HEIC claiming 60000 x 60000")
            << "huger.heic" << heicClaiming(60000, 60000) << none << QStringLiteral("大きすぎ");
        QTest::newRow("HEIC claiming 0 x 0") << "none.heic" << heicClaiming(0, 0) << none << QStringLiteral("壊れて");
        // AVIF shares HEIC's container; it is not a kind the program reads.
        QTest::newRow("AVIF") << "map.avif"
                              << QByteArray("\0\0\0\x1c"
                                            "ftypavif\0\0\0\0avifmif1miaf",
                                     28)
                + heic.mid(28) << none
                              << QStringLiteral("読み込めない形式");
        QTest::newRow("PDF cut short") << "cut.pdf" << pdf.left(pdf.size() / 3) << none
                                       << QStringLiteral("壊れて|途中で切れて");
        QTest::newRow("PDF header, then text")
            << "text.pdf" << QByteArray("%PDF-1.4\n所在 東京都港区\n").repeated(20) << none << QStringLiteral("壊れて");
        QTest::newRow("PDF without pages")
            << "empty.pdf" << pdfOf({ "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>" })
            << none << QStringLiteral("ページがありません|壊れて");
        // A page of a billion points a side is drawn as small as it prints.
        QTest::newRow("PDF page of 1000000000 points")
            << "vast.pdf" << pdfPage("[0 0 1000000000 1000000000]", "0 0 m 1000000000 1000000000 l S")
            << QSize(1656, 1656) << QString();
    }

    void pictures()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, loadsAs);
        QFETCH(QString, reason);
        const QString path = place(name, bytes);
        const long peakBefore = peakResidentKb();

        MapPictureLoader loader;
        QString refusal;
        QImage picture;
        try {
            picture = loader.load(path);
        } catch (const PlatformError& error) {
            refusal = error.description();
        }
        const long grownMb = (peakResidentKb() - peakBefore) / 1024;
        if (refusal.isEmpty())
            qInfo("loaded %dx%d", picture.width(), picture.height());
        else
            qInfo("refused: %s", qPrintable(refusal.section(QLatin1Char('\n'), 1)));
        QVERIFY2(grownMb < 64, qPrintable(QStringLiteral("peak memory grew by %1 MB").arg(grownMb)));

        if (loadsAs.isValid()) {
            QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
            QCOMPARE(picture.size(), loadsAs);
        } else {
            QVERIFY2(!refusal.isEmpty(), "a hostile picture was loaded");
            QVERIFY2(refusal.contains(QRegularExpression(reason)), qPrintable(refusal));
            QVERIFY2(refusal.contains(QDir::toNativeSeparators(path)), qPrintable(refusal));
        }
    }

    // A pipe would block the open for good, a device never ends or reads as
    // empty: neither is opened for reading, and the refusal comes at once.
    void onlyRegularFilesAreRead()
    {
        const QString fifo = QDir(m_dir.path()).filePath(QStringLiteral("pipe.jpg"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString& path : { fifo, QStringLiteral("/dev/zero") }) {
            auto refusal = std::async(std::launch::async, [path] { return refusalOf(path); });
            if (refusal.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
                ::close(::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK)); // lets a stuck open go
                QFAIL(qPrintable(path + QStringLiteral(": still waiting after 10 s")));
            }
            const QString text = refusal.get();
            QVERIFY2(text.contains(QStringLiteral("通常のファイルではありません")), qPrintable(text));
            QVERIFY(text.contains(path));
        }
    }

    // A 300 x 200 map padded with comments: past the cap it is refused by its
    // size before it is read (590 MB took 15 s and 2.9 GB); below it, the
    // padding is never held in memory, and the picture is the same.
    void paddedJpegs()
    {
        const QImage map = drawing(300, 200);
        const QByteArray jpeg = encoded(map, "JPEG");
        const QString huge = QDir(m_dir.path()).filePath(QStringLiteral("padded-590MB.jpg"));
        writePaddedJpeg(huge, jpeg, 9000);
        QVERIFY(QFileInfo(huge).size() > 589 * 1000 * 1000);
        const QString refusal = refusalOf(huge);
        QFile::remove(huge);
        QVERIFY2(refusal.contains(QStringLiteral("大きすぎ")), qPrintable(refusal));

        const QString padded = QDir(m_dir.path()).filePath(QStringLiteral("padded-40MB.jpg"));
        writePaddedJpeg(padded, jpeg, 640);
        const long peakBefore = peakResidentKb();
        const QImage loaded = MapPictureLoader(64).load(padded);
        const long grownMb = (peakResidentKb() - peakBefore) / 1024;
        QFile::remove(padded);
        QVERIFY2(grownMb < 40, qPrintable(QStringLiteral("peak memory grew by %1 MB").arg(grownMb)));
        QCOMPARE(loaded, QImage::fromData(jpeg).convertToFormat(loaded.format()));

        // Entropy-coded data between many scans passes unchanged.
        QByteArray progressive;
        QBuffer buffer(&progressive);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        QVERIFY(writer.write(map));
        const QImage scans = MapPictureLoader().load(place(QStringLiteral("progressive.jpg"), progressive));
        QCOMPARE(scans, QImage::fromData(progressive).convertToFormat(scans.format()));
    }

    void foldersAndVanishedFilesAreNamed()
    {
        MapPictureLoader loader;
        QVERIFY(loader.load(QString()).isNull()); // no path: no picture, no failure

        const QString folder = QDir(m_dir.path()).filePath(QStringLiteral("地図.jpg"));
        QVERIFY(QDir().mkpath(folder));
        try {
            loader.load(folder);
            QFAIL("a folder was loaded");
        } catch (const PlatformError& error) {
            QVERIFY(error.description().contains(QStringLiteral("フォルダー")));
        }

        // Chosen in the dialog, then removed before it is read.
        const QString gone = place(QStringLiteral("gone.jpg"), encoded(drawing(50, 50), "JPEG"));
        QVERIFY(QFile::remove(gone));
        try {
            loader.load(gone);
            QFAIL("a vanished file was loaded");
        } catch (const PlatformError& error) {
            QVERIFY(error.description().contains(QStringLiteral("見つかりません")));
            QVERIFY(error.description().contains(gone));
        }
    }

    // Its planes are turned into RGB by the loader itself: the colours are
    // those libheif gives (which decodes the file a second time here).
    void aHeicPhotoHasTheColoursLibheifGivesIt_data()
    {
        QTest::addColumn<HeicPlanes>("planes");
        QTest::newRow("YCbCr 4:2:0, as phones write it") << HeicPlanes::YCbCr420;
        QTest::newRow("RGB 4:4:4") << HeicPlanes::Rgb444;
    }

    void aHeicPhotoHasTheColoursLibheifGivesIt()
    {
        QFETCH(HeicPlanes, planes);
        QImage colours = drawing(320, 240);
        QPainter(&colours).fillRect(0, 0, 160, 120, QColor(230, 20, 20));
        const QByteArray heic = heicOf(colours, 90, planes);
        const QImage loaded = MapPictureLoader().load(place(QStringLiteral("colours.heic"), heic));

        heif_context* context = heif_context_alloc();
        QCOMPARE(
            heif_context_read_from_memory_without_copy(context, heic.constData(), size_t(heic.size()), nullptr).code,
            heif_error_Ok);
        heif_image_handle* handle = nullptr;
        heif_context_get_primary_image_handle(context, &handle);
        heif_image* rgb = nullptr;
        QCOMPARE(heif_decode_image(handle, &rgb, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code,
            heif_error_Ok);
        int stride = 0;
        const uint8_t* pixels = heif_image_get_plane_readonly(rgb, heif_channel_interleaved, &stride);
        QCOMPARE(loaded.size(), QSize(320, 240));
        int worst = 0;
        for (int y = 0; y < loaded.height(); ++y) {
            for (int x = 0; x < loaded.width(); ++x) {
                const QRgb mine = loaded.pixel(x, y);
                const uint8_t* theirs = pixels + qsizetype(y) * stride + x * 3;
                worst = std::max({ worst, qAbs(qRed(mine) - theirs[0]), qAbs(qGreen(mine) - theirs[1]),
                    qAbs(qBlue(mine) - theirs[2]) });
            }
        }
        heif_image_release(rgb);
        heif_image_handle_release(handle);
        heif_context_free(context);
        QVERIFY2(worst <= 2, qPrintable(QStringLiteral("a channel differs by %1").arg(worst)));
        // And the red corner is red.
        const QColor corner = loaded.pixelColor(80, 60);
        QVERIFY2(qAbs(corner.red() - 230) < 8 && corner.green() < 30 && corner.blue() < 30, qPrintable(corner.name()));
    }

    // A PDF map prints at 300 dpi in the flyer's map room (10250 x 7950
    // twips): an A4 page is scaled down to the room's height there, so it is
    // drawn at 300 dpi of that height, and keeps the size of an A4 page.
    void aPdfMapIsDrawnToPrintSharply()
    {
        const QImage page = MapPictureLoader().load(place(QStringLiteral("a4.pdf"), vectorPdfMap(QSizeF(595, 842))));
        QVERIFY2(qAbs(page.height() - 7950 / 1440.0 * 300) <= 1.5, qPrintable(QString::number(page.height())));
        const QSizeF twips = Printer::pictureSizeTwips(page);
        QVERIFY2(qAbs(twips.width() - 595 * 20) < 40 && qAbs(twips.height() - 842 * 20) < 40,
            qPrintable(QStringLiteral("%1 x %2 twips").arg(twips.width()).arg(twips.height())));
        // Drawn, not blank: the blocks of the map are there.
        QVERIFY(page.pixelColor(page.width() / 2, page.height() / 2) != QColor(Qt::white)
            || page.pixelColor(page.width() / 4, page.height() / 3) != QColor(Qt::white));
    }

    // The page is rendered in a child process made while Qt's thread pool
    // may be running (converting a large picture starts it): the child has
    // none of its threads, and must not wait for them.
    void aPdfLoadsWhileQtsThreadsAreBusy()
    {
        const QImage large = drawing(3000, 2000).convertToFormat(QImage::Format_RGB888);
        QVERIFY(!large.isNull());
        const QString path = place(QStringLiteral("after.pdf"), vectorPdfMap(QSizeF(595, 842)));
        QElapsedTimer timer;
        timer.start();
        const QImage page = MapPictureLoader(QtPictureLoader::kDefaultAllocationLimitMb, 3000).load(path);
        QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(page.format(), QImage::Format_RGB32);
    }

    // A PDF whose page takes minutes to draw is stopped at the time limit and
    // refused as too large; the program goes on at once.
    void aPdfThatNeverFinishesDrawingIsStopped()
    {
        const QString path = place(QStringLiteral("endless.pdf"), pdfWithEndlessImage());
        QElapsedTimer timer;
        timer.start();
        QString refusal;
        try {
            MapPictureLoader(QtPictureLoader::kDefaultAllocationLimitMb, 1500).load(path);
        } catch (const PictureError& error) {
            refusal = error.description();
            QCOMPARE(error.fault(), PictureFault::TooLarge);
        }
        qInfo("refused after %lld ms", timer.elapsed());
        QVERIFY2(timer.elapsed() < 4000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY2(refusal.contains(QStringLiteral("描けませんでした")), qPrintable(refusal));
        QVERIFY(refusal.contains(path));
    }

    // The cap holds for real decodes too, not only for declared sizes: with a
    // cap of 1 MB, 400 x 400 pixels (0.6 MB) load and 600 x 600 (1.4 MB) do not.
    void theAllocationCapIsKept()
    {
        QCOMPARE(QtPictureLoader().allocationLimitMb(), QtPictureLoader::kDefaultAllocationLimitMb);
        MapPictureLoader small(1);
        const QString fits = place(QStringLiteral("fits.png"), encoded(drawing(400, 400), "PNG"));
        const QString over = place(QStringLiteral("over.png"), encoded(drawing(600, 600), "PNG"));
        QCOMPARE(small.load(fits).size(), QSize(400, 400));
        QVERIFY_THROWS_EXCEPTION(PlatformError, small.load(over));
        // A picture near the default cap's scale still loads by default.
        const QString large = place(QStringLiteral("large.png"), encoded(drawing(4000, 3000), "PNG"));
        QCOMPARE(MapPictureLoader().load(large).size(), QSize(4000, 3000));
    }
};

QTEST_MAIN(TestHostilePictures)
#include "TestHostilePictures.moc"
