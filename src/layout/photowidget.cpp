#include "photowidget.h"

#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>

#include "imagecontrol.h"
#include "page.h"
#include "pageevents.h"
#include "platform/app.h"

namespace vintrel {

PhotoWidget::PhotoWidget(const ImageControl &control, QWidget *parent)
    : QWidget(parent), m_control(control)
{
    setMouseTracking(true); // hovering shows the size pointers
    setFocusPolicy(Qt::NoFocus);
}

PageEvents *PhotoWidget::events() const
{
    const auto *surface = static_cast<const PageSurface *>(parentWidget());
    return surface ? surface->events : nullptr;
}

namespace {
float twipsX(const QMouseEvent *e) { return float(e->position().x() * Screen::TwipsPerPixelX()); }
float twipsY(const QMouseEvent *e) { return float(e->position().y() * Screen::TwipsPerPixelY()); }
} // namespace

int vbButton(Qt::MouseButtons buttons)
{
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int vbShift(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

int vbKeyCode(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey; // the same codes
    switch (qtKey) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return vbKeyDelete;
    default: return 0;
    }
}

void PhotoWidget::mousePressEvent(QMouseEvent *event)
{
    m_clickPending = event->button() == Qt::LeftButton;
    if (PageEvents *sink = events())
        sink->Pic_MouseDown(m_control.Index(), vbButton(event->button()), vbShift(event->modifiers()),
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
    sink->Pic_MouseUp(m_control.Index(), vbButton(event->button()), vbShift(event->modifiers()), twipsX(event),
                      twipsY(event));
    if (click)
        sink->Pic_Click(m_control.Index());
}

// Qt delivers the second press of a double click as this event instead of a press.
void PhotoWidget::mouseDoubleClickEvent(QMouseEvent *)
{
    m_clickPending = false;
    if (PageEvents *sink = events())
        sink->Pic_DblClick(m_control.Index());
}

void PhotoWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (PageEvents *sink = events())
        sink->Pic_MouseMove(m_control.Index(), vbButton(event->buttons()), vbShift(event->modifiers()),
                            twipsX(event), twipsY(event));
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
        if (!m_control.missing().isEmpty()) {
            painter.fillRect(rect(), QColor(245, 245, 245));
            painter.setPen(QPen(QColor(150, 150, 150), 1, Qt::DashLine));
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
            QFont font = painter.font();
            font.setPixelSize(9);
            painter.setFont(font);
            const QString name = QFileInfo(m_control.missing()).fileName();
            painter.drawText(rect().adjusted(3, 3, -3, -3), Qt::AlignCenter | Qt::TextWrapAnywhere,
                             painter.fontMetrics().elidedText(name, Qt::ElideMiddle, width() * 3));
        }
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
