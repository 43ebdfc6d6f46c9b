#pragma once
// Page geometry is kept in single-precision twips (1/1440 inch); widgets stand
// at twips / twips-per-pixel. The widget's whole pixels never feed back into
// the model.
#include <algorithm>
#include <cmath>

#include <QRect>

#include "platform/app.h"

namespace vintrel {

// The page prints at 2.14 times its size on screen: its twips times 2.14 are
// twips of paper.
constexpr double kPrintScale = 2.14;

// Widgets cannot stand further out than this many pixels; a photo moved or read
// from a layout file that far away is simply out of sight.
constexpr double kFarthestPixel = 1 << 24;

inline int toPixels(double twips, double twipsPerPixel)
{
    const double pixels = twips / twipsPerPixel;
    return pixels != pixels ? 0 : int(std::lround(std::clamp(pixels, -kFarthestPixel, kFarthestPixel)));
}
inline int pixelsX(double twips) { return toPixels(twips, Screen::TwipsPerPixelX()); }
inline int pixelsY(double twips) { return toPixels(twips, Screen::TwipsPerPixelY()); }

// A point in twips as a point in (fractional) pixels.
inline QPointF pixelPoint(double x, double y)
{
    return QPointF(x / Screen::TwipsPerPixelX(), y / Screen::TwipsPerPixelY());
}

// The pixel rectangle covering a twip rectangle shown `zoom` times its size;
// neighbouring rectangles meet without gaps because both edges are rounded,
// not the size.
inline QRect pixelRect(double left, double top, double width, double height, double zoom = 1)
{
    const int x = pixelsX(left * zoom), y = pixelsY(top * zoom);
    return QRect(x, y, pixelsX((left + width) * zoom) - x, pixelsY((top + height) * zoom) - y);
}

} // namespace vintrel
