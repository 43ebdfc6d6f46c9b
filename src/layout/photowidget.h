#pragma once
// The widget that shows one image control: its picture stretched to the
// control's size, and its border look. It turns Qt's mouse events into the
// page's events (pageevents.h).
#include <QFutureWatcher>
#include <QPixmap>
#include <QWidget>

#include "picture/picture.h"

namespace vintrel {

class ImageControl;
class PageEvents;

// A photo's tooltip: its file's name, the size it prints at (its size on the
// page times 2.14, in inches and centimetres) and the pixels an inch its
// picture gives there, with a warning below 150.
QString printTooltip(const QString &path, QSize pixels, QSizeF twips);

class PhotoWidget : public QWidget {
public:
    PhotoWidget(const ImageControl &control, QWidget *parent);
    // The control's picture or look has changed.
    void refresh();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    PageEvents *events() const;
    // The pointer's place in twips from the control's top-left corner.
    float twipsX(const QMouseEvent *e) const;
    float twipsY(const QMouseEvent *e) const;
    double zoom() const;
    void paintPicture(QPainter &painter, const Picture &picture);
    void paintBorder(QPainter &painter);
    const ImageControl &m_control;
    // The part of the picture that shows (what lies on the page), scaled to its
    // device pixels, made once per size and part so that moving a photo only
    // copies pixels; never more than the page shows, however large the photo.
    QPixmap m_scaled;
    qint64 m_scaledFrom = 0; // the cache key of the screen copy it was made from
    QRect m_scaledPart;
    QSize m_scaledSize;
    // A sharper screen copy being decoded for an enlarged photo, and the size
    // last asked for (not asked again unless the photo grows past it).
    QFutureWatcher<void> m_sharper;
    const void *m_sharperFor = nullptr;
    QSize m_sharperAsked;
    // A left press that may still end in a click.
    bool m_clickPending = false;
};

} // namespace vintrel
