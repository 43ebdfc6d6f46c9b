#pragma once
// The scan dialog's preview: a quick scan of the whole glass, the scan area
// over it as a rectangle the user drags, and the outlines of the prints found
// on it, each dropped or taken back with a click. Places on the glass are
// given as parts of its width and height (0 to 1 each way).
#include <functional>
#include <optional>

#include <QImage>
#include <QPixmap>
#include <QPolygonF>
#include <QWidget>

namespace vintrel::scan {

class GlassPane : public QWidget {
public:
    explicit GlassPane(QWidget *parent = nullptr);

    // The glass's size, for its shape while there is no preview.
    void setGlass(QSizeF size);
    // The preview, or a text in its place.
    void setPicture(const QImage &picture);
    void setMessage(const QString &text);
    // The scan area; hidden while not shown.
    void setArea(const QRectF &area);
    void setAreaShown(bool shown);
    // Called with the area the user has dragged.
    std::function<void(const QRectF &)> areaDragged;
    // The prints found, all kept; shown while outlines are shown.
    void setPrints(const QList<QPolygonF> &outlines);
    void setPrintsShown(bool shown);
    QList<QPolygonF> keptPrints() const;

    QSize sizeHint() const override { return {320, 320}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QRectF glassRect() const; // where the glass stands in the pane
    QPointF onGlass(QPointF inPane) const;
    QTransform toPane() const;
    void tell(); // what the pane shows, as properties for those who look

    QSizeF m_glass{1, 1};
    QImage m_picture;
    QPixmap m_shown; // the picture at the pane's size
    QString m_message;
    QRectF m_area{0, 0, 1, 1};
    bool m_areaShown = false, m_printsShown = false;
    QList<QPolygonF> m_prints;
    QList<bool> m_dropped;
    std::optional<QPointF> m_dragFrom;
};

} // namespace vintrel::scan
