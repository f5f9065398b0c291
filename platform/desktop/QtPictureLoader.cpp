#include "platform/desktop/QtPictureLoader.h"

#include "platform/PlatformError.h"
#include "platform/desktop/JpegMarkerFilter.h"

#include <QDir>
#include <QFile>
#include <QImageReader>

#include <memory>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void refuse(const QString& path, PictureFault fault, const QString& what)
{
    throw PictureError(
        fault, path, QStringLiteral("地図の画像を読み込めません: %1\n%2").arg(QDir::toNativeSeparators(path), what));
}

const QString kNotAPicture = QStringLiteral(
    "画像ファイルではないか、読み込めない形式です（PNG・JPEG・ビットマップ・GIF・WebP・TIFF・HEIC・PDF が使えます）。");

// The kinds Qt's readers decode that maps come in; Qt knows more (icons,
// Targa, PPM, XPM ...), which are refused like any other file.
bool isMapFormat(const QByteArray& format)
{
    for (const char* kind : { "png", "jpeg", "bmp", "gif", "webp", "tiff" }) {
        if (format == kind)
            return true;
    }
    return false;
}

// The little-endian number of `bytes` bytes at `at` of a header.
// REQUIRES: the header holds them.
quint32 littleEndian(const QByteArray& header, int at, int bytes)
{
    quint32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | quint8(header[at + i]);
    return value;
}

// A JPEG that lost its end still decodes, its missing part painted grey; a
// map printed that way would look whole to nobody. The end-of-image marker
// must be present near the end of the file (cameras may append a few bytes).
bool jpegEndsProperly(QFile& file)
{
    const qint64 size = file.size();
    const qint64 tail = qMin<qint64>(size, 4096);
    if (!file.seek(size - tail))
        return false;
    return file.read(tail).contains(QByteArray("\xFF\xD9", 2));
}

// The size a bitmap or GIF header declares (for a GIF its logical screen,
// which a decoder allocates whatever its frames hold); for other formats what
// the reader finds. Qt's own handlers refuse some absurd headers without
// telling the size, which the user deserves to hear.
QSize declaredSize(QFile& file, const QByteArray& format, QImageReader& reader)
{
    if (format == "bmp" || format == "gif") {
        if (!file.seek(0))
            return QSize();
        const QByteArray h = file.read(26);
        auto le = [&](int at, int bytes) { return littleEndian(h, at, bytes); };
        QSize size;
        if (format == "gif" && h.size() >= 10)
            size = QSize(int(le(6, 2)), int(le(8, 2)));
        else if (format == "bmp" && h.size() >= 26 && le(14, 4) >= 40)
            size = QSize(qAbs(qint32(le(18, 4))), qAbs(qint32(le(22, 4))));
        file.seek(0);
        if (size.isValid())
            return size;
    }
    return reader.size();
}

// An uncompressed bitmap that lost its end still decodes, the missing rows
// left blank. Its header tells how long the pixel rows must be.
bool bitmapIsComplete(QFile& file)
{
    if (!file.seek(0))
        return false;
    const QByteArray header = file.read(54);
    file.seek(0); // the decoder reads from the start
    if (header.size() < 54)
        return false;
    auto le = [&](int at, int bytes) { return littleEndian(header, at, bytes); };
    const quint32 infoSize = le(14, 4);
    const quint32 compression = le(30, 4);
    if (infoSize < 40 || (compression != 0 && compression != 3)) // old or compressed: the decoder judges
        return true;
    const qint64 width = qint32(le(18, 4));
    const qint64 height = qAbs(qint64(qint32(le(22, 4))));
    const qint64 bitsPerPixel = le(28, 2);
    const qint64 rowBytes = ((qAbs(width) * bitsPerPixel + 31) / 32) * 4;
    return file.size() >= qint64(le(10, 4)) + rowBytes * height;
}

// Opens `path` for reading without ever waiting: only a regular file is
// read, since a named pipe, a terminal or a device may block for good or
// never end. Its size is checked before a byte is read.
void openRegularFile(QFile& file, const QString& path, qint64 maxBytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            refuse(path, PictureFault::NotFound,
                QStringLiteral("ファイルが見つかりません（移動または削除された可能性があります）。"));
        if (errno == ENXIO)
            refuse(path, PictureFault::NotReadable,
                QStringLiteral(
                    "通常のファイルではありません（名前付きパイプ・装置など）。画像ファイルを選んで下さい。"));
        refuse(path, PictureFault::NotReadable,
            QStringLiteral("ファイルを開けません（読み取りが許可されていない可能性があります）。"));
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        ::close(fd);
        if (folder)
            refuse(
                path, PictureFault::NotReadable, QStringLiteral("これはフォルダーです。画像ファイルを選んで下さい。"));
        refuse(path, PictureFault::NotReadable,
            QStringLiteral("通常のファイルではありません（名前付きパイプ・装置など）。画像ファイルを選んで下さい。"));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (st.st_size == 0) {
        ::close(fd);
        refuse(path, PictureFault::Damaged, QStringLiteral("ファイルが空です（0バイト）。"));
    }
    if (st.st_size > maxBytes) {
        ::close(fd);
        refuse(path, PictureFault::TooLarge,
            QStringLiteral("ファイルが大きすぎます（%1 MB）。%2 MB までのファイルが使えます。")
                .arg((st.st_size + 1024 * 1024 - 1) / (1024 * 1024))
                .arg(maxBytes / (1024 * 1024)));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        refuse(path, PictureFault::NotReadable,
            QStringLiteral("ファイルを開けません（読み取りが許可されていない可能性があります）。"));
    }
}

} // namespace

QtPictureLoader::QtPictureLoader(int allocationLimitMb, std::vector<const PictureDecoder*> decoders)
    : m_allocationLimitMb(allocationLimitMb)
    , m_decoders(std::move(decoders))
{
}

QImage QtPictureLoader::load(const QString& path)
{
    if (path.isEmpty())
        return QImage();
    // No file name holds a NUL; a stored path that does was never a file's.
    if (path.contains(QChar(0)))
        refuse(path, PictureFault::NotFound, QStringLiteral("ファイル名に使えない文字が含まれています。"));

    // A file may be as large as the decoded picture may be: an uncompressed
    // bitmap at the cap is about that size, and nothing real is larger.
    const qint64 cap = qint64(m_allocationLimitMb) * 1024 * 1024;
    QFile file;
    openRegularFile(file, path, cap);

    // Kinds that Qt does not read go to their decoders, by their first bytes.
    const QByteArray head = file.peek(PictureDecoder::kHeadBytes);
    for (const PictureDecoder* decoder : m_decoders) {
        if (!decoder->recognizes(head))
            continue;
        const QByteArray contents = file.readAll();
        if (contents.size() != file.size())
            refuse(path, PictureFault::NotReadable,
                QStringLiteral("ファイルを最後まで読めませんでした（%1）。").arg(file.errorString()));
        try {
            return decoder->decode(contents, cap);
        } catch (const PictureError& error) {
            refuse(path, error.fault(), error.description());
        }
    }

    const QByteArray format = QImageReader::imageFormat(&file);
    if (!isMapFormat(format))
        refuse(path, PictureFault::NotSupported, kNotAPicture);
    file.seek(0);
    std::unique_ptr<JpegMarkerFilter> jpeg;
    if (format == "jpeg")
        jpeg = std::make_unique<JpegMarkerFilter>(file);
    QImageReader reader(jpeg ? static_cast<QIODevice*>(jpeg.get()) : &file, format);
    reader.setAllocationLimit(m_allocationLimitMb);

    // The declared size is checked before decoding, so that a header that
    // claims a huge picture costs nothing.
    const QSize declared = declaredSize(file, format, reader);
    if (declared.isValid()) {
        const qint64 bytes = qint64(declared.width()) * declared.height() * 4;
        if (bytes > cap)
            refuse(path, PictureFault::TooLarge,
                QStringLiteral("画像が大きすぎます（%1 × %2 ピクセル）。%3 MB までの画像が使えます。")
                    .arg(declared.width())
                    .arg(declared.height())
                    .arg(m_allocationLimitMb));
    }

    if (format == "bmp" && !bitmapIsComplete(file))
        refuse(path, PictureFault::Damaged, QStringLiteral("画像ファイルが途中で切れています。"));

    QImage picture = reader.read();
    if (picture.isNull()) {
        switch (reader.error()) {
        case QImageReader::DeviceError:
            refuse(path, PictureFault::NotReadable,
                QStringLiteral("ファイルを読めませんでした（%1）。").arg(reader.errorString()));
        case QImageReader::UnsupportedFormatError:
            refuse(path, PictureFault::NotSupported, kNotAPicture);
        default:
            refuse(path, PictureFault::Damaged, QStringLiteral("画像ファイルが壊れているか、途中で切れています。"));
        }
    }
    if (format == "jpeg" && !jpegEndsProperly(file))
        refuse(path, PictureFault::Damaged, QStringLiteral("画像ファイルが途中で切れています。"));
    return picture;
}
