#include "platform/QtPictureLoader.h"

#include "platform/PlatformError.h"

#include <QFileInfo>
#include <QImageReader>

QImage QtPictureLoader::load(const QString& path)
{
    if (path.isEmpty())
        return QImage();

    if (!QFileInfo(path).isFile())
        throw PlatformError(QStringLiteral("画像ファイルが見つかりません: %1").arg(path));

    QImageReader reader(path);
    // The file's contents decide the format, not its name: agents receive
    // maps whose extension does not match what they hold.
    reader.setDecideFormatFromContent(true);
    QImage picture = reader.read();
    if (picture.isNull())
        throw PlatformError(QStringLiteral("画像として読み込めません: %1（%2）").arg(path, reader.errorString()));
    return picture;
}
