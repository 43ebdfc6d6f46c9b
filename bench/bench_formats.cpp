// Open Layout of 30 phone photos (HEIC, 12 MP by default) against libheif's own
// decode of the same files on all cores, with and without the thumbnail a
// phone embeds, and the program's peak memory; then 30 camera JPEGs tagged
// Adobe RGB (24 MP) against djpeg at the scale the screen needs, on all cores.
// Each round is a fresh run of the program (this benchmark again), interleaved
// with the limit's.
//   build/bench/bench_formats [HEIC megapixels] [rounds]
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentMap>

#include <libheif/heif.h>

#include "app/frmmain.h"
#include "benchsupport.h"
#include "layout/addphoto.h"
#include "layoutfile/layoutfile.h"
#include "picture/jpegdecoder.h"

using namespace vintrel;

namespace {

// One round in a process of its own: prints "open <ms> <peak MB>".
int openRound(const QString &layout)
{
    bench::BenchUi ui;
    frmMain form(ui);
    form.Form_Load();
    form.show();
    QCoreApplication::processEvents();
    bench::resetPeak();
    QElapsedTimer t;
    t.start();
    openLayoutFile(form.page(), layout, ui);
    std::printf("open %.1f %.1f\n", t.nsecsElapsed() / 1e6, bench::peakMB());
    return 0;
}

// libheif decoding every file's primary picture to RGB, as many at a time as
// there are cores: the decoder's limit for a program on all cores.
double libheifMs(const QStringList &files)
{
    QElapsedTimer t;
    t.start();
    QtConcurrent::blockingMap(files, [](const QString &file) {
        heif_context *context = heif_context_alloc();
        heif_image_handle *handle = nullptr;
        heif_image *image = nullptr;
        if (heif_context_read_from_file(context, QFile::encodeName(file).constData(), nullptr).code == heif_error_Ok &&
            heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
            heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code ==
                heif_error_Ok)
            heif_image_release(image);
        if (handle)
            heif_image_handle_release(handle);
        heif_context_free(context);
    });
    return t.nsecsElapsed() / 1e6;
}

// The limit's round in a process of its own, every picture of the folder:
// prints "libheif <ms> <peak MB>".
int libheifRound(const QString &folder)
{
    QStringList files;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        files << folder + '/' + name;
    bench::resetPeak();
    const double ms = libheifMs(files);
    std::printf("libheif %.1f %.1f\n", ms, bench::peakMB());
    return 0;
}

// A layout of 30 copies of the photo, each at Add Photo's starting size.
QString writeLayout(const QString &photo, const QString &folder, QStringList &files, QSize &shownAt)
{
    QDir().mkpath(folder);
    Page page;
    const QString suffix = QFileInfo(photo).suffix();
    for (int i = 0; i < Page::kPhotos; ++i) {
        files << folder + QString("/photo %1.%2").arg(i).arg(suffix);
        QFile::copy(photo, files.last());
        recordPhoto(page, i, files.last());
        fitStartingSize(page, i);
        page.Pic(i).setVisible(true);
    }
    shownAt = page.devicePixels(QSizeF(page.Pic(0).Width(), page.Pic(0).Height()));
    QFile out(folder + ".ppy");
    out.open(QIODevice::WriteOnly);
    out.write(writeLayout(page));
    return out.fileName();
}

bool make(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(-1) && p.exitCode() == 0;
}

// One run of this benchmark in a process of its own with `arguments`; its
// line "<what> <ms> <peak MB>", or nothing when it failed.
QList<QByteArray> round(const QStringList &arguments)
{
    QProcess run;
    run.start(QCoreApplication::applicationFilePath(), arguments);
    run.waitForFinished(-1);
    const QList<QByteArray> f = run.readAllStandardOutput().trimmed().split(' ');
    if (f.size() == 3)
        return f;
    std::fprintf(stderr, "the round %s failed: %s\n", qPrintable(arguments.join(' ')), run.readAllStandardError().constData());
    return {};
}

// Runs `rounds` opens of the layout, each followed by the limit's run. A limit
// run in a process of its own (`limitArguments`) has its peak memory shown too.
void compare(const QString &what, const QString &layout, int rounds, const std::function<double()> &limit,
             const QStringList &limitArguments, const char *limitName, double allowed)
{
    bench::Figures ours, theirs;
    double peak = 0, theirPeak = 0;
    for (int r = 0; r < rounds; ++r) {
        const QList<QByteArray> f = round({"--open", layout});
        if (f.isEmpty())
            return;
        ours.ms << f[1].toDouble();
        peak = std::max(peak, f[2].toDouble());
        if (limitArguments.isEmpty()) {
            theirs.ms << limit();
            continue;
        }
        const QList<QByteArray> l = round(limitArguments);
        if (l.isEmpty())
            return;
        theirs.ms << l[1].toDouble();
        theirPeak = std::max(theirPeak, l[2].toDouble());
    }
    ours.print(qPrintable(what));
    theirs.print(limitName);
    bench::printRatio("ratio (medians)", ours.median(), theirs.median(), allowed);
    if (theirPeak > 0)
        std::printf("%-34s %.0f MB (the limit's run: %.0f MB)\n", "peak memory", peak, theirPeak);
    else
        std::printf("%-34s %.0f MB\n", "peak memory", peak);
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenByDefault();
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--open")
        return openRound(app.arguments()[2]);
    if (argc == 3 && QByteArray(argv[1]) == "--libheif")
        return libheifRound(app.arguments()[2]);

    const double megapixels = argc > 1 ? std::atof(argv[1]) : 12;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const QSize size = bench::cameraSize(megapixels);
    QTemporaryDir dir;
    const QString jpeg = bench::writePhoto(dir.filePath("phone.jpg"), size);
    const QString heic = dir.filePath("phone.heic"), thumbnailed = dir.filePath("thumbnailed.heic");
    if (!make("heif-enc", {"-q", "85", jpeg, "-o", heic}) || !make("heif-enc", {"-q", "85", "-t", "320", jpeg, "-o", thumbnailed})) {
        std::fprintf(stderr, "heif-enc (libheif-examples) could not make the photos\n");
        return 1;
    }
    std::printf("Open Layout: 30 HEIC photos of %dx%d (%.0f MP); %d rounds, %d cores\n", size.width(), size.height(),
                megapixels, rounds, QThread::idealThreadCount());
    QStringList files, thumbnailedFiles;
    QSize shownAt;
    const QString plain = writeLayout(heic, dir.filePath("heic"), files, shownAt);
    const QString withThumbnails = writeLayout(thumbnailed, dir.filePath("thumbnailed"), thumbnailedFiles, shownAt);
    compare("Open Layout, HEIC", plain, rounds, {}, {"--libheif", dir.filePath("heic")}, "libheif's decode, all cores",
            1.10);
    compare("Open Layout, HEIC with thumbnails", withThumbnails, rounds, {}, {"--libheif", dir.filePath("thumbnailed")},
            "libheif's decode of the pictures", 1.10);

    // Camera JPEGs tagged Adobe RGB.
    const QSize camera = bench::cameraSize(24);
    const QString tagged = dir.filePath("adobe.jpg");
    if (!make("convert", {bench::writePhoto(dir.filePath("camera.jpg"), camera), "-quality", "92", "-profile",
                          "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc", tagged})) {
        std::fprintf(stderr, "ImageMagick could not tag the photo\n");
        return 1;
    }
    QStringList jpegs;
    const QString adobe = writeLayout(tagged, dir.filePath("adobe"), jpegs, shownAt);
    const int eighths = jpeg::scaleFor(camera, shownAt);
    std::printf("\nOpen Layout: 30 JPEG photos of %dx%d tagged Adobe RGB\n", camera.width(), camera.height());
    compare("Open Layout, Adobe RGB JPEG", adobe, rounds, [&] { return bench::djpegMs(jpegs, eighths); }, {},
            qPrintable(QString("djpeg -scale %1/8, all cores").arg(eighths)), 1.15);
    return 0;
}
