#include "toolbar.h"

#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVBoxLayout>

#include "layout/twips.h"

namespace vintrel {

Toolbar::Toolbar(QWidget *parent) : QWidget(parent), m_column(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("Toolbar1"));
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(0);
    m_column->addStretch();
}

void Toolbar::addButton(const QString &key, const QString &tooltip)
{
    auto *button = new QToolButton(this);
    button->setObjectName(key);
    button->setText(key);
    button->setToolTip(tooltip);
    button->setIcon(buttonPicture(key));
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus); // the page keeps the keyboard
    button->setFixedSize(pixelsX(795), pixelsY(780));
    connect(button, &QToolButton::clicked, this, [this, key] {
        if (onButtonClick)
            onButtonClick(key);
    });
    m_column->insertWidget(m_column->count() - 1, button);
}

QIcon Toolbar::buttonPicture(const QString &key)
{
    // Small drawings, one per command: a sheet, a folder, a disk, a photo with
    // a plus or a cross, a printer, a scanner, a question mark.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    auto photo = [&] {
        p.setBrush(QColor(120, 170, 220));
        p.drawRect(4, 6, 22, 17);
        p.setBrush(QColor(80, 150, 80));
        QPainterPath hill;
        hill.moveTo(4, 23);
        hill.lineTo(12, 13);
        hill.lineTo(19, 20);
        hill.lineTo(26, 15);
        hill.lineTo(26, 23);
        hill.closeSubpath();
        p.drawPath(hill);
    };
    auto badge = [&](const QColor &colour, bool plus) {
        p.setBrush(colour);
        p.drawEllipse(17, 17, 14, 14);
        p.setPen(QPen(Qt::white, 2.5));
        p.drawLine(20, 24, 28, 24);
        if (plus)
            p.drawLine(24, 20, 24, 28);
    };
    if (key == QLatin1String("New")) {
        p.setBrush(Qt::white);
        p.drawRect(7, 3, 18, 26);
    } else if (key == QLatin1String("Open")) {
        p.setBrush(QColor(230, 190, 80));
        p.drawRect(3, 8, 26, 19);
        p.drawRect(3, 5, 10, 4);
    } else if (key == QLatin1String("Save As")) {
        p.setBrush(QColor(60, 90, 160));
        p.drawRect(4, 4, 24, 24);
        p.setBrush(Qt::white);
        p.drawRect(9, 4, 14, 9);
        p.drawRect(8, 18, 16, 10);
    } else if (key == QLatin1String("Add")) {
        photo();
        badge(QColor(40, 150, 60), true);
    } else if (key == QLatin1String("Remove")) {
        photo();
        badge(QColor(190, 40, 40), false);
    } else if (key == QLatin1String("Print")) {
        p.setBrush(Qt::white);
        p.drawRect(9, 3, 14, 10);
        p.setBrush(QColor(150, 150, 150));
        p.drawRect(3, 12, 26, 12);
        p.setBrush(Qt::white);
        p.drawRect(9, 20, 14, 9);
    } else if (key == QLatin1String("Source") || key == QLatin1String("Acquire")) {
        p.setBrush(QColor(170, 170, 170));
        p.drawRect(3, 14, 26, 12);
        p.setBrush(QColor(90, 90, 200));
        p.drawRect(5, 11, 22, 3);
        if (key == QLatin1String("Acquire"))
            badge(QColor(40, 150, 60), true);
    } else {
        p.setBrush(QColor(60, 120, 200));
        p.drawEllipse(3, 3, 26, 26);
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setPixelSize(20);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(3, 3, 26, 26), Qt::AlignCenter, QStringLiteral("?"));
    }
    return QIcon(pixmap);
}

} // namespace vintrel
