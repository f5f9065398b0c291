#pragma once

#include "platform/PictureDecoder.h"

#include <QSizeF>

// PDF maps (a map service's extract, a scanned plan): the first page,
// rendered with Poppler on white at a resolution that prints sharply in the
// room a map has on the flyer. The flyer prints a map at its own size, or
// scaled down to fit that room; the page is rendered at 300 dots per inch of
// the size it prints at there: a page that fits the room at 300 dpi of its own
// size, an A4 page at about 140 (its picture stores that resolution, so its
// own size stays the page's). A file is recognized by "%PDF-" within its
// first 1024 bytes.
//
// The page is rendered in a child process of its own: a PDF whose drawing
// never ends (a page of millions of operations, an image of 60000 x 60000
// pixels) is stopped after the time limit and refused as too large, one that
// crashes Poppler is refused as damaged, and the child may not take more
// memory than the cap beyond what the program holds. The picture is at most
// about 2100 x 1700 pixels, whatever the page claims. A PDF with a password
// is refused as not supported.
class PopplerPictureDecoder : public PictureDecoder
{
public:
    static constexpr int kPrintDpi = 300;
    static constexpr int kDefaultTimeLimitMs = 5000;

    // `printRoomTwips`: the largest size a map prints at, twips.
    // REQUIRES: both sides of printRoomTwips > 0, timeLimitMs > 0.
    explicit PopplerPictureDecoder(QSizeF printRoomTwips, int timeLimitMs = kDefaultTimeLimitMs);

    bool recognizes(const QByteArray& head) const override;
    QImage decode(const QByteArray& contents, qint64 limitBytes) const override;

    // The resolution, dots per inch, that a page of `pagePoints` (1/72 inch)
    // is rendered at: kPrintDpi, times the scale it prints at in the room
    // when that is below 1.
    double renderDpi(QSizeF pagePoints) const;

private:
    QSizeF m_room;
    int m_timeLimitMs;
};
