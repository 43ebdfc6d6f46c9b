#pragma once
// JPEG files through libjpeg-turbo: the header (size, EXIF orientation, whether
// the file is progressive) and decoding at the smallest of libjpeg's exact
// scales M/8 that gives the pixels asked for, optionally only a part of the
// picture. A file that ends before its last scan, or whose data is broken so
// that part of the picture is lost, fails; one that merely holds stray bytes
// between its segments decodes.
#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

class QIODevice;

namespace vintrel::jpeg {

struct Header {
    QSize size;          // as stored, before the orientation is applied
    int orientation = 1; // EXIF: 1 as stored, 6 a quarter turn clockwise...
    bool progressive = false;
    // Memory the decoder needs besides its output: a progressive or
    // multi-scan file keeps every coefficient of the picture.
    qint64 workBytes = 0;
    QByteArray icc; // the embedded colour profile, or empty
    // Four inks a pixel (inverted, as Adobe writes them): decode() gives them as they are.
    bool cmyk = false, inverted = false;
};

// True when the device starts like a JPEG file.
bool isJpeg(QIODevice &device);

// Reads the header from the device's start; false with a reason when the
// device holds no usable JPEG.
bool readHeader(QIODevice &device, Header &header, QString &why);

// The smallest M (1 to 8) for which `size` scaled by M/8 is at least `atLeast`
// in both directions (8 when even the whole picture is smaller).
int scaleFor(QSize size, QSize atLeast);
// `size` scaled by M/8, as libjpeg rounds it (up).
QSize scaledSize(QSize size, int eighths);

// Decodes the device (from its start) at M/8, giving the part `part` of the
// scaled picture (all of it when empty), in stored orientation, as RGB32 (for
// CMYK, the four inks in each pixel's four bytes, C first). At
// most `memoryLimit` bytes of decoder memory are used. An empty image with a
// reason on failure.
QImage decode(QIODevice &device, int eighths, QRect part, qint64 memoryLimit, QString &why);

} // namespace vintrel::jpeg
