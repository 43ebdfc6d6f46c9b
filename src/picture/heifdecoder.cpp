// The HEIF plugin, libvintrelheif.so: HEIF and AVIF pictures through libheif.
#include <algorithm>
#include <cmath>

#include <libheif/heif.h>
#include <malloc.h>

#include "heiffile.h"

namespace vintrel::heif {

namespace {
// Neither side of a picture may claim more pixels than this.
constexpr int kWidest = 65535;

// The side libheif may not reach when it decodes an image. A derived image
// (a grid of tiles, an overlay) names the size it puts together on its own,
// and libheif allocates that size whatever the image's own size says: a few
// bytes could claim gigabytes. Bounded by libheif's own limit on the context,
// neither the image nor any tile of it may have a side this long: the longer
// of its sides as its boxes give them before any turn or crop and as libheif
// reports them after, plus a coding block of padding, and at least a tile of
// the largest size encoders write for a small picture.
int sideLimit(const heif_image_handle *handle)
{
    const int longest = std::max({heif_image_handle_get_ispe_width(handle), heif_image_handle_get_ispe_height(handle),
                                  heif_image_handle_get_width(handle), heif_image_handle_get_height(handle), 0});
    return std::max(std::min(longest, kWidest) + 64, 2048);
}

// An 8-bit 4:2:0 picture shrunk to `size` straight from its planes: each pixel
// the mean of up to 4 x 4 samples of what it stands for, then turned into RGB
// by the picture's matrix (H.273: BT.709, BT.601, BT.2020) and range.
QImage shrinkPlanes(const heif_image *image, QSize size, int matrix, bool fullRange)
{
    int strideY = 0, strideCb = 0, strideCr = 0;
    const uint8_t *y = heif_image_get_plane_readonly(image, heif_channel_Y, &strideY);
    const uint8_t *cb = heif_image_get_plane_readonly(image, heif_channel_Cb, &strideCb);
    const uint8_t *cr = heif_image_get_plane_readonly(image, heif_channel_Cr, &strideCr);
    const int w = heif_image_get_width(image, heif_channel_Y), h = heif_image_get_height(image, heif_channel_Y);
    const int cw = heif_image_get_width(image, heif_channel_Cb), ch = heif_image_get_height(image, heif_channel_Cb);
    if (!y || !cb || !cr || w <= 0 || h <= 0 || cw <= 0 || ch <= 0)
        return QImage();
    size = size.boundedTo(QSize(w, h));
    const double kr = matrix == 1 ? 0.2126 : matrix == 9 ? 0.2627 : 0.299;
    const double kb = matrix == 1 ? 0.0722 : matrix == 9 ? 0.0593 : 0.114, kg = 1 - kr - kb;
    const double ys = fullRange ? 1 : 255.0 / 219, cs = fullRange ? 1 : 255.0 / 224, y0 = fullRange ? 0 : 16;
    QImage out(size, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    const double sx = double(w) / size.width(), sy = double(h) / size.height();
    const int kx = std::clamp(int(std::ceil(sx)), 1, 4), ky = std::clamp(int(std::ceil(sy)), 1, 4);
    for (int oy = 0; oy < size.height(); ++oy) {
        QRgb *line = reinterpret_cast<QRgb *>(out.scanLine(oy));
        for (int ox = 0; ox < size.width(); ++ox) {
            int sumY = 0, sumCb = 0, sumCr = 0;
            for (int j = 0; j < ky; ++j) {
                const int py = std::min(h - 1, int((oy + (j + 0.5) / ky) * sy));
                for (int i = 0; i < kx; ++i) {
                    const int px = std::min(w - 1, int((ox + (i + 0.5) / kx) * sx));
                    sumY += y[py * strideY + px];
                    sumCb += cb[std::min(ch - 1, py / 2) * strideCb + std::min(cw - 1, px / 2)];
                    sumCr += cr[std::min(ch - 1, py / 2) * strideCr + std::min(cw - 1, px / 2)];
                }
            }
            const double n = kx * ky, l = (sumY / n - y0) * ys, b = (sumCb / n - 128) * cs, r = (sumCr / n - 128) * cs;
            auto level = [](double v) { return std::clamp(int(std::lround(v)), 0, 255); };
            line[ox] = qRgb(level(l + 2 * (1 - kr) * r), level(l - 2 * kb * (1 - kb) / kg * b - 2 * kr * (1 - kr) / kg * r),
                            level(l + 2 * (1 - kb) * b));
        }
    }
    return out;
}

bool failed(const heif_error &e, QString &why)
{
    if (e.code == heif_error_Ok)
        return false;
    why = e.subcode == heif_suberror_Security_limit_exceeded ? QStringLiteral("the picture is too large")
                                                             : QString::fromUtf8(e.message ? e.message : "the HEIF file cannot be read");
    return true;
}
} // namespace

class Decoder : public File {
public:
    Decoder(const uchar *data, qint64 size, QString &why);
    ~Decoder() override;
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;
    bool isNull() const { return !m_primary; }
    QSize size() const override { return m_size; }
    QSize thumbnailSize() const override { return m_thumbnailSize; }
    qint64 mostPixels(bool thumbnail) const override
    {
        const qint64 side = sideLimit(thumbnail && m_thumbnail ? m_thumbnail : m_primary);
        return side * side;
    }
    QImage decode(bool thumbnail, QSize atMost, QString &why, colour::Source &colours) const override;

private:
    heif_context *m_context = nullptr;
    heif_image_handle *m_primary = nullptr;
    heif_image_handle *m_thumbnail = nullptr;
    QSize m_size, m_thumbnailSize;
    colour::Source m_colours;
};

Decoder::Decoder(const uchar *data, qint64 size, QString &why)
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
    qint64 most = 0;
    const int count = heif_image_handle_get_number_of_thumbnails(m_primary);
    std::vector<heif_item_id> ids(size_t(std::max(count, 0)));
    heif_image_handle_get_list_of_thumbnail_IDs(m_primary, ids.data(), count);
    for (heif_item_id id : ids) {
        heif_image_handle *thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(m_primary, id, &thumbnail).code != heif_error_Ok)
            continue;
        const QSize s(heif_image_handle_get_width(thumbnail), heif_image_handle_get_height(thumbnail));
        if (qint64(s.width()) * s.height() > most) {
            most = qint64(s.width()) * s.height();
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
        heif_color_profile_nclx *nclx = nullptr; // handed out even with an error
        if (heif_image_handle_get_nclx_color_profile(m_primary, &nclx).code == heif_error_Ok && nclx) {
            m_colours.primaries = nclx->color_primaries;
            m_colours.transfer = nclx->transfer_characteristics;
        }
        if (nclx)
            heif_nclx_color_profile_free(nclx);
        break;
    }
    default:
        break;
    }
}

Decoder::~Decoder()
{
    if (m_thumbnail)
        heif_image_handle_release(m_thumbnail);
    if (m_primary)
        heif_image_handle_release(m_primary);
    heif_context_free(m_context);
}

QImage Decoder::decode(bool thumbnail, QSize atMost, QString &why, colour::Source &colours) const
{
    colours = m_colours;
    const heif_image_handle *handle = thumbnail && m_thumbnail ? m_thumbnail : m_primary;
    if (!handle) {
        why = QStringLiteral("the HEIF file holds no picture");
        return QImage();
    }
    heif_context_set_maximum_image_size_limit(m_context, sideLimit(handle));
    const bool alpha = heif_image_handle_has_alpha_channel(handle);
    // Shown far smaller than it is, a picture is shrunk from its Y, Cb and Cr
    // planes: libheif's own conversion first makes four bytes a pixel at full
    // size, and two of those at once more than double the memory of an open.
    const QSize full(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
    const bool fromPlanes = !alpha && !atMost.isEmpty() && atMost.width() * 2 <= full.width() &&
                            atMost.height() * 2 <= full.height();
    heif_image *image = nullptr;
    for (const bool planes : {true, false}) {
        if (planes && !fromPlanes)
            continue;
        heif_decoding_options *options = heif_decoding_options_alloc();
        options->convert_hdr_to_8bit = 1;
        options->strict_decoding = 1;
        const heif_error decoded =
            planes ? heif_decode_image(handle, &image, heif_colorspace_YCbCr, heif_chroma_420, options)
                   : heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options);
        heif_decoding_options_free(options);
        if (planes && decoded.code == heif_error_Ok && heif_image_get_bits_per_pixel(image, heif_channel_Y) != 8) {
            heif_image_release(image); // not 8 bits: libheif's own conversion
            image = nullptr;
            continue;
        }
        if (!planes && failed(decoded, why))
            return QImage();
        if (image)
            break;
    }
    // Colours named in the coded picture itself rather than in the file's boxes.
    heif_color_profile_nclx *nclx = nullptr;
    heif_image_get_nclx_color_profile(image, &nclx);
    if (colours.icc.isEmpty() && !colours.primaries && nclx &&
        heif_image_get_color_profile_type(image) == heif_color_profile_type_nclx) {
        colours.primaries = nclx->color_primaries;
        colours.transfer = nclx->transfer_characteristics;
    }
    if (heif_image_get_colorspace(image) == heif_colorspace_YCbCr) {
        const QImage out = shrinkPlanes(image, atMost, nclx ? nclx->matrix_coefficients : 6, !nclx || nclx->full_range_flag);
        if (nclx)
            heif_nclx_color_profile_free(nclx);
        heif_image_release(image);
        if (out.isNull())
            why = QStringLiteral("not enough memory for the picture");
        return out;
    }
    if (nclx)
        heif_nclx_color_profile_free(nclx);
    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    QImage out;
    if (plane && width > 0 && height > 0) {
        // Shrunk straight from libheif's pixels, then made the program's format.
        const QImage pixels(plane, width, height, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
        const QSize wanted = atMost.isEmpty() ? pixels.size() : atMost.boundedTo(pixels.size());
        out = (wanted == pixels.size() ? pixels : pixels.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation))
                  .convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
    heif_image_release(image);
    if (out.isNull())
        why = QStringLiteral("not enough memory for the picture");
    return out;
}

} // namespace vintrel::heif

extern "C" __attribute__((visibility("default"))) vintrel::heif::File *vintrel_heif_open(const uchar *data, qint64 size,
                                                                                            QString *why)
{
    static_assert(std::is_same_v<decltype(&vintrel_heif_open), vintrel::heif::Opener>);
    // libde265 allocates and frees a full-size picture's planes and tables in
    // blocks of a few hundred KB to a few MB. glibc lets its threshold for
    // giving a block a mapping of its own slide up to the largest block freed,
    // and from then on keeps such blocks in the decoding threads' heaps: an
    // open of 30 HEIC photos peaked at 191 MB. Fixed at glibc's starting
    // 128 KB, each goes back to the system when freed: 154 MB, for about 5 %
    // more time.
    static const bool fixedThreshold = mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    Q_UNUSED(fixedThreshold);
    auto *file = new vintrel::heif::Decoder(data, size, *why);
    if (!file->isNull())
        return file;
    delete file;
    return nullptr;
}
