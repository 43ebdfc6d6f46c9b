#pragma once
// Page geometry is kept in single-precision twips (1/1440 inch); widgets stand
// at twips / twips-per-pixel. The widget's whole pixels never feed back into
// the model.
#include <QRect>

#include "platform/app.h"

namespace vintrel {

inline int pixelsX(double twips) { return qRound(twips / Screen::TwipsPerPixelX()); }
inline int pixelsY(double twips) { return qRound(twips / Screen::TwipsPerPixelY()); }

// The pixel rectangle covering a twip rectangle; neighbouring rectangles meet
// without gaps because both edges are rounded, not the size.
inline QRect pixelRect(double left, double top, double width, double height)
{
    const int x = pixelsX(left), y = pixelsY(top);
    return QRect(x, y, pixelsX(left + width) - x, pixelsY(top + height) - y);
}

} // namespace vintrel
