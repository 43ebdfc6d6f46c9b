#include "jpegdecoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <QIODevice>

#include <jerror.h>
#include <jpeglib.h>

namespace vintrel::jpeg {

namespace {

// libjpeg reads through this from the device, a block at a time. When the
// device ends before the decoder is done, it is handed an end-of-image marker
// and the file counts as cut short.
struct Source {
    jpeg_source_mgr pub;
    QIODevice *device;
    bool ended;
    JOCTET buffer[64 * 1024];
};

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo)
{
    auto *s = reinterpret_cast<Source *>(cinfo->src);
    qint64 n = s->device->read(reinterpret_cast<char *>(s->buffer), qint64(sizeof s->buffer));
    if (n <= 0) {
        s->ended = true;
        s->buffer[0] = 0xFF;
        s->buffer[1] = JPEG_EOI;
        n = 2;
    }
    s->pub.next_input_byte = s->buffer;
    s->pub.bytes_in_buffer = size_t(n);
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count)
{
    auto *s = reinterpret_cast<Source *>(cinfo->src);
    if (count <= 0)
        return;
    if (size_t(count) <= s->pub.bytes_in_buffer) {
        s->pub.next_input_byte += count;
        s->pub.bytes_in_buffer -= size_t(count);
        return;
    }
    const qint64 beyond = qint64(count) - qint64(s->pub.bytes_in_buffer);
    s->pub.bytes_in_buffer = 0;
    if (!s->device->seek(s->device->pos() + beyond))
        s->device->skip(beyond);
}

// Errors end the decode through longjmp; warnings that mean lost picture data
// mark the file as damaged.
struct Errors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool damaged;
};

void onError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<Errors *>(cinfo->err)->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
    case JWRN_HIT_MARKER:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
        reinterpret_cast<Errors *>(cinfo->err)->damaged = true;
        break;
    default: // stray bytes, odd JFIF versions...: the picture is whole
        break;
    }
}

// The orientation tag (0x0112) of the first EXIF block, 1 when there is none.
int exifOrientation(jpeg_saved_marker_ptr marker)
{
    for (; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1 || marker->data_length < 20 ||
            std::memcmp(marker->data, "Exif\0\0", 6) != 0)
            continue;
        const JOCTET *t = marker->data + 6;
        const size_t n = marker->data_length - 6;
        const bool little = t[0] == 'I' && t[1] == 'I';
        if (!little && !(t[0] == 'M' && t[1] == 'M'))
            continue;
        auto u16 = [&](size_t at) -> unsigned {
            if (at + 2 > n)
                return 0;
            return little ? t[at] | t[at + 1] << 8 : t[at] << 8 | t[at + 1];
        };
        auto u32 = [&](size_t at) -> size_t { return little ? u16(at) | size_t(u16(at + 2)) << 16 : size_t(u16(at)) << 16 | u16(at + 2); };
        const size_t ifd = u32(4);
        const unsigned entries = u16(ifd);
        for (unsigned e = 0; e < entries && ifd + 2 + 12 * (e + 1) <= n; ++e) {
            const size_t at = ifd + 2 + 12 * e;
            if (u16(at) == 0x0112) {
                const unsigned v = u16(at + 8);
                return v >= 1 && v <= 8 ? int(v) : 1;
            }
        }
    }
    return 1;
}

// One decoding session; it outlives the function that calls setjmp, so the
// longjmp leaves nothing half-built behind.
struct Session {
    jpeg_decompress_struct cinfo;
    Errors errors;
    Source source;
    Header header;
    QImage image;
    QImage row;
    QString why;
};

void begin(Session &s, QIODevice &device)
{
    s.cinfo.err = jpeg_std_error(&s.errors.pub);
    s.errors.pub.error_exit = onError;
    s.errors.pub.emit_message = onMessage;
    s.errors.damaged = false;
    jpeg_create_decompress(&s.cinfo);
    s.source.device = &device;
    s.source.ended = false;
    s.source.pub.init_source = initSource;
    s.source.pub.fill_input_buffer = fillInput;
    s.source.pub.skip_input_data = skipInput;
    s.source.pub.resync_to_restart = jpeg_resync_to_restart;
    s.source.pub.term_source = termSource;
    s.source.pub.bytes_in_buffer = 0;
    s.source.pub.next_input_byte = nullptr;
    s.cinfo.src = &s.source.pub;
    jpeg_save_markers(&s.cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&s.cinfo, JPEG_APP0 + 2, 0xFFFF); // the colour profile
}

void readHeader(Session &s)
{
    jpeg_read_header(&s.cinfo, TRUE);
    s.header.size = QSize(int(s.cinfo.image_width), int(s.cinfo.image_height));
    s.header.orientation = exifOrientation(s.cinfo.marker_list);
    s.header.progressive = jpeg_has_multiple_scans(&s.cinfo);
    s.header.cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
    s.header.inverted = s.cinfo.saw_Adobe_marker;
    JOCTET *icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(&s.cinfo, &icc, &iccLength) && icc) {
        s.header.icc = QByteArray(reinterpret_cast<const char *>(icc), int(iccLength));
        std::free(icc);
    }
    qint64 work = 0;
    for (int c = 0; c < s.cinfo.num_components; ++c) {
        const jpeg_component_info &comp = s.cinfo.comp_info[c];
        const qint64 across = (qint64(comp.width_in_blocks) + comp.h_samp_factor) * DCTSIZE;
        if (s.header.progressive) // every coefficient of the picture is kept
            work += (qint64(comp.width_in_blocks) + comp.h_samp_factor) *
                    (qint64(comp.height_in_blocks) + comp.v_samp_factor) * DCTSIZE2 * qint64(sizeof(JCOEF));
        else // a row of blocks at a time
            work += across * comp.v_samp_factor * DCTSIZE * 2;
    }
    s.header.workBytes = work + (1 << 20);
}

// Runs the libjpeg calls; false with s.why set when libjpeg gave up.
bool run(Session &s, QIODevice &device, int eighths, QRect part, qint64 memoryLimit)
{
    if (setjmp(s.errors.jump)) {
        char text[JMSG_LENGTH_MAX];
        (*s.cinfo.err->format_message)(reinterpret_cast<j_common_ptr>(&s.cinfo), text);
        s.why = QString::fromLatin1(text);
        s.image = QImage();
        return false;
    }
    begin(s, device);
    if (memoryLimit > 0)
        s.cinfo.mem->max_memory_to_use = long(memoryLimit);
    readHeader(s);
    if (eighths == 0)
        return true;
    s.cinfo.scale_num = unsigned(eighths);
    s.cinfo.scale_denom = 8;
    const bool cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
    s.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_start_decompress(&s.cinfo);
    const QRect all(0, 0, int(s.cinfo.output_width), int(s.cinfo.output_height));
    const QRect want = part.isEmpty() ? all : (part & all);
    if (want.isEmpty()) {
        s.why = QStringLiteral("nothing of the picture is wanted");
        return false;
    }
    JDIMENSION x = JDIMENSION(want.x()), width = JDIMENSION(want.width());
    if (want.width() < all.width())
        jpeg_crop_scanline(&s.cinfo, &x, &width);
    const int shift = want.x() - int(x); // the crop starts at an iMCU edge left of the part
    s.image = QImage(want.size(), QImage::Format_RGB32);
    s.row = QImage(int(width), 1, QImage::Format_RGB32);
    if (s.image.isNull() || s.row.isNull()) {
        s.why = QStringLiteral("not enough memory for the picture");
        return false;
    }
    if (want.y() > 0)
        jpeg_skip_scanlines(&s.cinfo, JDIMENSION(want.y()));
    for (int y = 0; y < want.height(); ++y) {
        JSAMPROW line = s.row.scanLine(0);
        jpeg_read_scanlines(&s.cinfo, &line, 1); // the source never suspends: always one line
        uchar *out = s.image.scanLine(y);
        std::memcpy(out, s.row.constScanLine(0) + 4 * shift, size_t(want.width()) * 4);
    }
    if (s.cinfo.output_scanline < s.cinfo.output_height)
        jpeg_skip_scanlines(&s.cinfo, s.cinfo.output_height - s.cinfo.output_scanline);
    jpeg_finish_decompress(&s.cinfo);
    return true;
}

bool runAndEnd(Session &s, QIODevice &device, int eighths, QRect part, qint64 memoryLimit)
{
    bool ok = run(s, device, eighths, part, memoryLimit);
    jpeg_destroy_decompress(&s.cinfo);
    if (ok && (s.source.ended || s.errors.damaged)) {
        s.why = s.source.ended ? QStringLiteral("the file is cut short") : QStringLiteral("the picture data is damaged");
        ok = false;
    }
    return ok;
}

} // namespace

bool isJpeg(QIODevice &device)
{
    char magic[3];
    return device.peek(magic, 3) == 3 && uchar(magic[0]) == 0xFF && uchar(magic[1]) == 0xD8 && uchar(magic[2]) == 0xFF;
}

bool readHeader(QIODevice &device, Header &header, QString &why)
{
    auto s = std::make_unique<Session>();
    const bool ok = run(*s, device, 0, QRect(), 0);
    jpeg_destroy_decompress(&s->cinfo);
    if (!ok) {
        why = s->why;
        return false;
    }
    if (s->header.size.isEmpty()) {
        why = QStringLiteral("the picture has no size");
        return false;
    }
    header = s->header;
    return true;
}

int scaleFor(QSize size, QSize atLeast)
{
    for (int m = 1; m < 8; ++m) {
        const QSize scaled = scaledSize(size, m);
        if (scaled.width() >= atLeast.width() && scaled.height() >= atLeast.height())
            return m;
    }
    return 8;
}

QSize scaledSize(QSize size, int eighths)
{
    return QSize(int((qint64(size.width()) * eighths + 7) / 8), int((qint64(size.height()) * eighths + 7) / 8));
}

QImage decode(QIODevice &device, int eighths, QRect part, qint64 memoryLimit, QString &why)
{
    auto s = std::make_unique<Session>();
    if (!runAndEnd(*s, device, qBound(1, eighths, 8), part, memoryLimit)) {
        why = s->why;
        return QImage();
    }
    return std::move(s->image);
}

} // namespace vintrel::jpeg
