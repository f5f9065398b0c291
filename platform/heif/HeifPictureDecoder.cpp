#include "platform/heif/HeifPictureDecoder.h"

#include <QLoggingCategory>

#include <libheif/heif.h>

#include <QThread>

#include <cmath>
#include <memory>
#include <new>

namespace {

Q_LOGGING_CATEGORY(lcHeif, "fudousan.pictures.heif", QtWarningMsg)

// A side no image of the file may exceed, whatever the primary one claims
// (thumbnails, tiles, alpha planes).
constexpr int kLongestSide = 32768;

[[noreturn]] void refuse(PictureFault fault, const QString& what)
{
    throw PictureError(fault, QString(), what);
}

// libheif's own words are English: they go to the log, not to the agent.
[[noreturn]] void damaged(const heif_error& error)
{
    qCInfo(lcHeif) << "libheif:" << (error.message ? error.message : "");
    refuse(PictureFault::Damaged, QStringLiteral("HEIC 画像ファイルが壊れているか、途中で切れています。"));
}

[[noreturn]] void unsupported(const heif_error& error)
{
    qCInfo(lcHeif) << "libheif:" << (error.message ? error.message : "");
    refuse(PictureFault::NotSupported, QStringLiteral("この HEIC/HEIF ファイルの形式には対応していません。"));
}

struct ContextFree
{
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease
{
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct OptionsFree
{
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

struct ImageRelease
{
    void operator()(heif_image* image) const { heif_image_release(image); }
};

QImage at96Dpi(QImage picture)
{
    picture.setDotsPerMeterX(3780);
    picture.setDotsPerMeterY(3780);
    return picture;
}

// Decodes strictly: a file cut short or damaged is refused rather than shown
// with grey parts.
heif_image* decodeImage(
    const heif_image_handle* handle, heif_colorspace space, heif_chroma chroma, const heif_decoding_options* options)
{
    heif_image* decoded = nullptr;
    const heif_error error = heif_decode_image(handle, &decoded, space, chroma, options);
    if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype) {
        heif_image_release(decoded);
        unsupported(error);
    }
    if (error.code != heif_error_Ok || !decoded) {
        heif_image_release(decoded);
        damaged(error);
    }
    if (heif_image_get_decoding_warnings(decoded, 0, nullptr, 0) > 0) {
        heif_image_release(decoded);
        refuse(PictureFault::Damaged, QStringLiteral("HEIC 画像ファイルが壊れているか、途中で切れています。"));
    }
    return decoded;
}

// Luma weights of the matrices photos use (ITU-R BT.601, BT.709, BT.2020);
// false for others.
bool lumaWeights(heif_matrix_coefficients matrix, double& kr, double& kb)
{
    switch (matrix) {
    case heif_matrix_coefficients_ITU_R_BT_709_5:
        kr = 0.2126, kb = 0.0722;
        return true;
    case heif_matrix_coefficients_unspecified:
    case heif_matrix_coefficients_ITU_R_BT_470_6_System_B_G:
    case heif_matrix_coefficients_ITU_R_BT_601_6:
        kr = 0.299, kb = 0.114;
        return true;
    case heif_matrix_coefficients_ITU_R_BT_2020_2_non_constant_luminance:
        kr = 0.2627, kb = 0.0593;
        return true;
    default:
        return false;
    }
}

// Whether the decoded image has `channel` with 8 bits a sample (asking
// libheif for the depth of a channel it lacks stops the program).
bool eightBit(const heif_image* planes, heif_channel channel)
{
    return heif_image_has_channel(planes, channel) && heif_image_get_bits_per_pixel(planes, channel) == 8;
}

// The RGB picture of 8-bit planar RGB.
QImage fromRgbPlanes(const heif_image* planes)
{
    const int width = heif_image_get_width(planes, heif_channel_R);
    const int height = heif_image_get_height(planes, heif_channel_R);
    int strides[3] = {};
    const uint8_t* rows[3] = {};
    const heif_channel channels[3] = { heif_channel_R, heif_channel_G, heif_channel_B };
    for (int i = 0; i < 3; ++i) {
        if (heif_image_get_width(planes, channels[i]) < width || heif_image_get_height(planes, channels[i]) < height)
            return QImage();
        rows[i] = heif_image_get_plane_readonly(planes, channels[i], &strides[i]);
        if (!rows[i])
            return QImage();
    }
    if (width <= 0 || height <= 0)
        return QImage();
    QImage picture(width, height, QImage::Format_RGB32);
    if (picture.isNull())
        throw std::bad_alloc();
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        const uint8_t* r = rows[0] + qsizetype(y) * strides[0];
        const uint8_t* g = rows[1] + qsizetype(y) * strides[1];
        const uint8_t* b = rows[2] + qsizetype(y) * strides[2];
        for (int x = 0; x < width; ++x)
            out[x] = qRgb(r[x], g[x], b[x]);
    }
    return at96Dpi(picture);
}

// The RGB picture of 8-bit YCbCr planes (4:2:0, 4:2:2 or 4:4:4, or luma
// alone), by the matrix and range the file gives (BT.601, full range when it
// gives none, as libheif takes it), or of 8-bit planar RGB; a null picture
// for anything else.
QImage fromPlanes(const heif_image_handle* handle, const heif_image* planes)
{
    const heif_colorspace space = heif_image_get_colorspace(planes);
    const heif_chroma chroma = heif_image_get_chroma_format(planes);
    if (space == heif_colorspace_RGB && chroma == heif_chroma_444 && eightBit(planes, heif_channel_R)
        && eightBit(planes, heif_channel_G) && eightBit(planes, heif_channel_B))
        return fromRgbPlanes(planes);
    const bool grey = space == heif_colorspace_monochrome;
    if (!grey && space != heif_colorspace_YCbCr)
        return QImage();
    if (grey ? chroma != heif_chroma_monochrome
             : chroma != heif_chroma_420 && chroma != heif_chroma_422 && chroma != heif_chroma_444)
        return QImage();
    if (!eightBit(planes, heif_channel_Y)
        || (!grey && (!eightBit(planes, heif_channel_Cb) || !eightBit(planes, heif_channel_Cr))))
        return QImage();
    const int shiftX = chroma == heif_chroma_420 || chroma == heif_chroma_422 ? 1 : 0;
    const int shiftY = chroma == heif_chroma_420 ? 1 : 0;
    heif_matrix_coefficients matrix = heif_matrix_coefficients_ITU_R_BT_601_6;
    bool fullRange = true;
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_get_nclx_color_profile(planes, &nclx).code == heif_error_Ok
        || heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok) {
        matrix = nclx->matrix_coefficients;
        fullRange = nclx->full_range_flag != 0;
    }
    heif_nclx_color_profile_free(nclx);
    double kr = 0, kb = 0;
    if (!grey && !lumaWeights(matrix, kr, kb))
        return QImage();

    const int width = heif_image_get_width(planes, heif_channel_Y);
    const int height = heif_image_get_height(planes, heif_channel_Y);
    int yStride = 0, cbStride = 0, crStride = 0;
    const uint8_t* luma = heif_image_get_plane_readonly(planes, heif_channel_Y, &yStride);
    const uint8_t* cb = grey ? nullptr : heif_image_get_plane_readonly(planes, heif_channel_Cb, &cbStride);
    const uint8_t* cr = grey ? nullptr : heif_image_get_plane_readonly(planes, heif_channel_Cr, &crStride);
    if (width <= 0 || height <= 0 || !luma || (!grey && (!cb || !cr)))
        return QImage();
    if (!grey
        && (heif_image_get_width(planes, heif_channel_Cb) < (width + shiftX) >> shiftX
            || heif_image_get_height(planes, heif_channel_Cb) < (height + shiftY) >> shiftY
            || heif_image_get_width(planes, heif_channel_Cr) < (width + shiftX) >> shiftX
            || heif_image_get_height(planes, heif_channel_Cr) < (height + shiftY) >> shiftY))
        return QImage();

    // Fixed point, 16 bits of fraction.
    const double lumaScale = fullRange ? 1.0 : 255.0 / 219.0;
    const double chromaScale = fullRange ? 1.0 : 255.0 / 224.0;
    const int lumaOffset = fullRange ? 0 : 16;
    const double kg = 1 - kr - kb;
    const auto fixed = [](double v) { return int(std::lround(v * 65536)); };
    const int yK = fixed(lumaScale);
    const int crR = fixed(2 * (1 - kr) * chromaScale);
    const int cbB = fixed(2 * (1 - kb) * chromaScale);
    const int cbG = fixed(2 * kb * (1 - kb) / kg * chromaScale);
    const int crG = fixed(2 * kr * (1 - kr) / kg * chromaScale);
    const auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };

    QImage picture(width, height, QImage::Format_RGB32);
    if (picture.isNull())
        throw std::bad_alloc();
    for (int y = 0; y < height; ++y) {
        const uint8_t* yRow = luma + qsizetype(y) * yStride;
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        if (grey) {
            for (int x = 0; x < width; ++x) {
                const int v = clamp((((yRow[x] - lumaOffset) * yK) + 32768) >> 16);
                out[x] = qRgb(v, v, v);
            }
            continue;
        }
        const uint8_t* cbRow = cb + qsizetype(y >> shiftY) * cbStride;
        const uint8_t* crRow = cr + qsizetype(y >> shiftY) * crStride;
        for (int x = 0; x < width; ++x) {
            const int l = (yRow[x] - lumaOffset) * yK + 32768;
            const int u = cbRow[x >> shiftX] - 128;
            const int v = crRow[x >> shiftX] - 128;
            out[x] = qRgb(clamp((l + crR * v) >> 16), clamp((l - cbG * u - crG * v) >> 16), clamp((l + cbB * u) >> 16));
        }
    }
    return at96Dpi(picture);
}

} // namespace

bool HeifPictureDecoder::recognizes(const QByteArray& head) const
{
    if (head.size() < 12 || head.mid(4, 4) != "ftyp")
        return false;
    const QByteArray brand = head.mid(8, 4);
    for (const char* heif : { "heic", "heix", "hevc", "hevx", "heim", "heis", "hevm", "hevs", "mif1", "msf1" }) {
        if (brand == heif)
            return true;
    }
    return false;
}

QImage HeifPictureDecoder::decode(const QByteArray& contents, qint64 limitBytes) const
{
    const std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context)
        throw std::bad_alloc();
    heif_context_set_maximum_image_size_limit(context.get(), kLongestSide);
    // The tiles of a phone's photo decode side by side.
    heif_context_set_max_decoding_threads(context.get(), std::max(1, QThread::idealThreadCount()));
    // `contents` outlives the context.
    heif_error error = heif_context_read_from_memory_without_copy(
        context.get(), contents.constData(), size_t(contents.size()), nullptr);
    if (error.code == heif_error_Unsupported_filetype || error.code == heif_error_Unsupported_feature)
        unsupported(error);
    // libheif refuses a side beyond the limit itself.
    if (error.code == heif_error_Memory_allocation_error)
        refuse(PictureFault::TooLarge,
            QStringLiteral("画像が大きすぎます（縦か横が %1 ピクセルを超えています）。").arg(kLongestSide));
    if (error.code != heif_error_Ok)
        damaged(error);

    heif_image_handle* primary = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &primary);
    if (error.code != heif_error_Ok)
        damaged(error);
    const std::unique_ptr<heif_image_handle, HandleRelease> handle(primary);

    // Before anything is decoded.
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0)
        refuse(PictureFault::Damaged, QStringLiteral("HEIC 画像ファイルが壊れています（大きさがありません）。"));
    if (qint64(width) * height * 4 > limitBytes)
        refuse(PictureFault::TooLarge,
            QStringLiteral("画像が大きすぎます（%1 × %2 ピクセル）。%3 MB までの画像が使えます。")
                .arg(width)
                .arg(height)
                .arg(limitBytes / (1024 * 1024)));

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    const std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    options->strict_decoding = 1;
    options->convert_hdr_to_8bit = 1;
    // A photo's own planes (8-bit YCbCr, or RGB) are turned into RGB here, in
    // half the time libheif takes for it; anything else libheif turns itself.
    if (!alpha && heif_image_handle_get_luma_bits_per_pixel(handle.get()) == 8) {
        const std::unique_ptr<heif_image, ImageRelease> planes(
            decodeImage(handle.get(), heif_colorspace_undefined, heif_chroma_undefined, options.get()));
        QImage picture = fromPlanes(handle.get(), planes.get());
        if (!picture.isNull())
            return picture;
    }
    heif_image* decoded = decodeImage(handle.get(), heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());

    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const int shownWidth = heif_image_get_primary_width(decoded);
    const int shownHeight = heif_image_get_primary_height(decoded);
    if (!pixels || shownWidth <= 0 || shownHeight <= 0) {
        heif_image_release(decoded);
        refuse(PictureFault::Damaged, QStringLiteral("HEIC 画像ファイルが壊れています。"));
    }
    // The picture keeps libheif's pixels and releases them with its last copy.
    QImage picture(
        pixels, shownWidth, shownHeight, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888,
        [](void* image) { heif_image_release(static_cast<heif_image*>(image)); }, decoded);
    return at96Dpi(picture);
}
