#include "platform/QtPictureLoader.h"

#include "platform/PlatformError.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace {

// Whether JPEG `data` runs to its end-of-image marker. The decoder fills a
// cut-off file with grey and calls it a picture; a map half missing is no map.
// Markers cannot occur inside the compressed data (0xFF is stuffed there), so
// the image is complete when an end marker follows the last start-of-scan.
bool jpegIsComplete(const QByteArray& data)
{
    const int lastScan = int(data.lastIndexOf(QByteArray("\xFF\xDA", 2)));
    return lastScan >= 0 && data.indexOf(QByteArray("\xFF\xD9", 2), lastScan) >= 0;
}

} // namespace

QImage QtPictureLoader::load(const QString& path)
{
    if (path.isEmpty())
        return QImage();

    if (!QFileInfo(path).isFile())
        throw PlatformError(QStringLiteral("画像ファイルが見つかりません: %1").arg(path));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PlatformError(QStringLiteral("画像ファイルを読めません: %1（%2）").arg(path, file.errorString()));
    QByteArray data = file.readAll();
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);

    QImageReader reader(&buffer);
    // The file's contents decide the format, not its name: agents receive
    // maps whose extension does not match what they hold.
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format(); // read() forgets it
    QImage picture = reader.read();
    if (picture.isNull())
        throw PlatformError(QStringLiteral("画像として読み込めません: %1（%2）").arg(path, reader.errorString()));
    if (format == "jpeg" && !jpegIsComplete(data))
        throw PlatformError(QStringLiteral("画像ファイルが途中で切れています: %1").arg(path));
    return picture;
}
