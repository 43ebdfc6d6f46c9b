#pragma once
// The rulers beside the page. Each is a picture box holding a picture of its
// scale in printed inches; marks drawn on it go into that same picture, so they
// survive a repaint, but only beside the scale, which stays whole. Along the
// page the ruler follows the page's zoom and scrolling; across, it keeps its
// depth.
#include <limits>

#include <QImage>
#include <QWidget>

namespace vintrel {

class Ruler : public QWidget {
public:
    enum class Axis { Horizontal, Vertical };
    // A ruler of the given size in twips, showing its scale picture.
    Ruler(Axis axis, float widthTwips, float heightTwips, QWidget *parent = nullptr);

    // The drawing area in twips.
    float ScaleWidth() const { return m_width; }
    float ScaleHeight() const { return m_height; }

    // A straight line between two points, in twips.
    void Line(float x1, float y1, float x2, float y2, const QColor &colour);
    // A filled rectangle between two corners, in twips.
    void filledBox(float x1, float y1, float x2, float y2, const QColor &colour);

    // What the ruler shows, at one pixel a screen pixel, from the page's edge.
    const QImage &image() const { return picture(); }

    // Shows the scale `zoom` times its actual size, scrolled by `offset`
    // pixels along the page, in a widget `length` pixels long (beyond its
    // picture, white), of which the first `reach` pixels show (beyond them,
    // what lies under the ruler). A new zoom draws the scale again, without
    // marks.
    void setView(double zoom, int offset, int length, int reach = std::numeric_limits<int>::max());

    // Where the whole-inch marks of the scale pictures stand, in pixels from the
    // start of the scale; 0 to 8 across, 0 to 11 down.
    static const std::vector<int> &inchMarks(Axis axis);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The picture, its scale drawn the first time it is needed (after the
    // window has appeared: drawing the labels starts the font machinery).
    QImage &picture() const;
    void drawScale() const;
    QRegion besideScale() const;
    // The scale picture's size at the zoom.
    QSize scaleSize() const;
    // A point in twips, in the picture's pixels at the zoom.
    QPointF pixelAt(float x, float y) const;
    // The picture's rectangle in the widget's pixels.
    QRect shown(const QRectF &pictureRect) const;
    Axis m_axis;
    float m_width, m_height;
    double m_zoom = 1;
    int m_offset = 0;
    int m_reach = std::numeric_limits<int>::max();
    mutable QImage m_image;
};

} // namespace vintrel
