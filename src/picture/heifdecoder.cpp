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

// The boxes of a HEIF file, read just far enough to learn the size a derived
// primary image (a grid of tiles, an overlay) says it puts together: libheif
// allocates that size whatever the image's own size says, so a few bytes
// could claim gigabytes.
struct Boxes {
    const uchar *data;
    qint64 size;

    quint64 be(qint64 at, int bytes) const
    {
        quint64 v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | (at + i < size ? data[at + i] : 0);
        return v;
    }
    // Calls `each(type, body, end)` for the boxes from `at` to `end`; false when one runs past it.
    template <class Each> bool walk(qint64 at, qint64 end, Each each) const
    {
        while (at + 8 <= end) {
            quint64 length = be(at, 4);
            qint64 body = at + 8;
            if (length == 1) {
                length = be(at + 8, 8);
                body += 8;
            } else if (length == 0) {
                length = quint64(end - at);
            }
            if (length < quint64(body - at) || length > quint64(end - at))
                return false;
            each(QByteArray(reinterpret_cast<const char *>(data + at + 4), 4), body, at + qint64(length));
            at += qint64(length);
        }
        return true;
    }

    // The output size a primary grid or overlay claims, or an empty size.
    QSize derivedSize() const
    {
        qint64 meta = -1, metaEnd = -1;
        walk(0, size, [&](const QByteArray &type, qint64 body, qint64 end) {
            if (type == "meta" && meta < 0)
                meta = body + 4, metaEnd = end; // a full box
        });
        if (meta < 0)
            return QSize();
        quint64 primary = 0;
        QByteArray primaryType;
        qint64 idat = -1, idatEnd = -1;
        qint64 iloc = -1, ilocEnd = -1, iinf = -1, iinfEnd = -1;
        walk(meta, metaEnd, [&](const QByteArray &type, qint64 body, qint64 end) {
            if (type == "pitm")
                primary = be(body + 4, data[body] == 0 ? 2 : 4);
            else if (type == "idat")
                idat = body, idatEnd = end;
            else if (type == "iloc")
                iloc = body, ilocEnd = end;
            else if (type == "iinf")
                iinf = body, iinfEnd = end;
        });
        if (iinf < 0 || iloc < 0)
            return QSize();
        const int iinfVersion = data[iinf];
        walk(iinf + 4 + (iinfVersion == 0 ? 2 : 4), iinfEnd, [&](const QByteArray &type, qint64 body, qint64) {
            const int version = data[body];
            if (type != "infe" || version < 2)
                return;
            const int idBytes = version == 2 ? 2 : 4;
            if (be(body + 4, idBytes) == primary)
                primaryType = QByteArray(reinterpret_cast<const char *>(data + body + 4 + idBytes + 2), 4);
        });
        if (primaryType != "grid" && primaryType != "iovl")
            return QSize();
        // Where the primary item's first extent lies.
        const int version = data[iloc];
        const int offsetSize = data[iloc + 4] >> 4, lengthSize = data[iloc + 4] & 15;
        const int baseSize = data[iloc + 5] >> 4, indexSize = version >= 1 ? data[iloc + 5] & 15 : 0;
        qint64 at = iloc + 6;
        const int idBytes = version < 2 ? 2 : 4;
        const quint64 count = be(at, idBytes);
        at += idBytes;
        for (quint64 i = 0; i < count && at < ilocEnd; ++i) {
            const quint64 id = be(at, idBytes);
            at += idBytes;
            const int method = version >= 1 ? int(be(at, 2) & 15) : 0;
            at += version >= 1 ? 2 : 0;
            at += 2; // data reference index
            const quint64 base = be(at, baseSize);
            at += baseSize;
            const quint64 extents = be(at, 2);
            at += 2;
            const quint64 offset = be(at + indexSize, offsetSize);
            if (id == primary && extents > 0) {
                // A grid: version, flags, rows-1, columns-1, width, height;
                // an overlay: version, flags, four fill values, width, height.
                const qint64 start = (method == 1 ? idat : 0) + qint64(base + offset);
                const qint64 end = method == 1 ? idatEnd : size;
                const bool wide = start >= 0 && start + 2 <= end && (data[start + 1] & 1);
                const qint64 sizes = start + (primaryType == "grid" ? 4 : 10);
                if ((method == 1 && idat < 0) || method > 1 || start < 0 || sizes + (wide ? 8 : 4) > end)
                    return QSize(1 << 30, 1 << 30); // cannot be checked: taken as too large
                return QSize(int(std::min<quint64>(be(sizes, wide ? 4 : 2), 1 << 30)),
                             int(std::min<quint64>(be(sizes + (wide ? 4 : 2), wide ? 4 : 2), 1 << 30)));
            }
            at += qint64(extents) * (indexSize + offsetSize + lengthSize);
        }
        return QSize();
    }
};

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
    why = QString::fromUtf8(e.message ? e.message : "the HEIF file cannot be read");
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
    // A grid or overlay puts together no more than the image's own size.
    const QSize derived = Boxes{data, size}.derivedSize();
    if (!derived.isEmpty() && qint64(derived.width()) * derived.height() > qint64(m_size.width()) * m_size.height()) {
        why = QStringLiteral("the picture claims to be larger than it is");
        heif_image_handle_release(m_primary);
        m_primary = nullptr;
        return;
    }
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
