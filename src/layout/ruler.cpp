#include "ruler.h"

#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

#include "platform/twips.h"

namespace vintrel {

namespace {
// The scale pictures: 382 x 16 pixels across, 14 x 495 down.
constexpr QSize kHorizontalScale(382, 16);
constexpr QSize kVerticalScale(14, 495);
} // namespace

const std::vector<int> &Ruler::inchMarks(Axis axis)
{
    static const std::vector<int> across{1, 45, 90, 134, 179, 223, 268, 312, 358};
    static const std::vector<int> down{1, 46, 89, 135, 179, 224, 269, 314, 358, 403, 447, 492};
    return axis == Axis::Horizontal ? across : down;
}

Ruler::Ruler(Axis axis, float widthTwips, float heightTwips, QWidget *parent)
    : QWidget(parent), m_axis(axis), m_width(widthTwips), m_height(heightTwips)
{
    setObjectName(axis == Axis::Horizontal ? QStringLiteral("XRule") : QStringLiteral("YRule"));
    setFixedSize(pixelsX(widthTwips), pixelsY(heightTwips));
}

QImage &Ruler::picture() const
{
    if (m_image.isNull()) {
        m_image = QImage(size(), QImage::Format_RGB32);
        m_image.fill(Qt::white);
        drawScale();
    }
    return m_image;
}

void Ruler::drawScale() const
{
    const bool across = m_axis == Axis::Horizontal;
    const QSize scale = across ? kHorizontalScale : kVerticalScale;
    const int depth = across ? scale.height() : scale.width();
    const std::vector<int> &marks = inchMarks(m_axis);
    const int labels = across ? 8 : 10;

    QPainter p(&m_image);
    p.setPen(Qt::black);
    QFont font = p.font();
    font.setPixelSize(8);
    p.setFont(font);
    auto tick = [&](int at, int length) {
        if (across)
            p.drawLine(at, 0, at, length - 1);
        else
            p.drawLine(0, at, length - 1, at);
    };
    for (size_t inch = 0; inch < marks.size(); ++inch) {
        tick(marks[inch], depth);
        if (int(inch) <= labels) {
            const QString label = QString::number(inch);
            if (across)
                p.drawText(QRect(marks[inch] + 2, 0, 12, depth - 4), Qt::AlignLeft | Qt::AlignTop, label);
            else
                p.drawText(QRect(0, marks[inch] + 1, depth - 4, 10), Qt::AlignRight | Qt::AlignTop, label);
        }
        if (inch + 1 == marks.size())
            break;
        // Eighth-inch ticks between this mark and the next: halves longest.
        const double step = (marks[inch + 1] - marks[inch]) / 8.0;
        for (int k = 1; k < 8; ++k) {
            const int length = k == 4 ? depth / 2 : (k % 2 == 0 ? depth * 3 / 8 : depth / 4);
            tick(marks[inch] + int(std::lround(k * step)), length);
        }
    }
    // The scale's edge along the page.
    if (across)
        p.drawLine(0, depth - 1, scale.width() - 1, depth - 1);
    else
        p.drawLine(depth - 1, 0, depth - 1, scale.height() - 1);
}

QRegion Ruler::besideScale() const
{
    // The marker band lies beside the scale picture, which it never touches.
    return QRegion(picture().rect()) - QRect(QPoint(), m_axis == Axis::Horizontal ? kHorizontalScale : kVerticalScale);
}

void Ruler::Line(float x1, float y1, float x2, float y2, const QColor &colour)
{
    const QPointF a = pixelPoint(x1, y1), b = pixelPoint(x2, y2);
    QPainter p(&picture());
    p.setClipRegion(besideScale());
    p.setPen(colour);
    p.drawLine(a, b);
    update(QRectF(a, b).normalized().toAlignedRect().adjusted(-1, -1, 1, 1));
}

void Ruler::filledBox(float x1, float y1, float x2, float y2, const QColor &colour)
{
    const QPointF a = pixelPoint(x1, y1), b = pixelPoint(x2, y2);
    QPainter p(&picture());
    p.setClipRegion(besideScale());
    p.fillRect(QRectF(a, b).normalized(), colour);
    update(QRectF(a, b).normalized().toAlignedRect());
}

void Ruler::paintEvent(QPaintEvent *event)
{
    QPainter(this).drawImage(event->rect(), picture(), event->rect());
}

} // namespace vintrel
