#include "platform/desktop/QtPictureLoader.h"

#include "platform/PlatformError.h"

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

[[noreturn]] void refuse(const QString& path, const QString& what)
{
    throw PlatformError(QStringLiteral("地図の画像を読み込めません: %1\n%2").arg(QDir::toNativeSeparators(path), what));
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

// Exif and ICC segments a JPEG may carry, which the decoder keeps in memory:
// beyond this much they are left out.
constexpr qint64 kJpegMetadataBudget = 16 * 1024 * 1024;

// A JPEG as the decoder should see it: the file's bytes, read as they are
// needed, less its comments and the Exif and ICC segments beyond the budget.
// Qt's decoder keeps every such segment in memory, several times over,
// whatever its size, so a file padded with them would cost far more than its
// picture. None of them matters for a printed map (the resolution is in the
// JFIF segment, which always passes).
class JpegWithoutPadding : public QIODevice
{
public:
    explicit JpegWithoutPadding(QIODevice& source)
        : m_source(source)
    {
        open(QIODevice::ReadOnly);
    }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        while (m_out.size() < maxSize && step()) { }
        const qint64 n = qMin<qint64>(maxSize, m_out.size());
        memcpy(data, m_out.constData(), size_t(n));
        m_out.remove(0, int(n));
        return n == 0 && m_ended ? -1 : n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    enum class State { Marker, Entropy, Copy, Skip, Rest };

    // At least `count` unread input bytes, unless the file ends first.
    bool have(int count)
    {
        if (m_at > 0 && m_at == m_in.size()) {
            m_in.clear();
            m_at = 0;
        }
        while (m_in.size() - m_at < count) {
            const QByteArray more = m_source.read(64 * 1024);
            if (more.isEmpty())
                return false;
            m_in.remove(0, m_at);
            m_at = 0;
            m_in.append(more);
        }
        return true;
    }
    quint8 at(int offset) const { return quint8(m_in.at(m_at + offset)); }
    void pass(int count)
    {
        m_out.append(m_in.constData() + m_at, count);
        m_at += count;
    }

    // One piece of work; false at the end of the file.
    bool step()
    {
        switch (m_state) {
        case State::Copy:
        case State::Skip: {
            if (!have(1))
                return finish();
            const int n = int(qMin<qint64>(m_left, m_in.size() - m_at));
            if (m_state == State::Copy)
                pass(n);
            else
                m_at += n;
            m_left -= n;
            if (m_left == 0)
                m_state = m_afterSegment;
            return true;
        }
        case State::Rest:
            if (!have(1))
                return finish();
            pass(m_in.size() - m_at);
            return true;
        case State::Entropy: {
            if (!have(2)) {
                if (have(1))
                    pass(1);
                return finish();
            }
            // Entropy-coded data runs until a marker other than a restart
            // marker or a stuffed zero.
            const char* begin = m_in.constData() + m_at;
            const char* ff = static_cast<const char*>(memchr(begin, 0xFF, size_t(m_in.size() - m_at - 1)));
            if (!ff) {
                pass(m_in.size() - m_at - 1);
                return true;
            }
            pass(int(ff - begin));
            const quint8 code = at(1);
            if (code == 0x00 || (code >= 0xD0 && code <= 0xD7))
                pass(2);
            else if (code == 0xFF)
                pass(1); // fill byte
            else
                m_state = State::Marker;
            return true;
        }
        case State::Marker:
            break;
        }

        if (!have(2)) {
            if (have(1))
                pass(1);
            return finish();
        }
        if (at(0) != 0xFF || at(1) == 0xFF) {
            pass(1); // not a marker yet: the decoder skips it as it would
            return true;
        }
        const quint8 code = at(1);
        if (code == 0xD8 || code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            pass(2);
            m_state = code == 0xD8 ? State::Marker : State::Entropy;
            return true;
        }
        if (code == 0xD9) { // end of image: what follows is no business of the decoder
            pass(2);
            m_state = State::Rest;
            return true;
        }
        if (!have(4)) {
            pass(m_in.size() - m_at);
            return finish();
        }
        const qint64 length = (qint64(at(2)) << 8) | at(3);
        const qint64 segment = 2 + length;
        bool kept = code != 0xFE; // comments: nothing the map needs
        if (code == 0xE1 || code == 0xE2) // Exif, ICC profile
            kept = (m_metadata += segment) <= kJpegMetadataBudget;
        m_state = kept ? State::Copy : State::Skip;
        m_left = segment;
        m_afterSegment = code == 0xDA ? State::Entropy : State::Marker; // start of scan
        if (length < 2) { // a broken length: the decoder judges the rest
            m_state = State::Rest;
        }
        return true;
    }

    bool finish()
    {
        m_ended = true;
        return false;
    }

    QIODevice& m_source;
    QByteArray m_in;
    int m_at = 0;
    QByteArray m_out;
    State m_state = State::Marker;
    State m_afterSegment = State::Marker;
    qint64 m_left = 0;
    qint64 m_metadata = 0;
    bool m_ended = false;
};

// Opens `path` for reading without ever waiting: only a regular file is
// read, since a named pipe, a terminal or a device may block for good or
// never end. Its size is checked before a byte is read.
void openRegularFile(QFile& file, const QString& path, qint64 maxBytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            refuse(path, QStringLiteral("ファイルが見つかりません（移動または削除された可能性があります）。"));
        if (errno == ENXIO)
            refuse(path,
                QStringLiteral(
                    "通常のファイルではありません（名前付きパイプ・装置など）。画像ファイルを選んで下さい。"));
        refuse(path, QStringLiteral("ファイルを開けません（読み取りが許可されていない可能性があります）。"));
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        ::close(fd);
        if (folder)
            refuse(path, QStringLiteral("これはフォルダーです。画像ファイルを選んで下さい。"));
        refuse(path,
            QStringLiteral("通常のファイルではありません（名前付きパイプ・装置など）。画像ファイルを選んで下さい。"));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (st.st_size == 0) {
        ::close(fd);
        refuse(path, QStringLiteral("ファイルが空です（0バイト）。"));
    }
    if (st.st_size > maxBytes) {
        ::close(fd);
        refuse(path,
            QStringLiteral("ファイルが大きすぎます（%1 MB）。%2 MB までのファイルが使えます。")
                .arg((st.st_size + 1024 * 1024 - 1) / (1024 * 1024))
                .arg(maxBytes / (1024 * 1024)));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        refuse(path, QStringLiteral("ファイルを開けません（読み取りが許可されていない可能性があります）。"));
    }
}

} // namespace

QtPictureLoader::QtPictureLoader(int allocationLimitMb)
    : m_allocationLimitMb(allocationLimitMb)
{
}

QImage QtPictureLoader::load(const QString& path)
{
    if (path.isEmpty())
        return QImage();
    // No file name holds a NUL; a stored path that does was never a file's.
    if (path.contains(QChar(0)))
        refuse(path, QStringLiteral("ファイル名に使えない文字が含まれています。"));

    // A file may be as large as the decoded picture may be: an uncompressed
    // bitmap at the cap is about that size, and nothing real is larger.
    const qint64 cap = qint64(m_allocationLimitMb) * 1024 * 1024;
    QFile file;
    openRegularFile(file, path, cap);

    const QByteArray format = QImageReader::imageFormat(&file);
    if (format.isEmpty())
        refuse(path,
            QStringLiteral("画像ファイルではないか、読み込めない形式です（ビットマップ・GIF・JPEG が使えます）。"));
    file.seek(0);
    std::unique_ptr<JpegWithoutPadding> jpeg;
    if (format == "jpeg")
        jpeg = std::make_unique<JpegWithoutPadding>(file);
    QImageReader reader(jpeg ? static_cast<QIODevice*>(jpeg.get()) : &file, format);
    reader.setAllocationLimit(m_allocationLimitMb);

    // The declared size is checked before decoding, so that a header that
    // claims a huge picture costs nothing.
    const QSize declared = declaredSize(file, format, reader);
    if (declared.isValid()) {
        const qint64 bytes = qint64(declared.width()) * declared.height() * 4;
        if (bytes > qint64(m_allocationLimitMb) * 1024 * 1024)
            refuse(path,
                QStringLiteral("画像が大きすぎます（%1 × %2 ピクセル）。%3 MB までの画像が使えます。")
                    .arg(declared.width())
                    .arg(declared.height())
                    .arg(m_allocationLimitMb));
    }

    if (format == "bmp" && !bitmapIsComplete(file))
        refuse(path, QStringLiteral("画像ファイルが途中で切れています。"));

    QImage picture = reader.read();
    if (picture.isNull()) {
        if (reader.error() == QImageReader::InvalidDataError || reader.error() == QImageReader::UnknownError)
            refuse(path, QStringLiteral("画像ファイルが壊れているか、途中で切れています。"));
        refuse(path, QStringLiteral("画像として読み込めません（%1）。").arg(reader.errorString()));
    }
    if (format == "jpeg" && !jpegEndsProperly(file))
        refuse(path, QStringLiteral("画像ファイルが途中で切れています。"));
    return picture;
}
