#include "platform/pdf/PopplerPictureDecoder.h"

#include <poppler/qt6/poppler-qt6.h>

#include <QColor>
#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double kTwipsPerPoint = 20;
constexpr double kPointsPerInch = 72;

// What the child sends back, followed by `messageBytes` of UTF-8 and, when
// `fault` is kRendered, `height` rows of `bytesPerLine` bytes of a 32-bit
// QImage format.
struct Reply
{
    static constexpr qint32 kRendered = -1;
    qint32 fault = kRendered; // a PictureFault otherwise
    qint32 width = 0;
    qint32 height = 0;
    qint32 bytesPerLine = 0;
    qint32 format = QImage::Format_Invalid;
    double dpi = 0;
    qint32 messageBytes = 0;
};

bool isFourBytesAPixel(qint32 format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
        || format == QImage::Format_ARGB32_Premultiplied;
}

[[noreturn]] void refuse(PictureFault fault, const QString& what)
{
    throw PictureError(fault, QString(), what);
}

bool writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(std::min<qint64>(size, 1 << 20)));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// Reads `size` bytes, waiting no later than `deadline`. False at the end of
// the stream or the deadline (`timedOut` then says which).
bool readAll(int fd, char* data, qint64 size, const QDeadlineTimer& deadline, bool& timedOut)
{
    timedOut = false;
    while (size > 0) {
        pollfd waiting { fd, POLLIN, 0 };
        const int ready = ::poll(&waiting, 1, int(std::max<qint64>(0, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            timedOut = true;
            return false;
        }
        const ssize_t got = ::read(fd, data, size_t(std::min<qint64>(size, 1 << 20)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= got;
    }
    return true;
}

// The program's address space now, bytes: the child may take the cap beyond.
qint64 addressSpaceInUse()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const qint64 pages = statm.readLine().split(' ').value(0).toLongLong();
    return pages > 0 ? pages * ::sysconf(_SC_PAGESIZE) : -1;
}

void ignorePopplerMessages(const QString&, const QVariant&) { }

// In the child: renders the first page, or says why not.
Reply renderFirstPage(const QByteArray& contents, const PopplerPictureDecoder& decoder, qint64 limitBytes,
    QImage& picture, QString& message)
{
    Reply reply;
    const auto fail = [&](PictureFault fault, const QString& what) {
        reply.fault = qint32(fault);
        message = what;
        return reply;
    };
    Poppler::setDebugErrorFunction(ignorePopplerMessages, QVariant());
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(contents);
    if (!document)
        return fail(PictureFault::Damaged, QStringLiteral("PDF ファイルが壊れているか、途中で切れています。"));
    if (document->isLocked())
        return fail(PictureFault::NotSupported, QStringLiteral("パスワードで保護された PDF ファイルは読めません。"));
    if (document->numPages() < 1)
        return fail(PictureFault::Damaged, QStringLiteral("PDF ファイルにページがありません。"));
    const std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page)
        return fail(PictureFault::Damaged, QStringLiteral("PDF ファイルの最初のページが壊れています。"));
    const QSizeF points = page->pageSizeF();
    if (!(points.width() > 0) || !(points.height() > 0) || !std::isfinite(points.width())
        || !std::isfinite(points.height()))
        return fail(PictureFault::Damaged, QStringLiteral("PDF ファイルの最初のページに大きさがありません。"));

    double dpi = decoder.renderDpi(points);
    const auto pixels = [&](double side) { return std::max(1.0, std::floor(side / kPointsPerInch * dpi)); };
    // The size declared for the picture, before it is drawn.
    const double bytes = pixels(points.width()) * pixels(points.height()) * 4;
    if (bytes > double(limitBytes))
        dpi *= std::sqrt(double(limitBytes) / bytes) * 0.99;

    document->setPaperColor(Qt::white);
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    picture = page->renderToImage(dpi, dpi);
    if (picture.isNull() || !isFourBytesAPixel(picture.format()))
        return fail(
            PictureFault::Damaged, QStringLiteral("PDF ファイルの最初のページを描けませんでした（壊れています）。"));
    // Sent as drawn: converting it here could wait for ever on the threads
    // of Qt's pool, which a child process has none of.
    reply.format = picture.format();
    reply.width = picture.width();
    reply.height = picture.height();
    reply.bytesPerLine = int(picture.bytesPerLine());
    reply.dpi = dpi;
    return reply;
}

[[noreturn]] void childMain(
    int out, const QByteArray& contents, const PopplerPictureDecoder& decoder, qint64 limitBytes, qint64 addressSpace)
{
    // The cap beyond what the program held when the child was made, and
    // room for Poppler's own tables and the picture's copies.
    if (addressSpace > 0) {
        const rlim_t limit = rlim_t(addressSpace + 2 * limitBytes + (128 << 20));
        const rlimit space { limit, limit };
        ::setrlimit(RLIMIT_AS, &space);
    }
    QImage picture;
    QString message;
    Reply reply;
    try {
        reply = renderFirstPage(contents, decoder, limitBytes, picture, message);
    } catch (const std::bad_alloc&) {
        reply = Reply();
        reply.fault = qint32(PictureFault::TooLarge);
        message = QStringLiteral("PDF の地図を描くにはメモリが足りません（中身が大きすぎます）。");
    } catch (...) {
        reply = Reply();
        reply.fault = qint32(PictureFault::Damaged);
        message = QStringLiteral("PDF ファイルが壊れています。");
    }
    const QByteArray text = message.toUtf8();
    reply.messageBytes = qint32(text.size());
    bool sent = writeAll(out, reinterpret_cast<const char*>(&reply), sizeof reply)
        && writeAll(out, text.constData(), text.size());
    if (sent && reply.fault == Reply::kRendered)
        sent = writeAll(out, reinterpret_cast<const char*>(picture.constBits()), picture.sizeInBytes());
    // Nothing of the program's own may run here: no destructors, no exit
    // handlers, no flushing of what the parent has buffered.
    ::_exit(sent ? 0 : 1);
}

} // namespace

PopplerPictureDecoder::PopplerPictureDecoder(QSizeF printRoomTwips, int timeLimitMs)
    : m_room(printRoomTwips)
    , m_timeLimitMs(timeLimitMs)
{
}

bool PopplerPictureDecoder::recognizes(const QByteArray& head) const
{
    // Readers take a header up to 1024 bytes into the file.
    return head.left(1024).contains("%PDF-");
}

double PopplerPictureDecoder::renderDpi(QSizeF pagePoints) const
{
    const double scale = std::min({ 1.0, m_room.width() / (pagePoints.width() * kTwipsPerPoint),
        m_room.height() / (pagePoints.height() * kTwipsPerPoint) });
    return kPrintDpi * scale;
}

QImage PopplerPictureDecoder::decode(const QByteArray& contents, qint64 limitBytes) const
{
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        refuse(PictureFault::NotReadable, QStringLiteral("PDF ファイルを読む準備ができません（パイプを作れません）。"));
    const qint64 addressSpace = addressSpaceInUse();
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(channel[0]);
        ::close(channel[1]);
        refuse(
            PictureFault::NotReadable, QStringLiteral("PDF ファイルを読む準備ができません（プロセスを作れません）。"));
    }
    if (child == 0) {
        ::close(channel[0]);
        childMain(channel[1], contents, *this, limitBytes, addressSpace);
    }
    ::close(channel[1]);

    const QDeadlineTimer deadline(m_timeLimitMs);
    bool timedOut = false;
    Reply reply;
    QByteArray text;
    QImage picture;
    bool complete = readAll(channel[0], reinterpret_cast<char*>(&reply), sizeof reply, deadline, timedOut);
    if (complete && reply.messageBytes > 0 && reply.messageBytes < (1 << 16)) {
        text.resize(reply.messageBytes);
        complete = readAll(channel[0], text.data(), text.size(), deadline, timedOut);
    }
    const bool rendered = complete && reply.fault == Reply::kRendered;
    if (rendered) {
        const bool plausible = reply.width > 0 && reply.height > 0 && reply.bytesPerLine >= reply.width * 4
            && qint64(reply.bytesPerLine) * reply.height <= limitBytes && isFourBytesAPixel(reply.format);
        if (plausible) {
            picture = QImage(reply.width, reply.height, QImage::Format(reply.format));
            if (picture.isNull() || picture.bytesPerLine() != reply.bytesPerLine)
                throw std::bad_alloc();
            complete = readAll(
                channel[0], reinterpret_cast<char*>(picture.bits()), picture.sizeInBytes(), deadline, timedOut);
        } else {
            complete = false;
        }
    }
    ::close(channel[0]);
    if (timedOut)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }

    if (timedOut)
        refuse(PictureFault::TooLarge,
            QStringLiteral("PDF の地図を %1 秒以内に描けませんでした（中身が大きすぎるか、複雑すぎます）。")
                .arg(m_timeLimitMs / 1000.0));
    if (!complete)
        refuse(PictureFault::Damaged, QStringLiteral("PDF ファイルが壊れています（読み込みが異常終了しました）。"));
    if (!rendered) {
        const bool known
            = reply.fault >= qint32(PictureFault::NotFound) && reply.fault <= qint32(PictureFault::TooLarge);
        refuse(known ? PictureFault(reply.fault) : PictureFault::Damaged, QString::fromUtf8(text));
    }
    // On white paper: opaque.
    picture = picture.convertToFormat(QImage::Format_RGB32);
    const int dotsPerMetre = int(std::lround(reply.dpi / 0.0254));
    picture.setDotsPerMeterX(dotsPerMetre);
    picture.setDotsPerMeterY(dotsPerMetre);
    return picture;
}
