#include "photowidget.h"

#include <QPainter>

#include "imagecontrol.h"

namespace vintrel {

PhotoWidget::PhotoWidget(const ImageControl &control, QWidget *parent)
    : QWidget(parent), m_control(control)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PhotoWidget::refresh()
{
    update();
}

void PhotoWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const Picture &picture = m_control.picture();
    if (!picture.isEmpty()) {
        const QSize device = size() * devicePixelRatioF();
        if (m_scaledFrom != picture || m_scaled.size() != device) {
            m_scaled = QPixmap::fromImage(picture.display().scaled(device, Qt::IgnoreAspectRatio,
                                                                   Qt::SmoothTransformation));
            m_scaled.setDevicePixelRatio(devicePixelRatioF());
            m_scaledFrom = picture;
        }
        painter.drawPixmap(0, 0, m_scaled);
    } else {
        m_scaled = QPixmap();
        m_scaledFrom = Picture();
    }
    if (m_control.BorderStyle() == 1) {
        const QRect r = rect().adjusted(0, 0, -1, -1);
        if (m_control.Appearance() == 1) {
            // A sunken, three-dimensional frame.
            painter.setPen(QColor(128, 128, 128));
            painter.drawLine(r.topLeft(), r.topRight());
            painter.drawLine(r.topLeft(), r.bottomLeft());
            painter.setPen(Qt::white);
            painter.drawLine(r.bottomLeft(), r.bottomRight());
            painter.drawLine(r.topRight(), r.bottomRight());
            painter.setPen(Qt::black);
            painter.drawRect(r.adjusted(1, 1, -1, -1));
        } else {
            painter.setPen(Qt::black);
            painter.drawRect(r);
        }
    }
}

} // namespace vintrel
