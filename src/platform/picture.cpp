#include "picture.h"

#include <cstring>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include "errors.h"

namespace vintrel {

namespace {

// Pictures larger than this are refused before anything is decoded: a damaged
// header claiming 60000 x 60000 pixels must not make the program reach for gigabytes.
constexpr qint64 kMaxPixels = 300'000'000;
// Formats that cannot decode at a reduced size are decoded whole first; this
// caps that (about 130 megapixels at 32 bits a pixel).
constexpr int kAllocationLimitMB = 512;

// A JPEG is complete when its markers run up to the end-of-image marker.
bool jpegComplete(const uchar *p, qint64 n)
{
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return false;
    qint64 pos = 2;
    while (pos < n) {
        if (p[pos] != 0xFF)
            return false;
        while (pos < n && p[pos] == 0xFF)
            ++pos;
        if (pos >= n)
            return false;
        const uchar marker = p[pos++];
        if (marker == 0xD9)
            return true;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        if (pos + 2 > n)
            return false;
        const qint64 length = (qint64(p[pos]) << 8) | p[pos + 1];
        if (length < 2 || pos + length > n)
            return false;
        pos += length;
        if (marker != 0xDA)
            continue;
        // Entropy-coded data runs to the next marker that is not a stuffed zero
        // or a restart marker.
        for (;;) {
            const void *ff = std::memchr(p + pos, 0xFF, size_t(n - pos));
            if (!ff)
                return false;
            pos = static_cast<const uchar *>(ff) - p;
            if (pos + 1 >= n)
                return false;
            const uchar next = p[pos + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                pos += 2;
                continue;
            }
            break;
        }
    }
    return false;
}

// A GIF is complete when its blocks run whole up to the trailer, or up to the end
// of the file after at least one whole image (many writers leave the trailer off).
bool gifComplete(const uchar *p, qint64 n)
{
    if (n < 13)
        return false;
    qint64 pos = 13;
    if (p[10] & 0x80)
        pos += 3 * (qint64(1) << ((p[10] & 0x07) + 1));
    auto skipSubBlocks = [&]() {
        while (pos < n) {
            const uchar length = p[pos++];
            if (length == 0)
                return true;
            pos += length;
        }
        return false;
    };
    bool image = false;
    while (pos < n) {
        const uchar block = p[pos++];
        if (block == 0x3B)
            return image;
        if (block == 0x21) {
            if (++pos > n || !skipSubBlocks())
                return false;
        } else if (block == 0x2C) {
            if (pos + 9 > n)
                return false;
            const uchar flags = p[pos + 8];
            pos += 9;
            if (flags & 0x80)
                pos += 3 * (qint64(1) << ((flags & 0x07) + 1));
            if (++pos > n || !skipSubBlocks()) // the LZW code size, then the data
                return false;
            image = true;
        } else {
            return false;
        }
    }
    return image;
}

// An uncompressed BMP is complete when the file holds every row its header promises.
bool bmpComplete(const uchar *p, qint64 n)
{
    auto u16 = [&](qint64 at) { return quint32(p[at]) | quint32(p[at + 1]) << 8; };
    auto u32 = [&](qint64 at) { return u16(at) | u16(at + 2) << 16; };
    if (n < 26)
        return false;
    const qint64 offset = u32(10);
    const quint32 header = u32(14);
    qint64 width, height, bits, compression = 0;
    if (header == 12) {
        width = u16(18);
        height = u16(20);
        bits = u16(24);
    } else {
        if (n < 34)
            return false;
        width = qint32(u32(18));
        height = qint32(u32(22));
        bits = u16(28);
        compression = u32(30);
    }
    if (compression != 0 && compression != 3)
        return true; // run-length data: the decoder checks it
    const qint64 row = (qAbs(width) * bits + 31) / 32 * 4;
    return n >= offset + row * qAbs(height);
}

// libjpeg and Qt's GIF and BMP readers accept a file cut short and fill the rest
// with grey or nothing; a photo half lost must not go on the page as if whole.
bool fileIsComplete(const QString &path, const QByteArray &format)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 n = file.size();
    QByteArray copy;
    const uchar *p = file.map(0, n);
    if (!p) {
        copy = file.readAll();
        p = reinterpret_cast<const uchar *>(copy.constData());
    }
    if (format == "jpeg")
        return jpegComplete(p, n);
    if (format == "gif")
        return gifComplete(p, n);
    if (format == "bmp")
        return bmpComplete(p, n);
    return true;
}

bool swapsSides(QImageIOHandler::Transformations t)
{
    return t & QImageIOHandler::TransformationRotate90;
}

// Opens a reader and checks the header; throws when the file is no usable picture.
struct Header {
    QByteArray format;
    QSize raw;     // as stored
    QSize upright; // after the EXIF orientation
    QImageIOHandler::Transformations transformation;
};

Header readHeader(QImageReader &reader, const QString &path)
{
    static const bool limitSet = [] {
        QImageReader::setAllocationLimit(kAllocationLimitMB);
        return true;
    }();
    (void)limitSet;
    reader.setFileName(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    Header h;
    if (!reader.canRead())
        throw PictureError(QStringLiteral("%1 is not a picture").arg(path));
    h.format = reader.format();
    h.raw = reader.size();
    if (!h.raw.isValid() || h.raw.isEmpty())
        throw PictureError(QStringLiteral("%1 has no picture size").arg(path));
    if (qint64(h.raw.width()) * h.raw.height() > kMaxPixels)
        throw PictureError(QStringLiteral("%1 is too large").arg(path));
    h.transformation = reader.transformation();
    h.upright = swapsSides(h.transformation) ? h.raw.transposed() : h.raw;
    return h;
}

// Decodes at no more than `bound` (upright pixels), keeping proportions.
QImage decode(QImageReader &reader, const Header &h, QSize bound, const QString &path)
{
    const QSize upright = h.upright.scaled(bound.boundedTo(h.upright), Qt::KeepAspectRatio);
    const QSize raw = swapsSides(h.transformation) ? upright.transposed() : upright;
    if (raw != h.raw)
        reader.setScaledSize(raw.expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (image.isNull())
        throw PictureError(QStringLiteral("%1: %2").arg(path, reader.errorString()));
    return image;
}

} // namespace

struct Picture::Data {
    QString path;
    QSize size;
    QImage display;
};

QSize Picture::size() const { return d ? d->size : QSize(); }
QString Picture::path() const { return d ? d->path : QString(); }
QImage Picture::display() const { return d ? d->display : QImage(); }

QImage Picture::render(QSize pixels) const
{
    if (!d)
        return QImage();
    const QSize wanted = d->size.scaled(pixels.boundedTo(d->size), Qt::KeepAspectRatio);
    if (wanted.width() <= d->display.width() && wanted.height() <= d->display.height())
        return d->display;
    try {
        QImageReader reader;
        const Header h = readHeader(reader, d->path);
        if (h.upright == d->size)
            return decode(reader, h, wanted, d->path);
    } catch (const PictureError &) {
    }
    // The file has gone or changed since it was loaded: the screen copy is what
    // the page shows, so it stands in rather than losing the photo.
    return d->display;
}

Picture LoadPicture(const QString &path)
{
    if (path.isEmpty())
        return Picture();
    if (!QFileInfo(path).isFile())
        throw PictureError(QStringLiteral("%1 does not exist").arg(path));
    QImageReader reader;
    const Header h = readHeader(reader, path);
    if (!fileIsComplete(path, h.format))
        throw PictureError(QStringLiteral("%1 is damaged or incomplete").arg(path));
    auto data = std::make_shared<Picture::Data>();
    data->path = path;
    data->size = h.upright;
    data->display = decode(reader, h, QSize(Picture::kDisplaySide, Picture::kDisplaySide), path);
    Picture picture;
    picture.d = std::move(data);
    return picture;
}

} // namespace vintrel
