#pragma once
// The widget that shows one image control: its picture stretched to the
// control's size, and its border look. It turns Qt's mouse events into the
// page's events (pageevents.h).
#include <QPixmap>
#include <QWidget>

#include "platform/picture.h"

namespace vintrel {

class ImageControl;
class PageEvents;

class PhotoWidget : public QWidget {
public:
    PhotoWidget(const ImageControl &control, QWidget *parent);
    // The control's picture or look has changed.
    void refresh();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    PageEvents *events() const;
    const ImageControl &m_control;
    // The picture scaled to the widget's current pixel size, made once per size
    // so that moving a photo only copies pixels.
    QPixmap m_scaled;
    Picture m_scaledFrom;
    // A left press that may still end in a click.
    bool m_clickPending = false;
};

} // namespace vintrel
