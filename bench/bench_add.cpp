// Add Photo of one camera photo: the time from the chosen file to the photo on
// the page, against djpeg decoding the same file at the scale the program
// needs, and the memory the photo holds.
//   build/bench/bench_add [megapixels] [rounds]
#include <QAction>
#include <QApplication>
#include <QTemporaryDir>

#include "app/frmmain.h"
#include "benchsupport.h"
#include "picture/jpegdecoder.h"

using namespace vintrel;

int main(int argc, char **argv)
{
    bench::offscreenByDefault();
    QApplication app(argc, argv);
    const double megapixels = bench::megapixelsArg(argc, argv);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    const QSize size = bench::cameraSize(megapixels);
    QTemporaryDir dir;
    const QString photo = bench::writePhoto(dir.filePath("camera.jpg"), size);

    bench::BenchUi ui;
    ui.files = QStringList{photo};
    frmMain form(ui);
    form.Form_Load();
    form.show();
    QCoreApplication::processEvents();
    bench::Figures ours, limit;
    QSize shownAt, held;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        form.command("mnuAdd")->trigger();
        ours.ms << t.nsecsElapsed() / 1e6;
        const ImageControl &pic = form.page().Pic(0);
        shownAt = form.page().devicePixels(QSizeF(pic.Width(), pic.Height()));
        held = pic.picture().display().size();
        form.command("mnuNew")->trigger();
        limit.ms << bench::djpegMs({photo}, jpeg::scaleFor(size, shownAt), 1);
    }
    std::printf("Add Photo: %dx%d (%.0f MP), shown at %dx%d px, screen copy %dx%d (%.1f MB); %d rounds\n",
                size.width(), size.height(), megapixels, shownAt.width(), shownAt.height(), held.width(),
                held.height(), held.width() * held.height() * 4 / 1e6, rounds);
    ours.print("Add Photo");
    limit.print(qPrintable(QString("djpeg -scale %1/8").arg(jpeg::scaleFor(size, shownAt))));
    bench::printRatio("ratio (medians)", ours.median(), limit.median(), 1.10);
    return 0;
}
