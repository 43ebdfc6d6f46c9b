#include "scanner.h"

#include "buildinfo.h"

#include <optional>
#include <vector>

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QStandardPaths>
#include <QWidget>

#include "layout/addphoto.h"
#include "layout/page.h"
#include "picture/safefile.h"
#include "platform/app.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/rounding.h"

namespace vintrel {

namespace {
const QString kNoDevices = QStringLiteral("No TWAIN devices found.");
const QString kAcquireError = QStringLiteral("There was an error acquiring image from source.");
// The most photos one scan brings: as many free numbers are handed to the library.
constexpr int kMostPerScan = 99;

std::optional<QStringList> lookIn; // candidates() until loadFrom() says otherwise
std::optional<ScannerLibrary> loaded;
bool tried = false;

std::uint32_t handleOf(QWidget *window) { return window ? std::uint32_t(window->winId()) : 0; }

// The library, or "No TWAIN devices found." and nothing.
const ScannerLibrary *available(Ui &ui)
{
    const ScannerLibrary *library = ScannerLibrary::get();
    if (!library || library->IsAvailable() == 0) {
        MsgBox(ui, kNoDevices, MsgButtons::Ok, MsgIcon::Stop);
        return nullptr;
    }
    return library;
}
} // namespace

QStringList ScannerLibrary::candidates()
{
    const QString name = QStringLiteral("libvintrelscan.so");
    return {QDir(App::Path()).filePath(name), QDir(App::Path()).filePath(QStringLiteral(VINTREL_LIBRARY_FROM_PROGRAM "/") + name)};
}

void ScannerLibrary::loadFrom(const QStringList &files)
{
    lookIn = files;
    loaded.reset();
    tried = false;
}

const ScannerLibrary *ScannerLibrary::get()
{
    if (tried)
        return loaded ? &*loaded : nullptr;
    tried = true;
    if (!lookIn)
        lookIn = candidates();
    for (const QString &file : *lookIn) {
        if (!QFileInfo(file).isFile())
            continue;
        QLibrary library(file);
        ScannerLibrary f;
        f.IsAvailable = reinterpret_cast<decltype(f.IsAvailable)>(library.resolve("TWAIN_IsAvailable"));
        f.SelectImageSource = reinterpret_cast<decltype(f.SelectImageSource)>(library.resolve("TWAIN_SelectImageSource"));
        f.AcquireToFilename = reinterpret_cast<decltype(f.AcquireToFilename)>(library.resolve("TWAIN_AcquireToFilename"));
        f.AcquireToFilenames = reinterpret_cast<decltype(f.AcquireToFilenames)>(library.resolve("VintrelScan_AcquireToFilenames"));
        if (f.IsAvailable && f.SelectImageSource && f.AcquireToFilename) {
            loaded = f; // the library stays loaded for the life of the program
            return &*loaded;
        }
        library.unload();
    }
    return nullptr;
}

QString acquiredFolder()
{
    const QString own = App::Path();
    if (QFileInfo(own).isWritable())
        return own;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        throw RuntimeError(QStringLiteral("there is no pictures folder"));
    const QString folder = QDir(pictures).filePath(QStringLiteral("Vintrel"));
    if (!QDir().mkpath(folder))
        throw RuntimeError(QStringLiteral("%1 cannot be made").arg(folder));
    return folder;
}

QSizeF acquiredSize(float width, float height, float ratioWH)
{
    float w = width, h = height;
    while (h >= 1500 && w >= 1500) {
        h = toSingle(h - 10.0f);
        w = toSingle(w - toSingle(10 * ratioWH));
    }
    return QSizeF(w, h);
}

void shrinkAcquired(Page &page, int i)
{
    ImageControl &pic = page.Pic(i);
    const QSizeF size = acquiredSize(pic.Width(), pic.Height(), toSingle(page.PicRatioWH.at(i).value));
    pic.setHeight(float(size.height()));
    pic.setWidth(float(size.width()));
}

void mnuSelect_Click(QWidget *window, Ui &ui)
{
    if (const ScannerLibrary *library = available(ui))
        library->SelectImageSource(handleOf(window));
}

void mnuacquire_Click(Page &page, QWidget *window, Ui &ui)
{
    const ScannerLibrary *library = available(ui);
    if (!library)
        return;
    const bool ended = completed([&] {
        const QDir folder(acquiredFolder());
        if (!folder.isReadable())
            throw RuntimeError(QStringLiteral("%1 cannot be read").arg(folder.path()));
        // The lowest free numbers, one for each photo a scan may bring.
        QStringList paths;
        QList<QByteArray> names;
        for (int n = 1; paths.size() < kMostPerScan && n <= 99999; ++n) {
            const QString name = folder.filePath(QStringLiteral("img%1.bmp").arg(n, 5, 10, QLatin1Char('0')));
            if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink())
                paths << name, names << bytesOf(name);
        }
        if (paths.isEmpty())
            throw RuntimeError(QStringLiteral("every number is taken"));
        int written;
        if (library->AcquireToFilenames) {
            std::vector<const char *> list;
            for (const QByteArray &name : names)
                list.push_back(name.constData());
            written = library->AcquireToFilenames(handleOf(window), list.data(), std::int32_t(list.size()));
        } else {
            written = library->AcquireToFilename(handleOf(window), names[0].constData()) == 0 ? 1 : 0;
        }
        if (written <= 0)
            return;
        const Recorded step(page, written > 1 ? QStringLiteral("Acquire Photos") : QStringLiteral("Acquire Photo"));
        page.LayoutSaved = false;
        for (int n = 0; n < std::min(written, int(paths.size())); ++n) {
            const std::optional<int> slot = findFreeSlot(page, ui);
            if (!slot)
                return; // the files stay, off the page
            // As Add Photo does, but for its own shrinking rule.
            placePhoto(page, *slot, paths[n], firstShownAt(page, acquiredSize), shrinkAcquired);
        }
    });
    if (!ended)
        MsgBox(ui, kAcquireError, MsgButtons::Ok, MsgIcon::Stop);
}

} // namespace vintrel
