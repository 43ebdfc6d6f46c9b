#pragma once
// A picture's colours made sRGB, the colours of the screen and of the printed
// page, with Little CMS: from the ICC profile the file carries, or from the
// primaries and transfer a HEIF file names, perceptual intent with black-point
// compensation. A picture that names neither is sRGB and is left as it is. One
// transform is built for each profile and shared by every decoding thread.
#include <QByteArray>
#include <QImage>

namespace vintrel::colour {

struct Source {
    QByteArray icc;                  // an ICC profile, or empty
    int primaries = 0, transfer = 0; // ITU-T H.273 codes (HEIF nclx); 0 when not named
    // Four bytes a pixel, C M Y K (inverted, as Adobe writes them, when
    // `inverted`): with no profile, through the system's default CMYK profile.
    bool cmyk = false, inverted = false;
};

// The path of the default CMYK profile, or empty when the system has none.
QString defaultCmykProfile();

// The image in sRGB: RGB32 or ARGB32 (alpha kept) as decoded, or for CMYK
// four bytes a pixel in an RGB32 image. RGB pixels whose profile Little CMS
// cannot use stay as they are; CMYK without a usable profile takes the plain
// formula (each ink darkening its colour).
QImage toSrgb(QImage image, const Source &source);

} // namespace vintrel::colour
