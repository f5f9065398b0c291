#include "platform/heif/HeifPictureDecoder.h"

#include <QLoggingCategory>

#include <libheif/heif.h>

#include <memory>

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
    heif_image* decoded = nullptr;
    error = heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype)
        unsupported(error);
    if (error.code != heif_error_Ok || !decoded) {
        if (decoded)
            heif_image_release(decoded);
        damaged(error);
    }
    if (heif_image_get_decoding_warnings(decoded, 0, nullptr, 0) > 0) {
        heif_image_release(decoded);
        refuse(PictureFault::Damaged, QStringLiteral("HEIC 画像ファイルが壊れているか、途中で切れています。"));
    }

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
    picture.setDotsPerMeterX(3780); // 96 dpi
    picture.setDotsPerMeterY(3780);
    return picture;
}
