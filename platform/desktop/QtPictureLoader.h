#pragma once

#include "platform/PictureDecoder.h"
#include "platform/PictureLoader.h"

#include <vector>

// PictureLoader on QImageReader (PNG, JPEG, bitmap, GIF, and WebP and TIFF
// through Qt's image format plugins), and on the decoders it is given for the
// kinds Qt does not read (HEIC, PDF). The file's contents decide its format,
// not its name, so a PNG or GIF named .jpg loads as what it is; the kinds Qt
// reads besides (icons, Targa, PPM ...) are refused as no map picture.
//
// Only regular files are read, opened without waiting (a named pipe or a
// device is refused at once, never read). What a picture may cost is capped:
// a file larger than the cap is refused before it is read, a file whose
// header declares more pixels than the cap allows is refused before anything
// is decoded, and the decoder itself may not allocate more than the cap. A
// JPEG's comments, and its Exif and ICC segments beyond 16 MB, are not handed
// to the decoder, which would keep them in memory several times over; so
// loading any file costs at most about twice the cap. The same guards hold for
// the decoders' kinds: only regular files up to the cap are handed to them,
// whole, and each checks the size its file declares before decoding. A
// failure throws PictureError with a Japanese description that names the file
// and what is wrong with it (missing, a folder, not a regular file, empty,
// too large, not a picture of a kind it reads, damaged or cut short).
class QtPictureLoader : public PictureLoader
{
public:
    // Enough for a 300 dpi scan of an A3 sheet (about 4960 x 3508 pixels at
    // 4 bytes each, 70 MB) with room to spare.
    static constexpr int kDefaultAllocationLimitMb = 256;

    // `decoders` are asked in turn whether a file is theirs before Qt's
    // readers are; they must outlive the loader.
    // REQUIRES: allocationLimitMb > 0.
    explicit QtPictureLoader(
        int allocationLimitMb = kDefaultAllocationLimitMb, std::vector<const PictureDecoder*> decoders = {});

    QImage load(const QString& path) override;

    int allocationLimitMb() const { return m_allocationLimitMb; }

private:
    int m_allocationLimitMb;
    std::vector<const PictureDecoder*> m_decoders;
};
