#pragma once
// Prints lying on a scanner's glass: found in a scan of the glass, and cut out
// of it turned straight. A print is a region clearly apart from the glass's
// background, which is estimated from the scan's border: the pixels that differ
// from it by more than its noise allows are joined into connected regions (a
// gap of about a millimetre inside a print does not split it), and each region
// at least 15 mm on a side becomes the smallest rectangle holding it, turned as
// the print lies.
#include <QImage>
#include <QList>
#include <QPolygonF>
#include <QSizeF>

namespace vintrel::scan {

// A print's rectangle in the pixels of the scan it was found in: its centre,
// its size along its own sides, and how far it is turned, in degrees within
// (-45, 45], clockwise on the screen.
struct Print {
    QPointF centre;
    QSizeF size;
    double angle = 0;
    QPolygonF corners() const;
};

// The smallest side of a print.
constexpr double kLeastPrintMm = 15;

// The prints on a scan of `pixelsPerMm`, in reading order: by rows from the
// top, then from the left.
QList<Print> findPrints(const QImage &scan, double pixelsPerMm);

// The print out of the scan, turned straight by the whole degree nearest to the
// angle it lies at, cropped to its size, as RGB888.
QImage cutOut(const QImage &scan, const Print &print);

} // namespace vintrel::scan
