#pragma once
// What the scan dialog asks of a device on the SANE thread: a preview of the
// whole glass with the prints found on it, and the scan itself, written as one
// bitmap or as one for each print.
#include <atomic>
#include <utility>

#include <QImage>
#include <QList>
#include <QPair>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace vintrel::scan {

class SaneDevice;
struct Setting;

// The options of a scan area.
extern const QString kLeft, kTop, kRight, kBottom;

using Values = QList<QPair<QString, QVariant>>;

struct Outcome {
    bool ok = false, cancelled = false;
    QString why;
    QImage picture;          // of a preview
    QList<QPolygonF> prints; // found on it, as parts of the glass
    int written = 0;         // bitmaps, of a scan
};

// Bytes of a scan received so far, and expected (0 while unknown).
struct Progress {
    std::atomic<qint64> done{0}, total{0};
};

// The lowest and highest value a setting allows.
std::pair<double, double> limits(const Setting &s);

// A quick scan of the whole glass: in colour, or grey, where the device
// offers it, at its lowest resolution from 50 dpi.
Values previewValues(const QList<Setting> &offered);

// Sets the values and scans the preview; the prints found on it come as
// parts of the glass.
Outcome preview(SaneDevice &device, const Values &values, Progress &progress);

// Sets the values and scans into the targets: one bitmap, or, with the prints
// to keep (as parts of the glass, the scan being `area` of it), one of each,
// at most as many as there are targets.
Outcome scan(SaneDevice &device, const Values &values, const QStringList &targets, const QList<QPolygonF> &kept,
             const QRectF &area, Progress &progress);

} // namespace vintrel::scan
