#pragma once

#include <QImage>
#include <QString>

// A PictureLoader reads map pictures (bitmap, GIF, JPEG) from files.
class PictureLoader
{
public:
    virtual ~PictureLoader() = default;

    // Returns the picture stored in the file at `path`, with the physical
    // resolution the file records. An empty `path` returns an empty (null)
    // picture. Throws PlatformError when the file cannot be read as a picture.
    virtual QImage load(const QString& path) = 0;
};
