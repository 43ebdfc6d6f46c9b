#pragma once
// Taking photos off the page: Remove Photo, the toolbar's Remove, the Delete
// key and New Layout, all freeing slots the one way.
#include <QString>

namespace vintrel {

class Page;
class Ui;

// The step's name on the undo stack for each way a photo is removed.
extern const QString kRemoveStep;

// Frees slot c: not used, hidden, no picture; its file is forgotten too unless
// `keepFile`. Its place, size, ratios and stamp stay, so the next photo put
// there starts where this one was left.
void freeSlot(Page &page, int c, bool keepFile = false);

// Remove Photo: frees the current photo's slot (slot 0 while none was ever
// current) and marks the page as changed. No question is asked.
void mnuRemove_Click(Page &page);

// The toolbar's Remove: frees the current photo's slot as Remove Photo does,
// but leaves the page's saved state alone and the slot's file recorded, so a
// save writes the removed photo's path with its flags off.
void toolbarRemove(Page &page);

// New Layout: asks before discarding unsaved changes, then empties every slot.
void mnuNew_Click(Page &page, Ui &ui);

} // namespace vintrel
