#include "pageview.h"

#include <algorithm>
#include <cmath>

#include <QCoreApplication>
#include <QScrollBar>
#include <QWheelEvent>

#include "layout/page.h"
#include "layout/ruler.h"
#include "platform/twips.h"

namespace vintrel {

namespace {
// The area and where its children stand at actual size, in twips: the page's
// top-left corner, the rulers' starts, their lengths.
constexpr float kWidth = 7065, kHeight = 7890;
constexpr float kPageLeft = 1320, kPageTop = 360;
constexpr float kYRuleLeft = 960;
constexpr float kXRuleLength = 6645, kYRuleLength = 7485;
// One notch of a mouse wheel.
constexpr int kNotch = 120;

QPoint pageOrigin() { return QPoint(pixelsX(kPageLeft), pixelsY(kPageTop)); }
} // namespace

PageView::PageView(QWidget *parent)
    : QWidget(parent),
      m_viewport(new QWidget(this)),
      m_across(new QScrollBar(Qt::Horizontal, this)),
      m_down(new QScrollBar(Qt::Vertical, this))
{
    setObjectName(QStringLiteral("PageView"));
    m_viewport->setObjectName(QStringLiteral("PageViewport"));
    m_across->setObjectName(QStringLiteral("ScrollAcross"));
    m_down->setObjectName(QStringLiteral("ScrollDown"));
    m_across->hide();
    m_down->hide();
    for (QScrollBar *bar : {m_across, m_down}) {
        bar->setSingleStep(20);
        connect(bar, &QScrollBar::valueChanged, this, [this] { arrange(); });
    }
    setMinimumSize(pixelsX(kPageLeft) + 120, sizeHint().height());
}

QSize PageView::sizeHint() const
{
    return QSize(pixelsX(kWidth), pixelsY(kHeight));
}

void PageView::attach(Page &page, Ruler &xRule, Ruler &yRule)
{
    m_page = &page;
    m_xRule = &xRule;
    m_yRule = &yRule;
    xRule.move(pageOrigin().x(), 0);
    yRule.move(pixelsX(kYRuleLeft), pageOrigin().y());
    // Above the rulers, which run under them.
    m_across->raise();
    m_down->raise();
    arrange();
}

const std::vector<double> &PageView::zoomSteps()
{
    static const std::vector<double> steps{0.25, 1.0 / 3, 0.5, 2.0 / 3, 0.75, 1, 1.25, 1.5, 2, 3, 4};
    return steps;
}

double PageView::zoom() const
{
    return m_page ? m_page->zoom() : 1;
}

void PageView::arrange()
{
    if (!m_page)
        return;
    const QPoint origin = pageOrigin();
    const QSize page = m_page->surface()->size();
    const int barWidth = m_down->sizeHint().width(), barHeight = m_across->sizeHint().height();
    QSize room(width() - origin.x(), height() - origin.y());
    // A scroll bar where the page does not fit, and then the other where the
    // first took the room it needed.
    bool across = page.width() > room.width(), down = page.height() > room.height();
    for (int pass = 0; pass < 2; ++pass) {
        if (across && !down && page.height() > room.height() - barHeight)
            down = true;
        if (down && !across && page.width() > room.width() - barWidth)
            across = true;
    }
    room -= QSize(down ? barWidth : 0, across ? barHeight : 0);
    m_across->setRange(0, across ? page.width() - room.width() : 0);
    m_down->setRange(0, down ? page.height() - room.height() : 0);
    m_across->setPageStep(std::max(1, room.width()));
    m_down->setPageStep(std::max(1, room.height()));
    const int left = pixelsX(kYRuleLeft);
    m_across->setGeometry(left, height() - barHeight, width() - left, barHeight);
    m_down->setGeometry(width() - barWidth, origin.y(), barWidth, room.height());
    m_across->setVisible(across);
    m_down->setVisible(down);

    const QPoint scrolled(m_across->value(), m_down->value());
    m_viewport->setGeometry(rect());
    m_viewport->setMask(QRect(origin, room.expandedTo({1, 1})));
    m_page->surface()->move(origin - scrolled);
    const double z = zoom();
    // The top ruler's white runs the page's width, as much of it as the
    // window shows at actual size; the one at the left a little past the
    // page's foot.
    m_xRule->setView(z, scrolled.x(), pixelsX(kXRuleLength * z) - scrolled.x(), m_page->surface()->width() - scrolled.x());
    m_yRule->setView(z, scrolled.y(), pixelsY(kYRuleLength * z) - scrolled.y());
}

void PageView::setZoom(double zoom, std::optional<QPoint> anchor)
{
    zoom = std::clamp(zoom, zoomSteps().front(), zoomSteps().back());
    if (!m_page || zoom == this->zoom())
        return;
    // The point under the anchor, in the page's pixels at actual size.
    const QPoint origin = pageOrigin();
    const QRect room = m_viewport->mask().boundingRect();
    const QPoint at = anchor.value_or(room.isEmpty() || !isVisible() ? origin : room.center());
    const QPointF onPage = QPointF(at - m_page->surface()->pos()) / this->zoom();
    m_page->setZoom(zoom);
    arrange();
    const QPointF after = onPage * zoom; // where that point now stands on the page
    m_across->setValue(int(std::lround(after.x() - (at.x() - origin.x()))));
    m_down->setValue(int(std::lround(after.y() - (at.y() - origin.y()))));
    arrange();
    if (onZoomed)
        onZoomed();
}

void PageView::zoomIn(std::optional<QPoint> anchor)
{
    const auto &steps = zoomSteps();
    const auto next = std::upper_bound(steps.begin(), steps.end(), zoom() * 1.001);
    if (next != steps.end())
        setZoom(*next, anchor);
}

void PageView::zoomOut(std::optional<QPoint> anchor)
{
    const auto &steps = zoomSteps();
    const auto below = std::lower_bound(steps.begin(), steps.end(), zoom() / 1.001);
    if (below != steps.begin())
        setZoom(*std::prev(below), anchor);
}

double PageView::fitPageZoom() const
{
    // The page's height in the room below the top ruler, less a scroll bar's
    // height where the page would then be wider than the room.
    const double perZoom = PageSurface::kHeight / Screen::TwipsPerPixelY();
    double room = height() - pageOrigin().y();
    if ((room / perZoom) * (PageSurface::kWidth / Screen::TwipsPerPixelX()) > width() - pageOrigin().x())
        room -= m_across->sizeHint().height();
    double z = room / perZoom;
    while (z > zoomSteps().front() && pixelsY(PageSurface::kHeight * z) > room)
        z -= 0.001;
    return z;
}

void PageView::resizeEvent(QResizeEvent *)
{
    arrange();
}

void PageView::wheelEvent(QWheelEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        // Scrolls down, or across with Shift or where the page is as tall as the room.
        QScrollBar *bar = (event->modifiers() & Qt::ShiftModifier) || !m_down->isVisible() ? m_across : m_down;
        QCoreApplication::sendEvent(bar, event);
        return;
    }
    event->accept();
    m_wheel += event->angleDelta().y();
    const QPoint at = event->position().toPoint();
    for (; m_wheel >= kNotch; m_wheel -= kNotch)
        zoomIn(at);
    for (; m_wheel <= -kNotch; m_wheel += kNotch)
        zoomOut(at);
}

} // namespace vintrel
