#pragma once
// Photos from scanners and cameras, through the scanner library: Select Source
// and Acquire. The library is loaded when one of the two commands is first
// used, from the program's own folder, then from the installed library folder;
// the program runs without it.
#include <cstdint>

#include <QSizeF>
#include <QString>
#include <QStringList>

class QWidget;

namespace vintrel {

class Page;
class Ui;

struct ScannerLibrary {
    std::int32_t (*IsAvailable)() = nullptr;
    std::int32_t (*SelectImageSource)(std::uint32_t window) = nullptr;
    std::int16_t (*AcquireToFilename)(std::uint32_t window, const char *path) = nullptr;
    // The library's own, for several photos of one scan; null where it lacks it.
    std::int32_t (*AcquireToFilenames)(std::uint32_t window, const char *const *paths, std::int32_t count) = nullptr;

    // The library's functions, loaded on the first call; nothing when it
    // cannot be loaded or lacks one of the first three.
    static const ScannerLibrary *get();
    // Where get() looks, in order (the program's folder, then the installed one).
    static QStringList candidates();
    // Looks in these files instead, from the next get() on.
    static void loadFrom(const QStringList &files);
};

// Where acquired pictures go: the program's folder, or where that cannot be
// written (an installed copy), "Vintrel" in the user's pictures folder.
QString acquiredFolder();

// The size of an acquired photo of that natural size in twips: shrunk 10
// twips of height a pass (its width by the ratio) until one side is below 1500
// twips. Gives slot i's photo that size.
QSizeF acquiredSize(float width, float height, float ratioWH);
void shrinkAcquired(Page &page, int i);

// Select Source: "No TWAIN devices found." without a device, else the library's
// source dialog, owned by `window`.
void mnuSelect_Click(QWidget *window, Ui &ui);

// Acquire: one scan into the next free img00001.bmp-style file and onto the
// page as a new photo; where the library finds several prints on the glass,
// each into the next free file and the next free slot, in one step to undo. A
// full page keeps the files it cannot take.
void mnuacquire_Click(Page &page, QWidget *window, Ui &ui);

} // namespace vintrel
