#include "picture.h"

#include <algorithm>
#include <cmath>
#include <vector>
#include <cstring>
#include <optional>

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QPainter>
#include <QMutex>
#include <QThreadPool>
#include <QTransform>

#include "colour.h"
#include "decodebudget.h"
#include "heiffile.h"
#include "pictureerror.h"
#include "jpegdecoder.h"
#include "safefile.h"

namespace vintrel {

namespace {

using Transformations = QImageIOHandler::Transformations;

// Pictures with more pixels than this are refused before anything is decoded:
// a damaged header claiming 60000 x 60000 pixels must not reach for gigabytes.
constexpr qint64 kMostPixels = 400'000'000;

Transformations fromExif(int orientation)
{
    static const QImageIOHandler::Transformation table[9] = {
        QImageIOHandler::TransformationNone,        QImageIOHandler::TransformationNone,
        QImageIOHandler::TransformationMirror,      QImageIOHandler::TransformationRotate180,
        QImageIOHandler::TransformationFlip,        QImageIOHandler::TransformationFlipAndRotate90,
        QImageIOHandler::TransformationRotate90,    QImageIOHandler::TransformationMirrorAndRotate90,
        QImageIOHandler::TransformationRotate270};
    return table[orientation >= 1 && orientation <= 8 ? orientation : 1];
}

bool turned(Transformations t) { return t & QImageIOHandler::TransformationRotate90; }

// Stored pixels to upright: mirror and flip first, then the quarter turn.
QImage upright(QImage image, Transformations t)
{
    if (t & (QImageIOHandler::TransformationMirror | QImageIOHandler::TransformationFlip))
        image = image.mirrored(t & QImageIOHandler::TransformationMirror, t & QImageIOHandler::TransformationFlip);
    if (turned(t))
        image = image.transformed(QTransform().rotate(90));
    return image;
}

// A part of the upright picture (fractions) as a part of the stored one.
QRectF storedPart(QRectF p, Transformations t)
{
    if (turned(t))
        p = QRectF(p.y(), 1 - p.right(), p.height(), p.width());
    if (t & QImageIOHandler::TransformationMirror)
        p.moveLeft(1 - p.right());
    if (t & QImageIOHandler::TransformationFlip)
        p.moveTop(1 - p.bottom());
    return p;
}

QRect pixelsOf(QRectF part, QSize size)
{
    const int left = int(std::floor(part.left() * size.width())), top = int(std::floor(part.top() * size.height()));
    const int right = int(std::ceil(part.right() * size.width())), bottom = int(std::ceil(part.bottom() * size.height()));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)) & QRect(QPoint(), size);
}

QSize atLeastOne(QSize s) { return s.expandedTo(QSize(1, 1)); }
qint64 area(QSize s) { return qint64(s.width()) * s.height(); }
// A GIF screen of more pixels than this (64 MB decoded) is not decoded whole
// when its first frame covers far less of it.
constexpr qint64 kLargeScreen = 16 << 20;

bool trueColour(QImage::Format format)
{
    return format != QImage::Format_Invalid && format != QImage::Format_Mono && format != QImage::Format_MonoLSB &&
           format != QImage::Format_Indexed8;
}

bool deep(QImage::Format format)
{
    return format == QImage::Format_RGBX64 || format == QImage::Format_RGBA64 ||
           format == QImage::Format_RGBA64_Premultiplied || format == QImage::Format_Grayscale16;
}

// A GIF's logical screen: what Qt's reader returns, however small its frames.
QSize gifScreen(QIODevice &device)
{
    uchar h[10];
    if (device.peek(reinterpret_cast<char *>(h), 10) != 10 || std::memcmp(h, "GIF", 3) != 0)
        return QSize();
    return QSize(h[6] | h[7] << 8, h[8] | h[9] << 8);
}

// What a GIF file's blocks say: whether it holds a whole picture (Qt's reader
// accepts one cut short and fills the rest with nothing), where its first
// frame stands on the logical screen, and what Qt's reader fills the screen
// with around that frame.
struct GifFacts {
    bool complete = false;
    QRect frame;
    qint64 descriptor = -1; // where the first frame's place is written
    QRgb background = 0;
};

GifFacts readGif(const uchar *p, qint64 n)
{
    GifFacts gif;
    if (n < 13)
        return gif;
    qint64 pos = 13;
    const qint64 globalColours = p[10] & 0x80 ? qint64(1) << ((p[10] & 0x07) + 1) : 0;
    pos += 3 * globalColours;
    int transparent = -1;
    auto skipSubBlocks = [&]() {
        while (pos < n) {
            const uchar length = p[pos++];
            if (length == 0)
                return true;
            pos += length;
        }
        return false;
    };
    auto u16 = [&](qint64 at) { return int(p[at] | p[at + 1] << 8); };
    while (pos < n) {
        const uchar block = p[pos++];
        if (block == 0x3B)
            return gif.complete = gif.descriptor >= 0, gif;
        if (block == 0x21) {
            // The frame's transparent colour comes in the control block before it.
            if (gif.descriptor < 0 && pos + 6 <= n && p[pos] == 0xF9 && p[pos + 1] >= 4)
                transparent = p[pos + 2] & 1 ? p[pos + 5] : -1;
            if (++pos > n || !skipSubBlocks())
                return gif;
        } else if (block == 0x2C) {
            if (pos + 9 > n)
                return gif;
            const uchar flags = p[pos + 8];
            const qint64 localColours = flags & 0x80 ? qint64(1) << ((flags & 0x07) + 1) : 0;
            if (gif.descriptor < 0) {
                gif.descriptor = pos;
                gif.frame = QRect(u16(pos), u16(pos + 2), u16(pos + 4), u16(pos + 6));
                const qint64 table = localColours ? pos + 9 : 13, colours = localColours ? localColours : globalColours;
                const int index = p[11];
                if (index != transparent && index < colours && table + 3 * index + 2 < n)
                    gif.background = qRgb(p[table + 3 * index], p[table + 3 * index + 1], p[table + 3 * index + 2]);
            }
            pos += 9 + 3 * localColours;
            if (++pos > n || !skipSubBlocks()) // the LZW code size, then the data
                return gif;
        } else {
            return gif;
        }
    }
    gif.complete = gif.descriptor >= 0; // many writers leave the trailer off
    return gif;
}

// What a bitmap file's header says of its pixels.
struct BmpFacts {
    qint64 offset = 0, width = 0, height = 0, bits = 0, compression = 0;
    qint64 stride() const { return (qAbs(width) * bits + 31) / 32 * 4; }
    // Uncompressed, three or four bytes a pixel: read here, straight from the
    // file, rather than whole by Qt.
    bool plain() const { return compression == 0 && (bits == 24 || bits == 32) && width > 0 && height != 0; }
};

std::optional<BmpFacts> readBmp(const uchar *p, qint64 n)
{
    auto u16 = [&](qint64 at) { return quint32(p[at]) | quint32(p[at + 1]) << 8; };
    auto u32 = [&](qint64 at) { return u16(at) | u16(at + 2) << 16; };
    if (n < 26)
        return std::nullopt;
    BmpFacts bmp;
    bmp.offset = u32(10);
    if (u32(14) == 12) {
        bmp.width = u16(18);
        bmp.height = u16(20);
        bmp.bits = u16(24);
    } else {
        if (n < 34)
            return std::nullopt;
        bmp.width = qint32(u32(18));
        bmp.height = qint32(u32(22));
        bmp.bits = u16(28);
        bmp.compression = u32(30);
    }
    return bmp;
}

bool bmpComplete(const uchar *p, qint64 n)
{
    const std::optional<BmpFacts> bmp = readBmp(p, n);
    if (!bmp)
        return false;
    if (bmp->compression != 0 && bmp->compression != 3)
        return true; // run-length data: the decoder checks it
    // Divided, not multiplied: a header may claim sizes whose product no number holds.
    const qint64 stride = bmp->stride(), rows = qAbs(bmp->height);
    return n >= bmp->offset && (stride == 0 || (n - bmp->offset) / stride >= rows);
}

// The part `part` of an uncompressed bitmap at `out` pixels, each the mean of
// up to 4 x 4 samples of what it stands for: one pass over what is needed,
// where Qt would read the whole picture and then shrink it.
QImage sampleBmp(const uchar *p, const BmpFacts &bmp, QSize out, QRectF part)
{
    QImage image(out, QImage::Format_RGB32);
    const qint64 w = bmp.width, h = qAbs(bmp.height), bytes = bmp.bits / 8;
    const double sx = part.width() * w / out.width(), sy = part.height() * h / out.height();
    const int kx = std::clamp(int(std::ceil(sx)), 1, 4), ky = std::clamp(int(std::ceil(sy)), 1, 4);
    std::vector<qint64> columns(size_t(out.width()) * kx);
    for (int x = 0; x < out.width(); ++x)
        for (int i = 0; i < kx; ++i)
            columns[size_t(x * kx + i)] = bytes * std::clamp<qint64>(qint64(part.left() * w + (x + (i + 0.5) / kx) * sx), 0, w - 1);
    for (int y = 0; y < out.height(); ++y) {
        const uchar *rows[4];
        for (int j = 0; j < ky; ++j) {
            const qint64 r = std::clamp<qint64>(qint64(part.top() * h + (y + (j + 0.5) / ky) * sy), 0, h - 1);
            rows[j] = p + bmp.offset + bmp.stride() * (bmp.height > 0 ? h - 1 - r : r); // bottom-up unless the height is negative
        }
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            int b = 0, g = 0, r = 0;
            for (int j = 0; j < ky; ++j)
                for (int i = 0; i < kx; ++i) {
                    const uchar *px = rows[j] + columns[size_t(x * kx + i)];
                    b += px[0], g += px[1], r += px[2];
                }
            const int n = kx * ky;
            line[x] = qRgb(r / n, g / n, b / n);
        }
    }
    return image;
}

bool qtFileComplete(const QFile &file, const QByteArray &format)
{
    if (format != "gif" && format != "bmp")
        return true;
    const MappedFile mapped(file);
    const uchar *p = mapped.data();
    const qint64 n = mapped.size();
    return p && (format == "gif" ? readGif(p, n).complete : bmpComplete(p, n)) && !mapped.cutShort();
}

// Whether a PNG carries a colour profile (an iCCP chunk before its pixels):
// only then is the colour space Qt reads from it a profile's. One it makes of
// a gamma chunk alone is taken as the sRGB it nearly always means.
bool pngHasProfile(QIODevice &device)
{
    if (!device.seek(0))
        return false;
    const QByteArray head = device.peek(1 << 16);
    const qsizetype profile = head.indexOf("iCCP"), pixels = head.indexOf("IDAT");
    return profile >= 0 && (pixels < 0 || profile < pixels);
}

// Whether every PNG in the file (the file itself, or one inside an icon) keeps
// its chunks within the file. libpng sets aside what a chunk's header claims
// before it reads the chunk: four damaged bytes would have it reach for 2 GB.
bool pngChunksFit(const QFile &file)
{
    static constexpr uchar kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    const MappedFile mapped(file);
    const uchar *p = mapped.data();
    const qint64 n = mapped.size();
    if (!p)
        return true; // nothing to read, or read as a stream: the reader finds out
    bool fit = true;
    const uchar *end = p + n;
    for (const uchar *at = p; fit && (at = static_cast<const uchar *>(memmem(at, size_t(end - at), kSignature, 8)));) {
        at += 8;
        while (end - at >= 8) {
            const qint64 length = qint64(at[0]) << 24 | at[1] << 16 | at[2] << 8 | at[3];
            const bool last = std::memcmp(at + 4, "IEND", 4) == 0;
            if (length > end - at - 12) {
                fit = false;
                break;
            }
            at += 12 + length;
            if (last)
                break;
        }
    }
    return fit && !mapped.cutShort();
}

// A PNG's bits a channel, from its header.
int pngBits(QIODevice &device)
{
    if (!device.seek(0))
        return 0;
    const QByteArray head = device.peek(25);
    return head.size() == 25 ? uchar(head[24]) : 0;
}

// A picture file, opened and its header read.
struct Opened {
    QFile file;
    FileIdentity identity;
    bool jpeg = false;
    jpeg::Header header;          // for JPEG
    std::unique_ptr<MappedFile> mapped;   // for HEIF and AVIF: the file, read by
    std::unique_ptr<heif::File> heif;     // libheif from memory
    std::unique_ptr<QImageReader> reader; // for the other formats
    QByteArray format;
    colour::Source colours;
    QSize stored;
    Transformations transformation;
    QSize natural; // upright
    // A GIF whose logical screen dwarfs its first frame (a few bytes may
    // declare a screen of gigabytes): only the frame is decoded.
    std::optional<GifFacts> gifFrame;

    explicit Opened(const QString &path)
    {
        QString why;
        if (!openRegularFile(path, file, why, &identity))
            throw PictureError(QStringLiteral("%1: %2").arg(path, why));
        if (jpeg::isJpeg(file)) {
            jpeg = true;
            if (!jpeg::readHeader(file, header, why))
                throw PictureError(QStringLiteral("%1: %2").arg(path, why));
            stored = header.size;
            transformation = fromExif(header.orientation);
            colours = {header.icc, 0, 0, header.cmyk, header.inverted};
        } else if (const uchar *p = mapHeif()) {
            heif = heif::open(p, mapped->size(), why);
            checkWhole();
            if (!heif)
                throw PictureError(QStringLiteral("%1: %2").arg(path, why));
            format = "heif";
            stored = heif->size(); // upright: libheif turns it
        } else {
            if (!pngChunksFit(file))
                throw PictureError(QStringLiteral("%1: the file is cut short").arg(path));
            reader = std::make_unique<QImageReader>(&file);
            reader->setDecideFormatFromContent(true);
            reader->setAutoTransform(true);
            if (!reader->canRead())
                throw PictureError(QStringLiteral("%1 is not a picture").arg(path));
            format = reader->format();
            // A bitmap whose rows run top-down tells its height as negative.
            const QSize told = reader->size();
            stored = QSize(qAbs(told.width()), qAbs(told.height())).expandedTo(gifScreen(file));
            transformation = reader->transformation();
        }
        if (!stored.isValid() || stored.isEmpty())
            throw PictureError(QStringLiteral("%1 has no picture size").arg(path));
        if (qint64(stored.width()) * stored.height() > kMostPixels)
            throw PictureError(QStringLiteral("%1 is too large").arg(path));
        natural = turned(transformation) ? stored.transposed() : stored;
        if (format == "gif" && area(stored) > kLargeScreen) {
            const MappedFile gifFile(file);
            if (const uchar *p = gifFile.data()) {
                const GifFacts gif = readGif(p, gifFile.size());
                if (QRect(QPoint(), stored).contains(gif.frame) && area(gif.frame.size()) * 4 < area(stored))
                    gifFrame = gif;
            }
        }
    }

    // The whole file in memory when it is a HEIF file (mapped while the file is
    // open), else nothing.
    const uchar *mapHeif()
    {
        char head[64];
        const qint64 n = file.peek(head, sizeof head);
        if (!heif::isHeif(reinterpret_cast<const uchar *>(head), n))
            return nullptr;
        mapped = std::make_unique<MappedFile>(file);
        if (!mapped->data())
            throw PictureError(QStringLiteral("%1 cannot be read").arg(file.fileName()));
        return mapped->data();
    }
    // Refuses what was read from a mapped file that went short meanwhile.
    void checkWhole() const
    {
        if (mapped && mapped->cutShort())
            throw PictureError(QStringLiteral("%1: the file is cut short").arg(file.fileName()));
    }

    // The first frame of a GIF on its logical screen, that screen `whole`
    // pixels, filled around the frame as Qt's reader fills it.
    QImage decodeGifFrame(QSize whole)
    {
        const QRect frame = gifFrame->frame;
        const double sx = double(whole.width()) / stored.width(), sy = double(whole.height()) / stored.height();
        const QRectF onScreen(frame.x() * sx, frame.y() * sy, frame.width() * sx, frame.height() * sy);
        const DecodeBudget::Reservation held(4 * area(frame.size()) + 8 * area(whole));
        // The frame alone, as a GIF whose screen is the frame.
        file.seek(0);
        QByteArray bytes = file.readAll();
        const auto put16 = [&](qint64 at, int v) { bytes[at] = char(v & 0xFF), bytes[at + 1] = char(v >> 8); };
        put16(6, frame.width());
        put16(8, frame.height());
        put16(gifFrame->descriptor, 0);
        put16(gifFrame->descriptor + 2, 0);
        QBuffer buffer(&bytes);
        QImageReader frameReader(&buffer, "gif");
        const QImage image = frameReader.read();
        if (image.isNull())
            throw PictureError(frameReader.errorString());
        const bool clear = qAlpha(gifFrame->background) < 255 || image.hasAlphaChannel();
        QImage screen(whole, clear ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        screen.fill(QColor::fromRgba(gifFrame->background));
        QPainter painter(&screen);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(onScreen, image.scaled(atLeastOne(onScreen.size().toSize()).boundedTo(image.size()),
                                                 Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        return screen;
    }

    // The part `part` (upright fractions) of the picture decoded with at least
    // `whole` pixels for the whole picture (upright), upright.
    QImage decode(QSize whole, QRectF part)
    {
        whole = atLeastOne(whole.boundedTo(natural));
        const QSize wholeStored = turned(transformation) ? whole.transposed() : whole;
        if (jpeg) {
            const int m = jpeg::scaleFor(stored, wholeStored);
            const QSize scaled = jpeg::scaledSize(stored, m);
            const QRect crop = pixelsOf(storedPart(part, transformation), scaled);
            const DecodeBudget::Reservation held(header.workBytes + 8 * qint64(crop.width()) * crop.height());
            QString why;
            file.seek(0);
            const QImage image = jpeg::decode(file, m, crop == QRect(QPoint(), scaled) ? QRect() : crop,
                                              header.workBytes + (8 << 20), why);
            if (image.isNull())
                throw PictureError(why);
            return colour::toSrgb(upright(image, transformation), colours);
        }
        if (heif) {
            // The screen copy from the file's own thumbnail when that is large enough.
            const bool thumbnail = part == QRectF(0, 0, 1, 1) && heif->thumbnailSize().width() >= whole.width() &&
                                   heif->thumbnailSize().height() >= whole.height();
            // libheif's planes and its pixels, four bytes each.
            const DecodeBudget::Reservation held(6 * heif->mostPixels(thumbnail) + 4 * area(whole));
            QString why;
            const QImage image = heif->decode(thumbnail, whole, why, colours);
            checkWhole();
            if (image.isNull())
                throw PictureError(why);
            const QRect crop = pixelsOf(part, image.size());
            return colour::toSrgb(crop == image.rect() ? image : image.copy(crop), colours);
        }
        if (gifFrame) {
            if (!qtFileComplete(file, format))
                throw PictureError(QStringLiteral("the file is cut short"));
            const QImage screen = decodeGifFrame(whole);
            const QRect crop = pixelsOf(part, screen.size());
            return crop == screen.rect() ? screen : screen.copy(crop);
        }
        if (format == "bmp") {
            const MappedFile bmpFile(file);
            const uchar *p = bmpFile.data();
            const std::optional<BmpFacts> bmp = p ? readBmp(p, bmpFile.size()) : std::nullopt;
            if (bmp && bmp->plain()) {
                const QSize out = pixelsOf(part, wholeStored).size();
                const DecodeBudget::Reservation held(4 * area(out));
                const bool complete = bmpComplete(p, bmpFile.size());
                const QImage image = complete ? sampleBmp(p, *bmp, out, part) : QImage();
                if (!complete || bmpFile.cutShort())
                    throw PictureError(QStringLiteral("the file is cut short"));
                return image;
            }
        }
        // Qt decodes these whole, then scales.
        // PNG and TIFF may hold 16 bits a channel: such a picture is held whole
        // at 8 bytes a pixel, then at 4.
        const bool mayBeDeep = format == "tif" || format == "tiff" || (format == "png" && pngBits(file) == 16);
        const DecodeBudget::Reservation held((mayBeDeep ? 12 : 4) * area(stored) + 4 * area(wholeStored));
        if (!qtFileComplete(file, format))
            throw PictureError(QStringLiteral("the file is cut short"));
        file.seek(0);
        QImageReader again(&file, format);
        again.setAutoTransform(true);
        // Qt scales a picture of few colours (a palette, one bit a pixel) back
        // into those colours, losing them, and 16-bit pictures wrongly: the
        // formats that may hold either are read whole, made 8-bit true colour,
        // then scaled here. (Qt reads them whole to scale them in any case.)
        const bool mayBeFewColours = format == "gif" || format == "bmp" || format == "png";
        if (wholeStored != stored && !mayBeDeep && !mayBeFewColours)
            again.setScaledSize(wholeStored);
        QImage image = again.read();
        if (image.isNull())
            throw PictureError(again.errorString());
        if (!trueColour(image.format()) || deep(image.format()))
            image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        // A reader may hand back more than its header promised (a GIF's screen
        // behind a small frame): what is kept is the size that was asked for.
        if (image.width() > whole.width() || image.height() > whole.height())
            image = image.scaled(whole, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QRect crop = pixelsOf(part, image.size());
        if (image.colorSpace().isValid() && (format != "png" || pngHasProfile(file)))
            colours.icc = image.colorSpace().iccProfile();
        return colour::toSrgb(crop == image.rect() ? image : image.copy(crop), colours);
    }
};

QSize bounded(QSize pixels, QSize natural)
{
    return atLeastOne(pixels.boundedTo(natural).boundedTo(QSize(Picture::kLargestCopy, Picture::kLargestCopy)));
}

} // namespace

struct Picture::Data {
    QString path;
    QSize size;
    FileIdentity identity;
    mutable QMutex mutex;
    mutable QImage display;
};

namespace {
// The part of the picture decoded again from its file with `whole` pixels for
// the whole picture; a null image when the file is no longer the picture that
// was loaded, or cannot be decoded now.
QImage fromFile(const Picture::Data &d, QSize whole, QRectF part)
{
    try {
        Opened file(d.path);
        if (file.identity == d.identity)
            return file.decode(whole, part);
    } catch (const PictureError &) {
    } catch (const std::bad_alloc &) {
    }
    return QImage();
}
} // namespace

QSize Picture::size() const { return d ? d->size : QSize(); }
QString Picture::path() const { return d ? d->path : QString(); }

QImage Picture::display() const
{
    if (!d)
        return QImage();
    QMutexLocker locked(&d->mutex);
    return d->display;
}

QImage Picture::sharper(QSize pixels) const
{
    if (!d)
        return QImage();
    pixels = bounded(pixels, d->size);
    const QImage held = display();
    if (held.width() >= pixels.width() && held.height() >= pixels.height())
        return QImage();
    return fromFile(*d, pixels, QRectF(0, 0, 1, 1));
}

void Picture::setDisplay(const QImage &copy) const
{
    if (!d || copy.isNull())
        return;
    QMutexLocker locked(&d->mutex);
    if (copy.width() > d->display.width() || copy.height() > d->display.height())
        d->display = copy;
}

QImage Picture::render(QSize pixels, QRectF part) const
{
    if (!d)
        return QImage();
    part &= QRectF(0, 0, 1, 1);
    if (part.isEmpty())
        return QImage();
    // Never more pixels than the file has for that part.
    pixels = atLeastOne(pixels.boundedTo(QSize(int(std::ceil(part.width() * d->size.width())),
                                                int(std::ceil(part.height() * d->size.height())))));
    const QImage held = display();
    const QRect inHeld = pixelsOf(part, held.size());
    QImage image;
    if (inHeld.width() < pixels.width() || inHeld.height() < pixels.height())
        image = fromFile(*d, QSize(int(std::ceil(pixels.width() / part.width())), int(std::ceil(pixels.height() / part.height()))),
                         part);
    // The file has gone or is no longer the picture that was loaded: the
    // screen copy stands in rather than losing the photo.
    if (image.isNull())
        image = held.copy(inHeld);
    return image.width() > pixels.width() || image.height() > pixels.height()
               ? image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
               : image;
}

QThreadPool &decodingThreads()
{
    static QThreadPool pool;
    return pool;
}

Picture LoadPicture(const QString &path, const ShownAt &shownAt)
{
    if (path.isEmpty())
        return Picture();
    static const bool limitSet = [] {
        QImageReader::setAllocationLimit(int(DecodeBudget::kTotal >> 20));
        return true;
    }();
    (void)limitSet;
    try {
        Opened file(path);
        const QSize wanted = shownAt ? shownAt(file.natural)
                                     : file.natural.scaled(file.natural.boundedTo(QSize(1024, 1024)), Qt::KeepAspectRatio);
        auto data = std::make_shared<Picture::Data>();
        data->path = path;
        data->size = file.natural;
        data->identity = file.identity;
        const QSize target = bounded(wanted, file.natural);
        QImage copy = file.decode(target, QRectF(0, 0, 1, 1));
        // libjpeg's smallest scale still gives a 96 MP photo 1500 pixels: what
        // is far more than the screen needs is scaled down, not kept.
        if (copy.width() >= 2 * target.width() && copy.height() >= 2 * target.height())
            copy = copy.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        data->display = copy;
        Picture picture;
        picture.d = std::move(data);
        return picture;
    } catch (const std::bad_alloc &) {
        throw PictureError(QStringLiteral("%1: not enough memory to decode it").arg(path));
    }
}

} // namespace vintrel
