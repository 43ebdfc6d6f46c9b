#include "page.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>

#include "photowidget.h"
#include "picture/safefile.h"
#include "platform/errors.h"
#include "platform/twips.h"
#include "platform/waiting.h"

namespace vintrel {

QSizeF SizeProbe::twipsOf(QSize pixels)
{
    return PixelScale{Screen::TwipsPerPixelX(), Screen::TwipsPerPixelY()}.twipsOf(pixels);
}

void SizeProbe::setPicture(const Picture &p)
{
    picture = p;
    if (p.isEmpty())
        return; // an empty picture leaves the holder's size as it is
    const QSizeF size = twipsOf(p.size());
    Width = float(size.width());
    Height = float(size.height());
}

PageSurface::PageSurface(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Picture1"));
    setFixedSize(pixelsX(kWidth), pixelsY(kHeight));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
}

void PageSurface::setPrintableArea(QSizeF twips)
{
    if (twips == m_printable)
        return;
    m_printable = twips;
    repaintWithPhotos();
}

void PageSurface::repaintWithPhotos()
{
    update();
    for (QWidget *photo : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        photo->update();
}

void PageSurface::setPrintableAreaShown(bool shown)
{
    m_printableShown = shown;
    repaintWithPhotos();
}

void PageSurface::paintPrintableArea(QPainter &painter, QPoint origin) const
{
    if (!m_printableShown)
        return;
    // The area's edges fall on the surface's pixels as the photos' edges do.
    const int right = pixelsX(m_printable.width() * m_zoom), bottom = pixelsY(m_printable.height() * m_zoom);
    if (right >= width() && bottom >= height())
        return;
    const int line = std::max(1, int(std::lround(m_zoom)));
    const QColor shade(0, 0, 0, 20), lineColour(120, 120, 120);
    painter.save();
    painter.translate(-origin);
    for (const QRect &r : QRegion(rect()) - QRegion(0, 0, std::max(right, 0), std::max(bottom, 0)))
        painter.fillRect(r, shade);
    if (right < width())
        painter.fillRect(QRect(right, 0, line, std::min(bottom, height()) + line), lineColour);
    if (bottom < height())
        painter.fillRect(QRect(0, bottom, std::min(right, width()), line), lineColour);
    painter.restore();
}

void PageSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintPrintableArea(painter, QPoint());
}

void PageSurface::keyPressEvent(QKeyEvent *event)
{
    if (events)
        events->Picture1_KeyDown(event->key(), event->modifiers());
    else
        QWidget::keyPressEvent(event);
}

std::optional<QStringList> PageSurface::droppable(const QDropEvent *event) const
{
    const QMimeData *mime = event->mimeData();
    if (!onDrop || !mime || !mime->hasUrls() || !(event->possibleActions() & Qt::CopyAction) || Waiting::busy() ||
        QApplication::activeModalWidget())
        return std::nullopt;
    // The list as sent, so that a name of bytes that are no UTF-8 keeps them.
    QStringList paths;
    for (QByteArray line : mime->data(QStringLiteral("text/uri-list")).split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(line);
        const QString host = url.host();
        if (!url.isLocalFile() ||
            !(host.isEmpty() || host == QLatin1String("localhost") || host == QSysInfo::machineHostName()))
            return std::nullopt;
        const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (path.contains('\0')) // names no file: the system would read only up to the NUL
            return std::nullopt;
        paths << fileNameOf(path);
    }
    if (paths.isEmpty())
        return std::nullopt;
    return paths;
}

void PageSurface::dragEnterEvent(QDragEnterEvent *event)
{
    // Taken as a copy whatever the source proposes, so that a file manager
    // never takes the files away as moved. The moves that follow are taken alike.
    if (droppable(event)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void PageSurface::dropEvent(QDropEvent *event)
{
    const std::optional<QStringList> paths = droppable(event);
    if (!paths) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    const QPointF at(event->position().x() * Screen::TwipsPerPixelX() / m_zoom,
                     event->position().y() * Screen::TwipsPerPixelY() / m_zoom);
    // Once the drop is over: the file manager waits for its end, and the
    // photos may take a while to load or ask a question.
    QTimer::singleShot(0, this, [this, paths = *paths, at] {
        if (onDrop)
            onDrop(paths, at);
    });
}

QPointF Page::designPosition(int i)
{
    // Five places a row from Left 840 in steps of 840, rows from Top 600 in steps
    // of 960. The first row runs 0 to 4; in each later row the first two places
    // hold 5k+1 and 5k, the other three run in order.
    const int row = i / 5;
    int column = i % 5;
    if (row > 0 && column < 2)
        column = 1 - column;
    return QPointF(840 + 840 * column, 600 + 960 * row);
}

Page::Page(QWidget *parent) : m_surface(new PageSurface(parent))
{
    for (int i = 0; i < kPhotos; ++i) {
        const QPointF at = designPosition(i);
        m_pic[i] = std::make_unique<ImageControl>(i, m_surface, float(at.x()), float(at.y()));
    }
    m_history = std::make_unique<History>(*this);
}

Page::~Page()
{
    delete m_surface; // and with it the controls' widgets
}

void Page::setZoom(double zoom)
{
    m_surface->m_zoom = zoom;
    m_surface->setFixedSize(pixelsX(PageSurface::kWidth * zoom), pixelsY(PageSurface::kHeight * zoom));
    for (auto &pic : m_pic)
        pic->place();
}

QSize PixelScale::devicePixels(QSizeF twips) const
{
    auto pixels = [&](double t, double perPixel) {
        const double p = std::ceil(t / perPixel * ratio);
        return p >= 1 ? int(std::min(p, double(Picture::kLargestCopy))) : 1;
    };
    return QSize(pixels(twips.width(), twipsPerPixelX), pixels(twips.height(), twipsPerPixelY));
}

QSizeF PixelScale::twipsOf(QSize pixels) const
{
    return QSizeF(float(pixels.width() * twipsPerPixelX), float(pixels.height() * twipsPerPixelY));
}

PixelScale Page::pixelScale() const
{
    return {Screen::TwipsPerPixelX(), Screen::TwipsPerPixelY(), m_surface->devicePixelRatioF() * zoom()};
}

ImageControl &Page::Pic(int i)
{
    if (i < 0 || i >= kPhotos)
        throw RuntimeError(QStringLiteral("there is no photo slot %1").arg(i));
    return *m_pic[i];
}

const ImageControl &Page::Pic(int i) const
{
    return const_cast<Page *>(this)->Pic(i);
}

void Page::bringToFront(int i)
{
    Pic(i).ZOrder();
    if (ZOrderCount + 1 > kLastExactRank) {
        double next = 0, last = -1;
        for (int slot : slotsByRank(1)) {
            if (PicZOrder[slot] != last)
                last = PicZOrder[slot], ++next;
            PicZOrder[slot] = next;
        }
        ZOrderCount = next;
    }
    ZOrderCount += 1;
    PicZOrder.at(i) = ZOrderCount;
}

void Page::clearSelectionLook()
{
    for (auto &pic : m_pic) {
        pic->setBorderStyle(0);
        pic->setAppearance(0);
    }
}

std::vector<int> Page::slotsByRank(double lowest) const
{
    std::vector<int> ranked;
    for (int i = 0; i < kPhotos; ++i) {
        const double r = PicZOrder[i];
        if (r == std::floor(r) && r >= lowest && r <= ZOrderCount)
            ranked.push_back(i);
    }
    std::stable_sort(ranked.begin(), ranked.end(), [&](int a, int b) { return PicZOrder[a] < PicZOrder[b]; });
    return ranked;
}

std::vector<int> Page::stackingOrder() const
{
    std::vector<int> order;
    for (const QObject *child : m_surface->children()) {
        for (const auto &pic : m_pic)
            if (pic->widget() == child)
                order.push_back(pic->Index());
    }
    return order;
}

} // namespace vintrel
