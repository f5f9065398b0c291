#include "tests/support/MapSamples.h"

#include <QBuffer>
#include <QColor>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace {

// Blocks, roads and labels drawn on `painter` over `area`.
void drawMap(QPainter& painter, const QRectF& area)
{
    painter.fillRect(area, QColor(246, 243, 232));
    const double w = area.width(), h = area.height();
    for (int i = 0; i < 24; ++i) {
        painter.fillRect(
            QRectF(area.left() + (i % 6) * w / 6 + w / 60, area.top() + (i / 6) * h / 4 + h / 40, w / 7.5, h / 5.5),
            QColor::fromHsv(i * 15 % 360, 60, 225));
    }
    painter.setPen(QPen(QColor(255, 255, 255), std::max(2.0, w / 120)));
    for (int i = 1; i < 6; ++i)
        painter.drawLine(QPointF(area.left() + i * w / 6, area.top()), QPointF(area.left() + i * w / 6, area.bottom()));
    painter.setPen(QPen(QColor(200, 60, 40), std::max(2.0, w / 200)));
    painter.drawLine(area.topLeft(), area.bottomRight());
    painter.setPen(Qt::black);
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(std::max(8, int(h / 30)));
    painter.setFont(font);
    for (int i = 0; i < 12; ++i)
        painter.drawText(QPointF(area.left() + (i % 4) * w / 4 + w / 40, area.top() + (i / 4 + 0.6) * h / 3),
            QStringLiteral("桜丘%1丁目").arg(i + 1));
}

heif_error appendTo(heif_context*, const void* data, size_t size, void* bytes)
{
    static_cast<QByteArray*>(bytes)->append(static_cast<const char*>(data), qsizetype(size));
    return heif_error { heif_error_Ok, heif_suberror_Unspecified, "" };
}

QByteArray onePagePdf(QSizeF pagePoints, const std::function<void(QPainter&, const QRectF&)>& draw)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(72);
        writer.setPageSize(QPageSize(pagePoints, QPageSize::Point));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&writer);
        draw(painter, QRectF(QPointF(0, 0), pagePoints));
    }
    return bytes;
}

} // namespace

QImage mapDrawing(int width, int height)
{
    QImage map(width, height, QImage::Format_RGB32);
    QPainter painter(&map);
    drawMap(painter, QRectF(0, 0, width, height));
    painter.end();
    map.setDotsPerMeterX(3780);
    map.setDotsPerMeterY(3780);
    return map;
}

QByteArray encodedPicture(const QImage& picture, const char* format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, format, quality))
        qFatal("cannot encode %s (are Qt's image format plugins installed?)", format);
    return bytes;
}

QByteArray heicOf(const QImage& picture, int quality, HeicPlanes planes)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const int width = rgb.width(), height = rgb.height();
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code != heif_error_Ok)
        qFatal("libheif has no HEVC encoder");
    heif_encoder_set_lossy_quality(encoder, quality);
    heif_image* image = nullptr;
    if (planes == HeicPlanes::Rgb444) {
        heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
        heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < height; ++y)
            std::memcpy(plane + qsizetype(y) * stride, rgb.constScanLine(y), size_t(width) * 3);
    } else {
        // As a phone's camera writes it: BT.601, full range, chroma halved
        // both ways.
        heif_image_create(width, height, heif_colorspace_YCbCr, heif_chroma_420, &image);
        heif_image_add_plane(image, heif_channel_Y, width, height, 8);
        heif_image_add_plane(image, heif_channel_Cb, (width + 1) / 2, (height + 1) / 2, 8);
        heif_image_add_plane(image, heif_channel_Cr, (width + 1) / 2, (height + 1) / 2, 8);
        int yStride = 0, cbStride = 0, crStride = 0;
        uint8_t* luma = heif_image_get_plane(image, heif_channel_Y, &yStride);
        uint8_t* cb = heif_image_get_plane(image, heif_channel_Cb, &cbStride);
        uint8_t* cr = heif_image_get_plane(image, heif_channel_Cr, &crStride);
        const auto byte = [](double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const QColor c = rgb.pixelColor(x, y);
                luma[qsizetype(y) * yStride + x] = byte(0.299 * c.red() + 0.587 * c.green() + 0.114 * c.blue());
            }
        }
        for (int y = 0; y < (height + 1) / 2; ++y) {
            for (int x = 0; x < (width + 1) / 2; ++x) {
                double r = 0, g = 0, b = 0;
                int n = 0;
                for (int dy = 0; dy < 2 && 2 * y + dy < height; ++dy) {
                    for (int dx = 0; dx < 2 && 2 * x + dx < width; ++dx, ++n) {
                        const QColor c = rgb.pixelColor(2 * x + dx, 2 * y + dy);
                        r += c.red(), g += c.green(), b += c.blue();
                    }
                }
                r /= n, g /= n, b /= n;
                cb[qsizetype(y) * cbStride + x] = byte(128 - 0.168736 * r - 0.331264 * g + 0.5 * b);
                cr[qsizetype(y) * crStride + x] = byte(128 + 0.5 * r - 0.418688 * g - 0.081312 * b);
            }
        }
        heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
        nclx->matrix_coefficients = heif_matrix_coefficients_ITU_R_BT_601_6;
        nclx->full_range_flag = 1;
        heif_image_set_nclx_color_profile(image, nclx);
        heif_nclx_color_profile_free(nclx);
    }
    if (heif_context_encode_image(context, image, encoder, nullptr, nullptr).code != heif_error_Ok)
        qFatal("cannot encode HEIC");
    QByteArray bytes;
    heif_writer writer {};
    writer.writer_api_version = 1;
    writer.write = appendTo;
    heif_context_write(context, &writer, &bytes);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return bytes;
}

QByteArray vectorPdfMap(QSizeF pagePoints)
{
    return onePagePdf(pagePoints, [](QPainter& painter, const QRectF& page) { drawMap(painter, page); });
}

QByteArray pdfOfPicture(const QImage& picture, QSizeF pagePoints)
{
    return onePagePdf(pagePoints, [&](QPainter& painter, const QRectF& page) { painter.drawImage(page, picture); });
}
