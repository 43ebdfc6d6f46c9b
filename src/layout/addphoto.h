#pragma once
// Putting a picture file on the page: Add Photo, and the three steps that the
// scanner's Acquire shares with it.
#include <functional>
#include <optional>

#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include "picture/picture.h"

namespace vintrel {

class CommonDialog;
class Page;
class Ui;

// The file dialog's filter for photos.
extern const QString kPhotoFilter;

// The lowest free slot. Every used slot passed on the way is shown again. A full
// page answers "Maximum images exceeded" and gives nothing.
std::optional<int> findFreeSlot(Page &page, Ui &ui);

// Loads the file into the size probe and records it in slot i: path, used flag,
// a new stacking stamp in front of every other photo, the natural size and both
// ratios. `shownAt` tells the picture the size it will first be shown at.
// Throws PictureError, before anything is recorded, when the file cannot be
// loaded.
void recordPhoto(Page &page, int i, const QString &path, const ShownAt &shownAt = {});
// The same with the file's picture already loaded.
void recordPicture(Page &page, int i, const QString &path, const Picture &picture);

// The starting size of a photo of that natural size in twips: its height
// rounded to whole twips, then shrunk in 100-twip steps of height, keeping its
// proportions, until one side is below 1500 twips.
QSizeF startingSize(float width, float height, float ratioWH);
// Gives slot i's photo its starting size.
void fitStartingSize(Page &page, int i);
// The device pixels a photo of a given natural size is first shown at on the
// page, at the size `size` gives it from its natural size in twips (that of
// startingSize, say). Safe on any thread.
ShownAt firstShownAt(const Page &page, QSizeF (*size)(float width, float height, float ratioWH));

// Puts the file on the page as a new photo in the free slot i, as Add Photo and
// Acquire do: slot i becomes the current photo, the file is loaded and recorded
// there, no photo keeps its border and the new one stands raised, `fit` gives it
// its size, and it is shown. Throws PictureError, with only the current photo
// changed, when the file cannot be loaded.
void placePhoto(Page &page, int i, const QString &path, const ShownAt &shownAt, void (*fit)(Page &page, int i));
// The same with the file's picture already loaded.
void placePicture(Page &page, int i, const QString &path, const Picture &picture, void (*fit)(Page &page, int i));

// The Add Photo command. The dialog takes several files: one is added as
// always; several are added as addPhotos adds them, each at its slot's place.
void mnuAdd_Click(Page &page, CommonDialog &cdDialog, Ui &ui);

// Adds the files in their order, each as Add Photo adds a chosen file: the
// lowest free slot, its starting size, a new stamp. They load on all cores
// first, with a progress whose Cancel adds nothing. `moved(n, slot)` may then
// move the n-th photo placed (from 0), in slot `slot`. A full page stops
// them with "Maximum images exceeded", once; files that are not pictures are
// skipped and named in one message at the end. Returns how many were placed.
int addPhotos(Page &page, Ui &ui, const QStringList &paths, const std::function<void(int n, int slot)> &moved = {});

// Files dropped on the page at `at` (twips on the page): the first placed
// photo's top-left corner there, each next one 300 twips lower and to the
// right, every one kept on the page. One step to undo; the page counts as
// changed once a photo is placed.
void dropPhotos(Page &page, Ui &ui, const QStringList &paths, QPointF at);

} // namespace vintrel
