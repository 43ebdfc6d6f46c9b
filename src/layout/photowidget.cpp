#include "photowidget.h"

#include <algorithm>
#include <cmath>

#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QtConcurrent/QtConcurrentRun>

#include "imagecontrol.h"
#include "page.h"
#include "pageevents.h"
#include "platform/app.h"
#include "platform/twips.h"

namespace vintrel {

PhotoWidget::PhotoWidget(const ImageControl &control, QWidget *parent)
    : QWidget(parent), m_control(control)
{
    setMouseTracking(true); // hovering shows the size pointers
    setFocusPolicy(Qt::NoFocus);
    connect(&m_sharper, &QFutureWatcherBase::finished, this, [this] { update(); });
}

PageEvents *PhotoWidget::events() const
{
    const auto *surface = static_cast<const PageSurface *>(parentWidget());
    return surface ? surface->events : nullptr;
}

float PhotoWidget::twipsX(const QMouseEvent *e) const
{
    return float(e->position().x() * Screen::TwipsPerPixelX() / zoom());
}
float PhotoWidget::twipsY(const QMouseEvent *e) const
{
    return float(e->position().y() * Screen::TwipsPerPixelY() / zoom());
}

double PhotoWidget::zoom() const
{
    return static_cast<const PageSurface *>(parentWidget())->zoom();
}

void PhotoWidget::mousePressEvent(QMouseEvent *event)
{
    m_clickPending = event->button() == Qt::LeftButton;
    if (PageEvents *sink = events())
        sink->Pic_MouseDown(m_control.Index(), event->button(), event->modifiers(),
                            twipsX(event), twipsY(event));
}

void PhotoWidget::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_clickPending && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_clickPending = false;
    PageEvents *sink = events();
    if (!sink)
        return;
    sink->Pic_MouseUp(m_control.Index(), event->button(), event->modifiers(), twipsX(event),
                      twipsY(event));
    if (click)
        sink->Pic_Click(m_control.Index());
    sink->pressEnded(m_control.Index());
}

// Qt delivers the second press of a double click as this event instead of a press.
void PhotoWidget::mouseDoubleClickEvent(QMouseEvent *)
{
    m_clickPending = false;
    if (PageEvents *sink = events())
        sink->Pic_DblClick(m_control.Index());
}

QString printTooltip(const QString &path, QSize pixels, QSizeF twips)
{
    const double inchesAcross = twips.width() * kPrintScale / 1440, inchesDown = twips.height() * kPrintScale / 1440;
    QString text = QStringLiteral("%1\nPrints %2 \u00d7 %3 in (%4 \u00d7 %5 cm)")
                       .arg(QFileInfo(path).fileName())
                       .arg(inchesAcross, 0, 'f', 2)
                       .arg(inchesDown, 0, 'f', 2)
                       .arg(inchesAcross * 2.54, 0, 'f', 1)
                       .arg(inchesDown * 2.54, 0, 'f', 1);
    if (inchesAcross > 0 && pixels.width() > 0) {
        const double ppi = pixels.width() / inchesAcross;
        text += QStringLiteral(" at %1 ppi").arg(std::lround(ppi));
        if (ppi < 150)
            text += QStringLiteral("\nmay print soft");
    }
    return text;
}

bool PhotoWidget::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const Picture &picture = m_control.picture();
    if (picture.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(),
                           printTooltip(picture.path(), picture.size(), {m_control.Width(), m_control.Height()}), this);
    return true;
}

void PhotoWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (PageEvents *sink = events())
        sink->Pic_MouseMove(m_control.Index(), event->buttons(), event->modifiers(),
                            twipsX(event), twipsY(event));
}

void PhotoWidget::refresh()
{
    update();
}

void PhotoWidget::paintPicture(QPainter &painter, const Picture &picture)
{
    const qreal ratio = devicePixelRatioF();
    const QRect part = rect() & parentWidget()->rect().translated(-pos());
    if (part.isEmpty())
        return;
    const QImage copy = picture.display();
    // Zoomed, a photo partly off the page is kept whole where that is not too
    // large, so that moving it only copies pixels; at actual size, and for a
    // photo larger than that, the part on the page, as it has always been.
    constexpr qint64 kLargestKept = 4 << 20; // device pixels
    const bool whole = zoom() != 1 && qint64(width()) * height() * ratio * ratio <= kLargestKept;
    const QRect kept = whole ? rect() : part;
    if (m_scaledFrom != copy.cacheKey() || m_scaledPart != kept || m_scaledSize != size()) {
        const double sx = double(copy.width()) / width(), sy = double(copy.height()) / height();
        const QRect source = kept == rect() ? copy.rect()
                                            : QRectF(kept.x() * sx, kept.y() * sy, kept.width() * sx, kept.height() * sy)
                                                  .toAlignedRect() & copy.rect();
        m_scaled = QPixmap::fromImage(copy.copy(source).scaled((QSizeF(kept.size()) * ratio).toSize().expandedTo({1, 1}),
                                                               Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_scaled.setDevicePixelRatio(ratio);
        m_scaledFrom = copy.cacheKey();
        m_scaledPart = kept;
        m_scaledSize = size();
    }
    if (kept == part)
        painter.drawPixmap(part.topLeft(), m_scaled);
    else
        painter.drawPixmap(part.topLeft(), m_scaled, QRectF(QPointF(part.topLeft() - kept.topLeft()) * ratio, QSizeF(part.size()) * ratio));
    // Enlarged past its screen copy: a sharper one is decoded meanwhile.
    const QSize wanted = (QSizeF(size()) * ratio).toSize().boundedTo(picture.size()).boundedTo(
        QSize(Picture::kLargestCopy, Picture::kLargestCopy));
    if (m_sharperFor != picture.identity()) {
        m_sharperFor = picture.identity();
        m_sharperAsked = QSize();
    }
    if ((wanted.width() > copy.width() || wanted.height() > copy.height()) && !m_sharper.isRunning() &&
        (wanted.width() > m_sharperAsked.width() || wanted.height() > m_sharperAsked.height())) {
        m_sharperAsked = wanted;
        m_sharper.setFuture(QtConcurrent::run(&decodingThreads(), [picture, wanted] { picture.setDisplay(picture.sharper(wanted)); }));
    }
}

void PhotoWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const Picture &picture = m_control.picture();
    if (!picture.isEmpty()) {
        paintPicture(painter, picture);
    } else {
        m_scaled = QPixmap();
        m_scaledFrom = 0;
        m_sharperFor = nullptr;
        if (!m_control.missing().isEmpty()) {
            painter.fillRect(rect(), QColor(245, 245, 245));
            painter.setPen(QPen(QColor(150, 150, 150), 1, Qt::DashLine));
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
            QFont font = painter.font();
            font.setPixelSize(std::max(1, int(std::lround(9 * zoom()))));
            painter.setFont(font);
            const QString name = QFileInfo(m_control.missing()).fileName();
            painter.drawText(rect().adjusted(3, 3, -3, -3), Qt::AlignCenter | Qt::TextWrapAnywhere,
                             painter.fontMetrics().elidedText(name, Qt::ElideMiddle, width() * 3));
        }
    }
    if (m_control.BorderStyle() == 1)
        paintBorder(painter);
    if (const auto *surface = dynamic_cast<const PageSurface *>(parentWidget()))
        surface->paintPrintableArea(painter, pos());
}

void PhotoWidget::paintBorder(QPainter &painter)
{
    // Lines one pixel wide at actual size, as wide as the zoom makes them.
    const int width = std::max(1, int(std::lround(zoom())));
    for (int k = 0; k < width; ++k) {
        const QRect r = rect().adjusted(k, k, -1 - k, -1 - k);
        if (m_control.Appearance() == 1) {
            // A sunken, three-dimensional frame.
            painter.setPen(QColor(128, 128, 128));
            painter.drawLine(r.topLeft(), r.topRight());
            painter.drawLine(r.topLeft(), r.bottomLeft());
            painter.setPen(Qt::white);
            painter.drawLine(r.bottomLeft(), r.bottomRight());
            painter.drawLine(r.topRight(), r.bottomRight());
            painter.setPen(Qt::black);
            painter.drawRect(r.adjusted(width, width, -width, -width));
        } else {
            painter.setPen(Qt::black);
            painter.drawRect(r);
        }
    }
}

} // namespace vintrel
