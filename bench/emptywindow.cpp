// The yardstick of the start-up benchmark: an empty Qt Widgets window, shown
// as the program shows its own.
#include <QApplication>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(640, 480);
    window.show();
    return app.exec();
}
