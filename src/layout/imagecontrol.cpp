#include "imagecontrol.h"

#include "page.h"
#include "photowidget.h"
#include "platform/twips.h"

namespace vintrel {

ImageControl::ImageControl(int index, QWidget *surface, float left, float top)
    : m_index(index), m_left(left), m_top(top), m_widget(new PhotoWidget(*this, surface))
{
    m_widget->setObjectName(QStringLiteral("Pic(%1)").arg(index));
    m_widget->hide();
    place();
}

ImageControl::~ImageControl() = default; // the widget belongs to the page surface

QWidget *ImageControl::widget() const { return m_widget; }

void ImageControl::place()
{
    m_widget->setGeometry(pixelRect(m_left, m_top, m_width, m_height, static_cast<PageSurface *>(m_widget->parentWidget())->zoom()));
}

void ImageControl::setLeft(float v) { m_left = v; place(); }
void ImageControl::setTop(float v) { m_top = v; place(); }
void ImageControl::setWidth(float v) { m_width = v; place(); }
void ImageControl::setHeight(float v) { m_height = v; place(); }

void ImageControl::Move(float left, float top)
{
    m_left = left;
    m_top = top;
    place();
}

void ImageControl::setVisible(bool v)
{
    m_visible = v;
    m_widget->setVisible(v);
}

void ImageControl::setPicture(const Picture &p)
{
    m_picture = p;
    m_missing.clear();
    m_widget->refresh();
}

void ImageControl::setMissing(const QString &path)
{
    m_picture = Picture();
    m_missing = path;
    m_widget->refresh();
}

void ImageControl::setBorderStyle(int v)
{
    m_borderStyle = v;
    m_widget->refresh();
}

void ImageControl::setAppearance(int v)
{
    m_appearance = v;
    m_widget->refresh();
}

void ImageControl::setMousePointer(int v)
{
    m_mousePointer = v;
    switch (v) {
    case 5: m_widget->setCursor(Qt::SizeAllCursor); break;
    case 6: m_widget->setCursor(Qt::SizeBDiagCursor); break;
    case 7: m_widget->setCursor(Qt::SizeVerCursor); break;
    case 8: m_widget->setCursor(Qt::SizeFDiagCursor); break;
    case 9: m_widget->setCursor(Qt::SizeHorCursor); break;
    default: m_widget->unsetCursor(); break;
    }
}

void ImageControl::ZOrder()
{
    m_widget->raise();
}

} // namespace vintrel
