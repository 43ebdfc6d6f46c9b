#pragma once
// The main window's client area: the toolbar strip on the left, the rulers
// along the top and left edges of the page, and the page itself, shown at a
// zoom and scrolled where it does not fit. At actual size in a window of its
// first size the page fits, and the area is exactly what it has always been.
#include <functional>
#include <optional>
#include <vector>

#include <QWidget>

class QScrollBar;

namespace vintrel {

class Page;
class Ruler;

class PageView : public QWidget {
public:
    explicit PageView(QWidget *parent);

    // Where the page's surface goes (its parent), clipped to the part of the
    // area beside the rulers.
    QWidget *viewport() const { return m_viewport; }
    // The page and its rulers, made after the view; puts them in their places.
    void attach(Page &page, Ruler &xRule, Ruler &yRule);

    // The zoom steps, from the smallest to the largest.
    static const std::vector<double> &zoomSteps();
    double zoom() const;
    // Shows the page `zoom` times its actual size (kept to the steps' range),
    // keeping the point of the page under `anchor` (the area's pixels) where
    // it stands, or the top-left corner of what shows.
    void setZoom(double zoom, std::optional<QPoint> anchor = std::nullopt);
    void zoomIn(std::optional<QPoint> anchor = std::nullopt);
    void zoomOut(std::optional<QPoint> anchor = std::nullopt);
    // The zoom at which the page's height fills the area beside the top ruler.
    double fitPageZoom() const;
    // Called after each change of zoom.
    std::function<void()> onZoomed;

    // The client area's size when the page is at actual size.
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void arrange();
    QWidget *m_viewport;
    QScrollBar *m_across;
    QScrollBar *m_down;
    Page *m_page = nullptr;
    Ruler *m_xRule = nullptr;
    Ruler *m_yRule = nullptr;
    int m_wheel = 0; // wheel travel not yet turned into a zoom step
};

} // namespace vintrel
