#include "toolbar.h"

#include <QAction>
#include <QIcon>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/twips.h"

namespace vintrel {

Toolbar::Toolbar(QWidget *parent) : QWidget(parent), m_column(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("Toolbar1"));
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(0);
    m_column->addStretch();
}

void Toolbar::addButton(const QString &key, const QString &tooltip, const QAction *action, const Picture &picture)
{
    auto *button = new QToolButton(this);
    button->setObjectName(key);
    button->setText(key);
    button->setToolTip(tooltip);
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus); // the page keeps the keyboard
    button->setFixedSize(pixelsX(795), pixelsY(780));
    button->setProperty("themedPicture", picture.themed);
    button->setProperty("ownPicture", picture.own);
    button->setEnabled(action->isEnabled());
    connect(action, &QAction::changed, button, [button, action] { button->setEnabled(action->isEnabled()); });
    connect(button, &QToolButton::clicked, this, [this, key] {
        if (onButtonClick)
            onButtonClick(key);
    });
    m_column->insertWidget(m_column->count() - 1, button);
}

void Toolbar::showPictures()
{
    // The desktop's icon for the command where its theme has one, else the
    // program's own drawing.
    for (auto *button : findChildren<QToolButton *>(Qt::FindDirectChildrenOnly))
        if (button->icon().isNull()) {
            const QIcon own(QStringLiteral(":/pictures/%1.svg").arg(button->property("ownPicture").toString()));
            const QString themed = button->property("themedPicture").toString();
            button->setIcon(themed.isEmpty() ? own : QIcon::fromTheme(themed, own));
        }
}

} // namespace vintrel
