#include "scanjobs.h"

#include <algorithm>
#include <cmath>

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTransform>

#include "bmpwriter.h"
#include "prints.h"
#include "sanedevice.h"

namespace vintrel::scan {

const QString kLeft = QStringLiteral("tl-x"), kTop = QStringLiteral("tl-y"), kRight = QStringLiteral("br-x"),
              kBottom = QStringLiteral("br-y");

namespace {

// The preview is scanned at the device's lowest resolution from this.
constexpr double kPreviewDpi = 50;

bool writeBitmap(const QImage &rgb, const QString &target, double dpi, QString &why)
{
    BmpWriter writer(target, dpi);
    bool ok = writer.beginFrame({BmpWriter::Channel::Rgb, 8, rgb.width(), int(rgb.bytesPerLine()), rgb.height()});
    for (int y = 0; ok && y < rgb.height(); ++y)
        ok = writer.write(reinterpret_cast<const char *>(rgb.constScanLine(y)), rgb.bytesPerLine());
    ok = ok && writer.endFrame() && writer.finish();
    if (!ok)
        why = writer.why();
    return ok;
}

bool setAll(SaneDevice &device, const Values &values, QString &why)
{
    for (const auto &[name, value] : values)
        if (!device.set(name, value, why))
            return false;
    return true;
}

} // namespace

std::pair<double, double> limits(const Setting &s)
{
    if (s.numbers.isEmpty())
        return {s.minimum, s.maximum};
    const auto [least, most] = std::minmax_element(s.numbers.begin(), s.numbers.end());
    return {*least, *most};
}

Values previewValues(const QList<Setting> &offered)
{
    Values values;
    for (const Setting &s : offered) {
        if (s.name == QLatin1String("mode")) {
            for (const char *kind : {".*colou?r.*", ".*gr[ae]y.*"}) {
                const qsizetype at = s.words.indexOf(QRegularExpression(QLatin1String(kind), QRegularExpression::CaseInsensitiveOption));
                if (at >= 0) {
                    values.append({s.name, s.words[at]});
                    break;
                }
            }
        } else if (s.name == QLatin1String("resolution")) {
            double dpi = limits(s).second;
            for (double n : s.numbers)
                if (n >= kPreviewDpi && n < dpi)
                    dpi = n;
            if (s.numbers.isEmpty()) {
                dpi = std::max(s.minimum, kPreviewDpi);
                if (s.step > 0)
                    dpi = s.minimum + std::ceil((dpi - s.minimum) / s.step) * s.step;
                dpi = std::min(dpi, s.maximum);
            }
            values.append({s.name, dpi});
        } else if (s.name == kLeft || s.name == kTop) {
            values.append({s.name, limits(s).first});
        } else if (s.name == kRight || s.name == kBottom) {
            values.append({s.name, limits(s).second});
        }
    }
    return values;
}

Outcome preview(SaneDevice &device, const Values &values, Progress &progress)
{
    Outcome out;
    if (!setAll(device, values, out.why))
        return out;
    const double dpi = device.resolution();
    const QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("preview.bmp"));
    BmpWriter writer(file, dpi);
    if (!folder.isValid() || !device.scan(writer, progress.done, progress.total, out.cancelled, out.why) ||
        !writer.finish()) {
        if (out.why.isEmpty())
            out.why = writer.why();
        return out;
    }
    out.picture = QImage(file, "BMP").convertToFormat(QImage::Format_RGB32);
    if (out.picture.isNull()) {
        out.why = QStringLiteral("it could not be read");
        return out;
    }
    out.ok = true;
    const QTransform onGlass = QTransform::fromScale(1.0 / out.picture.width(), 1.0 / out.picture.height());
    for (const Print &p : findPrints(out.picture, dpi / 25.4))
        out.prints << onGlass.map(p.corners());
    return out;
}

Outcome scan(SaneDevice &device, const Values &values, const QStringList &targets, const QList<QPolygonF> &kept,
             const QRectF &area, Progress &progress)
{
    Outcome out;
    if (!setAll(device, values, out.why))
        return out;
    const double dpi = device.resolution();
    if (kept.isEmpty()) {
        BmpWriter writer(targets[0], dpi);
        out.ok = device.scan(writer, progress.done, progress.total, out.cancelled, out.why) && writer.finish();
        if (!out.ok && out.why.isEmpty())
            out.why = writer.why();
        out.written = out.ok;
        return out;
    }
    // The whole scan beside the targets first, then the prints out of it.
    const QTemporaryDir folder{QFileInfo(targets[0]).absolutePath() + QStringLiteral("/.vintrel-glass-XXXXXX")};
    const QString file = folder.filePath(QStringLiteral("glass.bmp"));
    BmpWriter writer(file, dpi);
    if (!folder.isValid() || !device.scan(writer, progress.done, progress.total, out.cancelled, out.why) ||
        !writer.finish()) {
        if (out.why.isEmpty())
            out.why = folder.isValid() ? writer.why() : folder.errorString();
        return out;
    }
    const QImage glass(file, "BMP");
    if (glass.isNull()) {
        out.why = QStringLiteral("the scan is too large to look for photos in");
        return out;
    }
    QList<Print> found;
    for (const Print &p : findPrints(glass, dpi / 25.4)) {
        const QPointF at(area.left() + p.centre.x() / glass.width() * area.width(),
                         area.top() + p.centre.y() / glass.height() * area.height());
        if (std::any_of(kept.begin(), kept.end(), [at](const QPolygonF &k) { return k.containsPoint(at, Qt::OddEvenFill); }))
            found << p;
    }
    if (found.isEmpty()) // what the preview showed is not in the scan: the scan whole
        found << Print{QPointF(glass.width() / 2.0, glass.height() / 2.0), QSizeF(glass.size()), 0};
    for (const Print &p : found) {
        if (out.written == targets.size() || !writeBitmap(cutOut(glass, p), targets[out.written], dpi, out.why))
            break;
        ++out.written;
    }
    out.ok = out.written > 0;
    return out;
}

} // namespace vintrel::scan
