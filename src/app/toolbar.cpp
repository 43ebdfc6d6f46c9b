#include "toolbar.h"

#include <QIcon>
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

void Toolbar::showPictures()
{
    for (auto *button : findChildren<QToolButton *>(Qt::FindDirectChildrenOnly))
        if (button->icon().isNull())
            button->setIcon(buttonPicture(button->objectName()));
}

QIcon Toolbar::buttonPicture(const QString &key)
{
    // The desktop's icon for the command where its theme has one, else the
    // program's own drawing.
    static const struct { const char *key, *themed, *own; } pictures[] = {
        {"New", "document-new", "new"},           {"Open", "document-open", "open"},
        {"Save As", "document-save-as", "save"},  {"Add", "list-add", "add"},
        {"Remove", "list-remove", "remove"},      {"Print", "document-print", "print"},
        {"Source", "scanner", "source"},          {"Acquire", "scanner", "acquire"},
        {"Help", "help-contents", "help"},
    };
    for (const auto &picture : pictures)
        if (key == QLatin1String(picture.key)) {
            const QIcon own(QStringLiteral(":/pictures/%1.svg").arg(QLatin1String(picture.own)));
            // Source and Acquire share the theme's one scanner: Acquire keeps its own.
            if (key == QLatin1String("Acquire"))
                return own;
            return QIcon::fromTheme(QLatin1String(picture.themed), own);
        }
    return {};
}

} // namespace vintrel
