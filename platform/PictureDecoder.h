#pragma once

#include "platform/PictureLoader.h"

#include <QByteArray>
#include <QImage>

// A PictureDecoder reads one kind of picture that Qt's own image readers do
// not (HEIC, PDF). The picture loader keeps the guards every kind shares
// (regular files only, the size cap) and hands a decoder the files whose
// first bytes it recognizes; the file's name plays no part.
class PictureDecoder
{
public:
    // How many of a file's first bytes recognizes() is given (fewer for a
    // shorter file).
    static constexpr int kHeadBytes = 1024;

    virtual ~PictureDecoder() = default;

    // Whether a file that begins with `head` is of this decoder's kind.
    virtual bool recognizes(const QByteArray& head) const = 0;

    // The picture in `contents`, the whole file. The size the file declares
    // for it is checked against `limitBytes` (4 bytes a pixel) before
    // anything is decoded, and decoding it may not take much more. Throws
    // PictureError with an empty path and a Japanese description of what is
    // wrong, without the file's name (the loader adds it).
    virtual QImage decode(const QByteArray& contents, qint64 limitBytes) const = 0;
};
