#include "lazystyle.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QWidget>

namespace vintrel {

namespace {

// An icon engine that asks the style for the real icon the first time the icon
// is drawn or measured.
class LazyIconEngine : public QIconEngine {
public:
    LazyIconEngine(const QProxyStyle *style, QStyle::StandardPixmap which, const QWidget *widget)
        : m_style(const_cast<QProxyStyle *>(style)), m_which(which), m_widget(widget)
    {
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        real().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return real().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return real().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return real().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return real().availableSizes(mode, state);
    }
    bool isNull() override { return real().isNull(); }
    QIconEngine *clone() const override { return new LazyIconEngine(*this); }

private:
    QIcon &real()
    {
        if (!m_made) {
            m_made = true;
            if (m_style)
                m_real = m_style->baseStyle()->standardIcon(m_which, nullptr, m_widget);
        }
        return m_real;
    }
    QPointer<QProxyStyle> m_style;
    QStyle::StandardPixmap m_which;
    QPointer<const QWidget> m_widget;
    bool m_made = false;
    QIcon m_real;
};

} // namespace

QIcon LazyIconStyle::standardIcon(StandardPixmap icon, const QStyleOption *option, const QWidget *widget) const
{
    // An option describes a moment: only icons asked for without one wait.
    if (option)
        return QProxyStyle::standardIcon(icon, option, widget);
    return QIcon(new LazyIconEngine(this, icon, widget));
}

} // namespace vintrel
