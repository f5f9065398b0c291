#pragma once

#include "platform/PictureDecoder.h"

// HEIC/HEIF pictures, the photos of phones, with libheif: the primary image,
// turned and cropped as the file says, in 8-bit RGB (RGBA with an alpha
// plane). A file is recognized by its file-type box: major brand heic, heix,
// hevc, hevx, heim, heis, hevm, hevs, mif1 or msf1 (AVIF, another brand of
// the same container, is not one of them).
//
// The primary image's declared size is checked before anything is decoded;
// decoding is strict, so a file cut short or damaged is refused rather than
// shown with grey parts. The decoded pixels are handed over without a copy.
// A file carries no resolution: the picture has 96 dots per inch.
class HeifPictureDecoder : public PictureDecoder
{
public:
    bool recognizes(const QByteArray& head) const override;
    QImage decode(const QByteArray& contents, qint64 limitBytes) const override;
};
