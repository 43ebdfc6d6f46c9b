// A drag source for the end-to-end drop: a small window titled "Drag source"
// that, pressed, drags the files named on its command line as a file manager
// does (a text/uri-list of file URLs), prints the action the target took
// ("copy", or "none" when it refused), and ends a while later, as the target
// may still ask for the list.
#include <cstdio>

#include <QtWidgets>

class Source : public QWidget {
protected:
    void mousePressEvent(QMouseEvent *) override
    {
        QByteArray list;
        for (const QString &f : QApplication::arguments().mid(1))
            list += QUrl::fromLocalFile(f).toEncoded() + "\r\n";
        auto *data = new QMimeData;
        data->setData("text/uri-list", list);
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        std::printf("%s\n", drag->exec(Qt::CopyAction) == Qt::CopyAction ? "copy" : "none");
        std::fflush(stdout);
        QTimer::singleShot(5000, qApp, &QApplication::quit);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Source source;
    source.setWindowTitle("Drag source");
    source.setFixedSize(120, 80);
    source.show();
    return app.exec();
}
