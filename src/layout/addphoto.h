#pragma once
// Putting a picture file on the page: Add Photo, and the three steps that the
// scanner's Acquire shares with it.
#include <optional>
#include <QSizeF>
#include <QString>

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

// The starting size of a photo of that natural size in twips: its height
// rounded to whole twips, then shrunk in 100-twip steps of height, keeping its
// proportions, until one side is below 1500 twips.
QSizeF startingSize(float width, float height, float ratioWH);
// Gives slot i's photo its starting size.
void fitStartingSize(Page &page, int i);
// The device pixels a photo of a given natural size is first shown at on the
// page, at the size `size` gives it from its natural size in twips (that of
// startingSize, say).
ShownAt firstShownAt(const Page &page, QSizeF (*size)(float width, float height, float ratioWH));

// Puts the file on the page as a new photo in the free slot i, as Add Photo and
// Acquire do: slot i becomes the current photo, the file is loaded and recorded
// there, no photo keeps its border and the new one stands raised, `fit` gives it
// its size, and it is shown. Throws PictureError, with only the current photo
// changed, when the file cannot be loaded.
void placePhoto(Page &page, int i, const QString &path, const ShownAt &shownAt, void (*fit)(Page &page, int i));

// The Add Photo command.
void mnuAdd_Click(Page &page, CommonDialog &cdDialog, Ui &ui);

} // namespace vintrel
