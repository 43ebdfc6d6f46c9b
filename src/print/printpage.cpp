#include "printpage.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPrinter>
#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include "layout/page.h"
#include "platform/commondialog.h"
#include "platform/errors.h"
#include "platform/rounding.h"

namespace vintrel {

namespace {
// More detail than this cannot be seen on paper; it only makes the spool larger.
constexpr double kMaxPrintDpi = 600;

// Left x 2.14 and Top x 2.14 are rounded to single precision; the sizes stay double.
QRectF printRect(const ImageControl &pic)
{
    const float x = toSingle(pic.Left() * kPrintScale);
    const float y = toSingle(pic.Top() * kPrintScale);
    const double w = pic.Width() * kPrintScale;
    const double h = pic.Height() * kPrintScale;
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h))
        throw RuntimeError(QStringLiteral("a photo stands beyond any printable place"));
    return QRectF(x, y, w, h);
}
} // namespace

std::vector<PrintItem> PrintItems(const Page &page)
{
    std::vector<PrintItem> items;
    for (int i : page.SlotsByRank(0))
        if (page.PicUsed[i] && !page.Pic(i).picture().isEmpty())
            items.push_back({i, printRect(page.Pic(i))});
    return items;
}

void PaintPage(QPainter &painter, const Page &page, const std::vector<PrintItem> &items, double dpiX, double dpiY)
{
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double sx = dpiX / 1440, sy = dpiY / 1440;
    // The pictures are decoded a few at a time, side by side, and drawn in order;
    // only one batch of print-sized pictures is held at once.
    const int batch = std::max(2, QThread::idealThreadCount());
    for (size_t first = 0; first < items.size(); first += size_t(batch)) {
        const std::vector<PrintItem> part(items.begin() + qsizetype(first),
                                          items.begin() + qsizetype(std::min(items.size(), first + size_t(batch))));
        const QList<QImage> images = QtConcurrent::blockingMapped<QList<QImage>>(part, [&](const PrintItem &item) {
            // The pixels the printed size needs, no more than 600 dots an inch.
            const double inchesW = item.twips.width() / 1440, inchesH = item.twips.height() / 1440;
            const QSize needed(int(std::ceil(inchesW * std::min(dpiX, kMaxPrintDpi))),
                               int(std::ceil(inchesH * std::min(dpiY, kMaxPrintDpi))));
            return page.Pic(item.slot).picture().render(needed.expandedTo(QSize(1, 1)));
        });
        for (size_t k = 0; k < part.size(); ++k) {
            const QRectF &t = part[k].twips;
            painter.drawImage(QRectF(t.x() * sx, t.y() * sy, t.width() * sx, t.height() * sy), images[qsizetype(k)]);
        }
    }
}

void mnuPrint_Click(Page &page, CommonDialog &cdDialog)
{
    cdDialog.CancelError = true;
    cdDialog.Flags = CommonDialog::NoSelectionChoice | CommonDialog::NoPageRange | CommonDialog::NoPrintToFile;
    QPrinter printer(QPrinter::HighResolution);
    try {
        cdDialog.ShowPrinter(printer);
    } catch (const DialogCancelled &) {
        return;
    }
    try {
        const std::vector<PrintItem> items = PrintItems(page);
        // The document starts with the first photo drawn: a page without photos
        // prints no sheet.
        if (items.empty())
            return;
        QPainter painter;
        if (!painter.begin(&printer))
            return;
        PaintPage(painter, page, items, printer.resolution(), printer.resolution());
        if (!painter.end())
            printer.abort();
    } catch (const RuntimeError &) {
        // Ends quietly; nothing half-drawn is sent.
        printer.abort();
    }
}

} // namespace vintrel
