#include "heifdecoder.h"

#include <libheif/heif.h>

namespace vintrel::heif {

namespace {
// Neither side of a picture may claim more pixels than this.
constexpr int kWidest = 65535;

bool failed(const heif_error &e, QString &why)
{
    if (e.code == heif_error_Ok)
        return false;
    why = QString::fromUtf8(e.message ? e.message : "the HEIF file cannot be read");
    return true;
}
} // namespace

bool isHeif(const uchar *data, qint64 size)
{
    if (size < 12)
        return false;
    const heif_filetype_result type = heif_check_filetype(data, int(std::min<qint64>(size, 64)));
    return type == heif_filetype_yes_supported || type == heif_filetype_maybe;
}

File::File(const uchar *data, qint64 size, QString &why)
{
    m_context = heif_context_alloc();
    heif_context_set_maximum_image_size_limit(m_context, kWidest);
    if (failed(heif_context_read_from_memory_without_copy(m_context, data, size_t(size), nullptr), why) ||
        failed(heif_context_get_primary_image_handle(m_context, &m_primary), why)) {
        m_primary = nullptr;
        return;
    }
    m_size = QSize(heif_image_handle_get_width(m_primary), heif_image_handle_get_height(m_primary));
    heif_item_id largest = 0;
    int most = 0;
    const int count = heif_image_handle_get_number_of_thumbnails(m_primary);
    std::vector<heif_item_id> ids(size_t(std::max(count, 0)));
    heif_image_handle_get_list_of_thumbnail_IDs(m_primary, ids.data(), count);
    for (heif_item_id id : ids) {
        heif_image_handle *thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(m_primary, id, &thumbnail).code != heif_error_Ok)
            continue;
        const QSize s(heif_image_handle_get_width(thumbnail), heif_image_handle_get_height(thumbnail));
        if (s.width() * s.height() > most) {
            most = s.width() * s.height();
            largest = id;
            m_thumbnailSize = s;
        }
        heif_image_handle_release(thumbnail);
    }
    if (largest && heif_image_handle_get_thumbnail(m_primary, largest, &m_thumbnail).code != heif_error_Ok) {
        m_thumbnail = nullptr;
        m_thumbnailSize = QSize();
    }
    switch (heif_image_handle_get_color_profile_type(m_primary)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
        QByteArray icc(int(heif_image_handle_get_raw_color_profile_size(m_primary)), 0);
        if (heif_image_handle_get_raw_color_profile(m_primary, icc.data()).code == heif_error_Ok)
            m_colours.icc = icc;
        break;
    }
    case heif_color_profile_type_nclx: {
        heif_color_profile_nclx *nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(m_primary, &nclx).code == heif_error_Ok && nclx) {
            m_colours.primaries = nclx->color_primaries;
            m_colours.transfer = nclx->transfer_characteristics;
            heif_nclx_color_profile_free(nclx);
        }
        break;
    }
    default:
        break;
    }
}

File::~File()
{
    if (m_thumbnail)
        heif_image_handle_release(m_thumbnail);
    if (m_primary)
        heif_image_handle_release(m_primary);
    heif_context_free(m_context);
}

QImage File::decode(bool thumbnail, QString &why, colour::Source &colours) const
{
    colours = m_colours;
    const heif_image_handle *handle = thumbnail && m_thumbnail ? m_thumbnail : m_primary;
    if (!handle) {
        why = QStringLiteral("the HEIF file holds no picture");
        return QImage();
    }
    const bool alpha = heif_image_handle_has_alpha_channel(handle);
    heif_decoding_options *options = heif_decoding_options_alloc();
    options->convert_hdr_to_8bit = 1;
    options->strict_decoding = 1;
    heif_image *image = nullptr;
    const heif_error decoded = heif_decode_image(handle, &image, heif_colorspace_RGB,
                                                 alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                                                 options);
    heif_decoding_options_free(options);
    if (failed(decoded, why))
        return QImage();
    // Colours named in the coded picture itself rather than in the file's boxes.
    heif_color_profile_nclx *nclx = nullptr;
    if (colours.icc.isEmpty() && !colours.primaries &&
        heif_image_get_color_profile_type(image) == heif_color_profile_type_nclx &&
        heif_image_get_nclx_color_profile(image, &nclx).code == heif_error_Ok && nclx) {
        colours.primaries = nclx->color_primaries;
        colours.transfer = nclx->transfer_characteristics;
    }
    if (nclx)
        heif_nclx_color_profile_free(nclx);
    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    QImage out;
    if (plane && width > 0 && height > 0)
        out = QImage(plane, width, height, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888)
                  .convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    heif_image_release(image);
    if (out.isNull())
        why = QStringLiteral("not enough memory for the picture");
    return out;
}

} // namespace vintrel::heif
