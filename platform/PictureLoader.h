#pragma once

#include "platform/PlatformError.h"

#include <QImage>
#include <QString>

// Why a picture file could not be read.
enum class PictureFault {
    NotFound, // nothing at the path (moved or deleted)
    NotReadable, // a folder, a pipe or device, or reading is not allowed
    NotSupported, // not a picture of a kind the program reads
    Damaged, // empty, cut short or damaged
    TooLarge, // larger than the loader takes
};

// How PictureLoader::load fails: the fault, the file, and a Japanese
// description that names both, fit to be shown as it is.
class PictureError : public PlatformError
{
public:
    PictureError(PictureFault fault, const QString& path, const QString& description)
        : PlatformError(description)
        , m_fault(fault)
        , m_path(path)
    {
    }

    PictureFault fault() const { return m_fault; }
    const QString& path() const { return m_path; }

private:
    PictureFault m_fault;
    QString m_path;
};

// The fault in a few words, for a notice where a message would not fit:
// 「見つかりません」, 「開けません」, 「対応していない形式です」, 「壊れています」,
// 「大きすぎます」.
inline QString pictureFaultInShort(PictureFault fault)
{
    switch (fault) {
    case PictureFault::NotFound:
        return QStringLiteral("見つかりません");
    case PictureFault::NotReadable:
        return QStringLiteral("開けません");
    case PictureFault::NotSupported:
        return QStringLiteral("対応していない形式です");
    case PictureFault::Damaged:
        return QStringLiteral("壊れています");
    case PictureFault::TooLarge:
        return QStringLiteral("大きすぎます");
    }
    return QString();
}

// A PictureLoader reads map pictures from files: PNG, JPEG, bitmap, GIF,
// WebP, TIFF, HEIC/HEIF and PDF (its first page).
class PictureLoader
{
public:
    virtual ~PictureLoader() = default;

    // Returns the picture stored in the file at `path`, with the physical
    // resolution the file records. An empty `path` returns an empty (null)
    // picture. Throws PictureError when the file cannot be read as a picture.
    virtual QImage load(const QString& path) = 0;
};
