#pragma once
// The toolbar strip down the main window's left edge: one column of buttons,
// each with a 32 x 32 picture, its key as caption and a tooltip.
#include <functional>
#include <QWidget>

class QAction;
class QVBoxLayout;

namespace vintrel {

class Toolbar : public QWidget {
public:
    struct Picture {
        QString themed; // the name in the desktop's icon theme; empty: always the program's own
        QString own;    // the program's own drawing, data/pictures/NAME.svg
    };
    explicit Toolbar(QWidget *parent = nullptr);
    // A button for the key, enabled while `action` (the command it runs) is.
    void addButton(const QString &key, const QString &tooltip, const QAction *action, const Picture &picture);
    // Gives every button its picture (done once the window has appeared:
    // looking them up in the icon theme takes a while).
    void showPictures();
    // Runs with the pressed button's key.
    std::function<void(const QString &key)> onButtonClick;

private:
    QVBoxLayout *m_column;
};

} // namespace vintrel
