#include "glasspane.h"

#include <QMouseEvent>
#include <QPainterPath>
#include <QPainter>

namespace vintrel::scan {

namespace {
// A drag shorter than this many pixels is a click.
constexpr int kLeastDrag = 4;
const QColor kKept(40, 200, 80), kDropped(220, 60, 60);
} // namespace

GlassPane::GlassPane(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Glass"));
    setMinimumSize(200, 200);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    tell();
}

void GlassPane::setGlass(QSizeF size)
{
    if (size.width() > 0 && size.height() > 0)
        m_glass = size;
    m_shown = {};
    tell();
    update();
}

void GlassPane::setPicture(const QImage &picture)
{
    m_picture = picture;
    m_shown = {};
    if (!picture.isNull())
        m_message.clear();
    tell();
    update();
}

void GlassPane::setMessage(const QString &text)
{
    m_message = text;
    update();
}

void GlassPane::setArea(const QRectF &area)
{
    m_area = area.intersected(QRectF(0, 0, 1, 1));
    update();
}

void GlassPane::setAreaShown(bool shown)
{
    m_areaShown = shown;
    update();
}

void GlassPane::setPrints(const QList<QPolygonF> &outlines)
{
    m_prints = outlines;
    m_dropped = QList<bool>(outlines.size(), false);
    tell();
    update();
}

void GlassPane::setPrintsShown(bool shown)
{
    m_printsShown = shown;
    update();
}

QList<QPolygonF> GlassPane::keptPrints() const
{
    QList<QPolygonF> kept;
    for (qsizetype i = 0; i < m_prints.size(); ++i)
        if (!m_dropped[i])
            kept << m_prints[i];
    return kept;
}

void GlassPane::tell()
{
    setProperty("picture", m_picture);
    setProperty("prints", int(m_prints.size()));
    setProperty("kept", int(keptPrints().size()));
    setProperty("glass", glassRect());
}

QRectF GlassPane::glassRect() const
{
    const QSizeF glass = m_picture.isNull() ? m_glass : QSizeF(m_picture.size());
    const QSizeF fitted = glass.scaled(QSizeF(size()) - QSizeF(8, 8), Qt::KeepAspectRatio);
    return QRectF(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

QTransform GlassPane::toPane() const
{
    const QRectF r = glassRect();
    return QTransform(r.width(), 0, 0, r.height(), r.left(), r.top());
}

QPointF GlassPane::onGlass(QPointF inPane) const
{
    const QPointF p = toPane().inverted().map(inPane);
    return {qBound(0.0, p.x(), 1.0), qBound(0.0, p.y(), 1.0)};
}

void GlassPane::resizeEvent(QResizeEvent *)
{
    m_shown = {};
    tell();
}

void GlassPane::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(72, 72, 72));
    const QRectF glass = glassRect();
    if (m_picture.isNull()) {
        painter.fillRect(glass, QColor(96, 96, 96));
        painter.setPen(Qt::white);
        painter.drawText(glass.adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, m_message);
    } else {
        if (m_shown.isNull() || m_shown.size() != glass.size().toSize())
            m_shown = QPixmap::fromImage(m_picture.scaled(glass.size().toSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        painter.drawPixmap(glass.topLeft(), m_shown);
    }
    const QTransform map = toPane();
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_areaShown) {
        const QRectF area = map.mapRect(m_area);
        QPainterPath outside;
        outside.addRect(glass);
        outside.addRect(area);
        painter.fillPath(outside, QColor(0, 0, 0, 110));
        painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
        painter.drawRect(area);
    }
    if (m_printsShown)
        for (qsizetype i = 0; i < m_prints.size(); ++i) {
            const QPolygonF outline = map.map(m_prints[i]);
            const QColor colour = m_dropped[i] ? kDropped : kKept;
            painter.setPen(QPen(colour, 2, m_dropped[i] ? Qt::DashLine : Qt::SolidLine));
            painter.setBrush(QColor(colour.red(), colour.green(), colour.blue(), m_dropped[i] ? 30 : 50));
            painter.drawPolygon(outline);
            if (m_dropped[i]) {
                painter.drawLine(outline.value(0), outline.value(2));
                painter.drawLine(outline.value(1), outline.value(3));
            }
        }
}

void GlassPane::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (m_printsShown) {
        const QPointF at = toPane().inverted().map(event->position());
        for (qsizetype i = 0; i < m_prints.size(); ++i)
            if (m_prints[i].containsPoint(at, Qt::OddEvenFill)) {
                m_dropped[i] = !m_dropped[i];
                tell();
                update();
                return;
            }
    }
    if (m_areaShown)
        m_dragFrom = event->position();
}

void GlassPane::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragFrom || (event->position() - *m_dragFrom).manhattanLength() < kLeastDrag)
        return;
    m_area = QRectF(onGlass(*m_dragFrom), onGlass(event->position())).normalized();
    update();
}

void GlassPane::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_dragFrom)
        return;
    const QPointF from = *m_dragFrom;
    m_dragFrom.reset();
    if ((event->position() - from).manhattanLength() < kLeastDrag)
        return;
    m_area = QRectF(onGlass(from), onGlass(event->position())).normalized();
    update();
    if (areaDragged)
        areaDragged(m_area);
}

} // namespace vintrel::scan
