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

void Ruler::setView(double zoom, int offset, int length, int reach)
{
    if (zoom != m_zoom)
        m_image = QImage();
    m_zoom = zoom;
    m_offset = offset;
    m_reach = reach;
    if (m_axis == Axis::Horizontal)
        setFixedSize(length, pixelsY(m_height));
    else
        setFixedSize(pixelsX(m_width), length);
    update();
}

QPointF Ruler::pixelAt(float x, float y) const
{
    const QPointF p = pixelPoint(x, y);
    return m_axis == Axis::Horizontal ? QPointF(p.x() * m_zoom, p.y()) : QPointF(p.x(), p.y() * m_zoom);
}

QRect Ruler::shown(const QRectF &pictureRect) const
{
    const QPoint by = m_axis == Axis::Horizontal ? QPoint(m_offset, 0) : QPoint(0, m_offset);
    return pictureRect.toAlignedRect().translated(-by);
}

QSize Ruler::scaleSize() const
{
    const QSize actual = m_axis == Axis::Horizontal ? kHorizontalScale : kVerticalScale;
    return m_axis == Axis::Horizontal ? QSize(int(std::lround(actual.width() * m_zoom)), actual.height())
                                      : QSize(actual.width(), int(std::lround(actual.height() * m_zoom)));
}

QImage &Ruler::picture() const
{
    if (m_image.isNull()) {
        const QSize actual(pixelsX(m_width), pixelsY(m_height));
        m_image = QImage(m_axis == Axis::Horizontal ? QSize(pixelsX(m_width * m_zoom), actual.height())
                                                    : QSize(actual.width(), pixelsY(m_height * m_zoom)),
                         QImage::Format_RGB32);
        m_image.fill(Qt::white);
        drawScale();
    }
    return m_image;
}

void Ruler::drawScale() const
{
    const bool across = m_axis == Axis::Horizontal;
    const QSize scale = scaleSize();
    const int depth = across ? scale.height() : scale.width();
    std::vector<int> marks;
    for (int at : inchMarks(m_axis))
        marks.push_back(int(std::lround(at * m_zoom)));
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
    return QRegion(picture().rect()) - QRect(QPoint(), scaleSize());
}

void Ruler::Line(float x1, float y1, float x2, float y2, const QColor &colour)
{
    const QPointF a = pixelAt(x1, y1), b = pixelAt(x2, y2);
    QPainter p(&picture());
    p.setClipRegion(besideScale());
    p.setPen(colour);
    p.drawLine(a, b);
    update(shown(QRectF(a, b).normalized()).adjusted(-1, -1, 1, 1));
}

void Ruler::filledBox(float x1, float y1, float x2, float y2, const QColor &colour)
{
    const QPointF a = pixelAt(x1, y1), b = pixelAt(x2, y2);
    QPainter p(&picture());
    p.setClipRegion(besideScale());
    p.fillRect(QRectF(a, b).normalized(), colour);
    update(shown(QRectF(a, b).normalized()));
}

void Ruler::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect reach = m_axis == Axis::Horizontal ? QRect(0, 0, m_reach, height()) : QRect(0, 0, width(), m_reach);
    const QRect area = event->rect() & reach;
    const QRect image = shown(picture().rect());
    const QRegion beyond = QRegion(area) - image;
    if (!beyond.isEmpty()) {
        painter.setClipRegion(beyond);
        painter.fillRect(area, Qt::white);
        painter.setClipping(false);
    }
    painter.drawImage(area & image, picture(), (area & image).translated(-image.topLeft()));
}

} // namespace vintrel
