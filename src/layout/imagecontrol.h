#pragma once
// An image control of the page: one photo slot's picture, place, size,
// visibility, border look and pointer. The place and size are single-precision
// twips and are the truth; the widget that shows them follows.
#include <QWidget>

#include "picture/picture.h"

namespace vintrel {

class PhotoWidget;

class ImageControl {
public:
    ImageControl(int index, QWidget *surface, float left, float top);
    ~ImageControl();
    ImageControl(const ImageControl &) = delete;
    ImageControl &operator=(const ImageControl &) = delete;

    int Index() const { return m_index; }

    float Left() const { return m_left; }
    float Top() const { return m_top; }
    float Width() const { return m_width; }
    float Height() const { return m_height; }
    void setLeft(float v);
    void setTop(float v);
    void setWidth(float v);
    void setHeight(float v);
    void Move(float left, float top);

    bool Visible() const { return m_visible; }
    void setVisible(bool v);

    const Picture &picture() const { return m_picture; }
    void setPicture(const Picture &p);
    // No picture, because the photo's file was not found: the control shows an
    // empty frame naming the file until it is given a picture again.
    void setMissing(const QString &path);
    const QString &missing() const { return m_missing; }

    // 0 no border, 1 single line.
    int BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(int v);
    // 0 flat, 1 three-dimensional.
    int Appearance() const { return m_appearance; }
    void setAppearance(int v);

    // Pointer shape: 0 default, 5 move, 6 and 8 diagonal sizes, 7 vertical, 9 horizontal.
    int MousePointer() const { return m_mousePointer; }
    void setMousePointer(int v);

    // Brings the control in front of its siblings on the page.
    void ZOrder();

    QWidget *widget() const;
    // Stands the widget where the place and size say, at the page's zoom.
    void place();

private:
    int m_index;
    float m_left, m_top;
    float m_width = 735, m_height = 735;
    bool m_visible = false;
    Picture m_picture;
    QString m_missing;
    int m_borderStyle = 0;
    int m_appearance = 0;
    int m_mousePointer = 0;
    PhotoWidget *m_widget;
};

} // namespace vintrel
