#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>

// Map pictures as agents get them, made here rather than kept as files: a
// map-like drawing, and that drawing in each kind of file the loader reads.
// For the tests and the benchmarks.

// Coloured blocks, roads and place names on a pale ground, `width` x
// `height` pixels, 96 dpi.
QImage mapDrawing(int width, int height);

// `picture` in one of Qt's formats ("PNG", "JPEG", "BMP", "WEBP", "TIFF").
QByteArray encodedPicture(const QImage& picture, const char* format, int quality = -1);

// `picture` as a HEIC file (HEVC through libheif's encoder): 8-bit YCbCr
// 4:2:0, BT.601 at full range, as a phone's camera writes it, or RGB 4:4:4
// as some converters do.
enum class HeicPlanes { YCbCr420, Rgb444 };
QByteArray heicOf(const QImage& picture, int quality = 80, HeicPlanes planes = HeicPlanes::YCbCr420);

// A one-page PDF of `pagePoints` (1/72 inch), the way a map service exports
// an extract: the map drawn as lines, blocks and text (`vector`), or
// `picture` placed over the whole page.
QByteArray vectorPdfMap(QSizeF pagePoints);
QByteArray pdfOfPicture(const QImage& picture, QSizeF pagePoints);
