// A drag source for the end-to-end drop: a small window titled "Drag source"
// that, pressed and dragged, drags the files named on its command line as a
// file manager does (a text/uri-list of file URLs), then prints the action the
// target took ("copy", or "none" when it refused), and ends a while later,
// as the target may still ask for the list.
#include <cstdio>

#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>

class Source : public QWidget {
public:
    explicit Source(QStringList files) : m_files(std::move(files))
    {
        setWindowTitle("Drag source");
        setFixedSize(120, 80);
    }

protected:
    void mousePressEvent(QMouseEvent *event) override { m_pressed = event->position().toPoint(); }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!(event->buttons() & Qt::LeftButton) ||
            (event->position().toPoint() - m_pressed).manhattanLength() < QApplication::startDragDistance())
            return;
        QByteArray list;
        for (const QString &f : m_files)
            list += QUrl::fromLocalFile(f).toEncoded() + "\r\n";
        auto *data = new QMimeData;
        data->setData("text/uri-list", list);
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction done = drag->exec(Qt::CopyAction);
        std::printf("%s\n", done == Qt::CopyAction ? "copy" : "none");
        std::fflush(stdout);
        // The target reads the list once the drop is over: stay to hand it over.
        QTimer::singleShot(5000, qApp, &QApplication::quit);
    }

private:
    QStringList m_files;
    QPoint m_pressed;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Source source(app.arguments().mid(1));
    source.show();
    return app.exec();
}
