#pragma once
// The toolbar strip down the main window's left edge: one column of buttons,
// each with a 32 x 32 picture, its key as caption and a tooltip.
#include <functional>
#include <QWidget>

class QVBoxLayout;

namespace vintrel {

class Toolbar : public QWidget {
public:
    explicit Toolbar(QWidget *parent = nullptr);
    void addButton(const QString &key, const QString &tooltip);
    // Gives every button its picture (done once the window has appeared:
    // looking them up in the icon theme takes a while).
    void showPictures();
    // Runs with the pressed button's key.
    std::function<void(const QString &key)> onButtonClick;

    static QIcon buttonPicture(const QString &key);

private:
    QVBoxLayout *m_column;
};

} // namespace vintrel
