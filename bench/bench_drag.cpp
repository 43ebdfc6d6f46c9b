// Dragging a photo on a full page: the time of one mouse-move step (move the
// photo, redraw the ruler markers, repaint) with 30 camera-sized photos on the
// page, against the same page of 30 small photos. A ratio near 1 means the drag
// does not depend on how many pixels the photos have.
//   build/bench/bench_drag [megapixels]
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

#include "app/frmmain.h"
#include "benchsupport.h"
#include "platform/ui.h"

namespace {
class BenchUi : public vintrel::Ui {
public:
    QString file;
    QPoint cursor;
    vintrel::MsgAnswer messageBox(const QString &, const QString &, vintrel::MsgButtons, vintrel::MsgIcon) override
    {
        return vintrel::MsgAnswer::Yes;
    }
    std::optional<QString> fileDialog(const vintrel::FileDialogRequest &) override { return file; }
    bool printDialog(QPrinter &, int) override { return false; }
    QPoint cursorPos() override { return cursor; }
    bool startProgram(const QString &, const QStringList &) override { return false; }
    bool openUrl(const QUrl &) override { return false; }
};

// Milliseconds a drag step, over `steps` steps, with 30 copies of the photo.
double dragStep(const QString &photo, int steps)
{
    BenchUi ui;
    vintrel::frmMain form(ui);
    form.Form_Load();
    form.show();
    ui.file = photo;
    for (int i = 0; i < 30; ++i)
        form.mnuAdd_Click();
    QCoreApplication::processEvents();
    vintrel::PageEditor &editor = form.editor();
    ui.cursor = {0, 0};
    editor.Pic_MouseDown(29, Qt::LeftButton, {}, 700, 700);
    QElapsedTimer t;
    t.start();
    for (int s = 0; s < steps; ++s) {
        ui.cursor = {(s % 100) - 50 < 0 ? s % 50 : 50 - s % 50, s % 7};
        editor.Pic_MouseMove(29, Qt::LeftButton, {}, 700, 700);
        form.repaint();
        QCoreApplication::processEvents();
    }
    const double ms = t.nsecsElapsed() / 1e6 / steps;
    editor.Pic_MouseUp(29, Qt::LeftButton, {}, 700, 700);
    return ms;
}
} // namespace

int main(int argc, char **argv)
{
    vintrel::bench::offscreenByDefault();
    QApplication app(argc, argv);
    const double megapixels = vintrel::bench::megapixelsArg(argc, argv);
    const QSize size = vintrel::bench::cameraSize(megapixels);
    QTemporaryDir dir;
    const QString big = vintrel::bench::writePhoto(dir.filePath("big.jpg"), size);
    const QString small = vintrel::bench::writePhoto(dir.filePath("small.jpg"), QSize(600, 400));
    const int steps = 300;
    const double smallMs = dragStep(small, steps);
    const double bigMs = dragStep(big, steps);
    std::printf("drag step, 30 photos of 600x400    : %6.3f ms\n", smallMs);
    std::printf("drag step, 30 photos of %dx%d : %6.3f ms\n", size.width(), size.height(), bigMs);
    std::printf("ratio big / small                  : %6.2f\n", bigMs / smallMs);
    return 0;
}
