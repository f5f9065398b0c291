#include "platform/QtPictureLoader.h"

#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace {

[[noreturn]] void refuse(const QString& path, const QString& what)
{
    throw PlatformError(QStringLiteral("地図の画像を読み込めません: %1\n%2").arg(QDir::toNativeSeparators(path), what));
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

} // namespace

QtPictureLoader::QtPictureLoader(int allocationLimitMb)
    : m_allocationLimitMb(allocationLimitMb)
{
}

QImage QtPictureLoader::load(const QString& path)
{
    if (path.isEmpty())
        return QImage();

    const QFileInfo info(path);
    if (!info.exists())
        refuse(path, QStringLiteral("ファイルが見つかりません（移動または削除された可能性があります）。"));
    if (info.isDir())
        refuse(path, QStringLiteral("これはフォルダーです。画像ファイルを選んで下さい。"));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        refuse(path, QStringLiteral("ファイルを開けません（読み取りが許可されていない可能性があります）。"));
    if (file.size() == 0)
        refuse(path, QStringLiteral("ファイルが空です（0バイト）。"));

    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(m_allocationLimitMb);
    const QByteArray format = reader.format();
    if (format.isEmpty())
        refuse(path, QStringLiteral("画像ファイルではないか、読み込めない形式です（ビットマップ・GIF・JPEG が使えます）。"));

    // The declared size is checked before decoding, so that a header that
    // claims a huge picture costs nothing.
    const QSize declared = reader.size();
    if (declared.isValid()) {
        const qint64 bytes = qint64(declared.width()) * declared.height() * 4;
        if (bytes > qint64(m_allocationLimitMb) * 1024 * 1024)
            refuse(path, QStringLiteral("画像が大きすぎます（%1 × %2 ピクセル）。%3 MB までの画像が使えます。")
                             .arg(declared.width())
                             .arg(declared.height())
                             .arg(m_allocationLimitMb));
    }

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
