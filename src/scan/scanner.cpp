#include "scanner.h"

#include "buildinfo.h"

#include <optional>

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
        QString path;
        for (int n = 1; path.isEmpty(); ++n) {
            if (n > 99999)
                throw RuntimeError(QStringLiteral("every number is taken"));
            const QString name = folder.filePath(QStringLiteral("img%1.bmp").arg(n, 5, 10, QLatin1Char('0')));
            if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink())
                path = name;
        }
        if (library->AcquireToFilename(handleOf(window), bytesOf(path).constData()) != 0)
            return;
        const Recorded step(page, QStringLiteral("Acquire Photo"));
        page.LayoutSaved = false;
        const std::optional<int> slot = findFreeSlot(page, ui);
        if (!slot)
            return; // the file stays, off the page
        // As Add Photo does, but for its own shrinking rule.
        placePhoto(page, *slot, path, firstShownAt(page, acquiredSize), shrinkAcquired);
    });
    if (!ended)
        MsgBox(ui, kAcquireError, MsgButtons::Ok, MsgIcon::Stop);
}

} // namespace vintrel
