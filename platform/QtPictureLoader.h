#pragma once

#include "platform/PictureLoader.h"

// PictureLoader on QImageReader. The file's contents decide its format, not
// its name, so a PNG or GIF named .jpg loads as what it is.
//
// What a picture may cost is capped: a file whose header declares more than
// the cap allows is refused before anything is decoded, and the decoder itself
// may not allocate more than the cap. A failure throws PlatformError with a
// Japanese description that names the file and what is wrong with it (missing,
// a folder, empty, not a picture, damaged or cut short, too large).
class QtPictureLoader : public PictureLoader
{
public:
    // Enough for a 300 dpi scan of an A3 sheet (about 4960 x 3508 pixels at
    // 4 bytes each, 70 MB) with room to spare.
    static constexpr int kDefaultAllocationLimitMb = 256;

    // REQUIRES: allocationLimitMb > 0.
    explicit QtPictureLoader(int allocationLimitMb = kDefaultAllocationLimitMb);

    QImage load(const QString& path) override;

    int allocationLimitMb() const { return m_allocationLimitMb; }

private:
    int m_allocationLimitMb;
};
