#pragma once
// The widget that shows one image control: its picture stretched to the
// control's size, and its border look.
#include <QPixmap>
#include <QWidget>

#include "platform/picture.h"

namespace vintrel {

class ImageControl;

class PhotoWidget : public QWidget {
public:
    PhotoWidget(const ImageControl &control, QWidget *parent);
    // The control's picture or look has changed.
    void refresh();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const ImageControl &m_control;
    // The picture scaled to the widget's current pixel size, made once per size
    // so that moving a photo only copies pixels.
    QPixmap m_scaled;
    Picture m_scaledFrom;
};

} // namespace vintrel
