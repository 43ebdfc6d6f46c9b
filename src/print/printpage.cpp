#include "printpage.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPrinter>
#include <QThread>
#include <QRegion>
#include <QtConcurrent/QtConcurrentRun>

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

std::vector<PrintItem> printItems(const Page &page)
{
    std::vector<PrintItem> items;
    for (int i : page.slotsByRank(0))
        if (page.PicUsed[i] && !page.Pic(i).picture().isEmpty())
            items.push_back({i, printRect(page.Pic(i))});
    return items;
}

std::vector<PrintPiece> printPieces(const std::vector<PrintItem> &items, QSizeF sheet, double dpiX, double dpiY)
{
    const double sx = dpiX / 1440, sy = dpiY / 1440;
    const QRectF paper(QPointF(0, 0), sheet);
    std::vector<QRectF> device(items.size());
    for (size_t k = 0; k < items.size(); ++k) {
        const QRectF &t = items[k].twips;
        device[k] = QRectF(t.x() * sx, t.y() * sy, t.width() * sx, t.height() * sy);
    }
    // What shows of each photo: its rectangle on the sheet, less those of the
    // photos drawn after it, in whole device pixels.
    auto whole = [&](const QRectF &r) { return (r & paper).toAlignedRect(); };
    std::vector<PrintPiece> pieces;
    QRegion above;
    for (size_t k = items.size(); k-- > 0;) {
        const QRect onSheet = whole(device[k]);
        const QRect shows = (QRegion(onSheet) - above).boundingRect();
        above += onSheet;
        if (shows.isEmpty() || device[k].isEmpty())
            continue;
        const QRectF r = device[k];
        const QRectF part((shows.x() - r.x()) / r.width(), (shows.y() - r.y()) / r.height(),
                          shows.width() / r.width(), shows.height() / r.height());
        // The pixels that part needs: no more than 600 dots an inch.
        const QSize pixels(int(std::ceil(shows.width() / dpiX * std::min(dpiX, kMaxPrintDpi))),
                           int(std::ceil(shows.height() / dpiY * std::min(dpiY, kMaxPrintDpi))));
        pieces.push_back({items[k].slot, QRectF(shows), part & QRectF(0, 0, 1, 1), pixels.expandedTo({1, 1})});
    }
    std::reverse(pieces.begin(), pieces.end());
    return pieces;
}

void paintPage(QPainter &painter, const Page &page, const std::vector<PrintItem> &items, double dpiX, double dpiY)
{
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF sheet(painter.device()->width(), painter.device()->height());
    const std::vector<PrintPiece> pieces = printPieces(items, sheet, dpiX, dpiY);
    // Decoded on the pool, a few ahead, and drawn in stacking order as each is
    // ready: only those few print-sized pictures are held at once.
    const size_t ahead = size_t(std::max(2, QThread::idealThreadCount()));
    std::vector<QFuture<QImage>> decoded(pieces.size());
    auto start = [&](size_t k) {
        if (k < pieces.size())
            decoded[k] = QtConcurrent::run(&decodingThreads(), [picture = page.Pic(pieces[k].slot).picture(), piece = pieces[k]] {
                return picture.render(piece.pixels, piece.part);
            });
    };
    for (size_t k = 0; k < ahead; ++k)
        start(k);
    for (size_t k = 0; k < pieces.size(); ++k) {
        const QImage image = decoded[k].result();
        decoded[k] = QFuture<QImage>();
        start(k + ahead);
        painter.drawImage(pieces[k].target, image);
    }
}

void mnuPrint_Click(Page &page, CommonDialog &cdDialog)
{
    cdDialog.CancelError = true;
    cdDialog.Flags = CommonDialog::NoSelectionChoice | CommonDialog::NoPageRange | CommonDialog::NoPrintToFile;
    QPrinter printer(QPrinter::HighResolution);
    if (!completed([&] { cdDialog.ShowPrinter(printer); }))
        return; // Cancel
    const bool printed = completed([&] {
        const std::vector<PrintItem> items = printItems(page);
        // The document starts with the first photo drawn: a page without photos
        // prints no sheet.
        if (items.empty())
            return;
        QPainter painter;
        if (!painter.begin(&printer))
            return;
        paintPage(painter, page, items, printer.resolution(), printer.resolution());
        if (!painter.end())
            printer.abort();
    });
    if (!printed)
        printer.abort(); // ends quietly; nothing half-drawn is sent
}

} // namespace vintrel
