#include "removal.h"

#include "history.h"
#include "page.h"
#include "platform/msgbox.h"

namespace vintrel {

const QString kRemoveStep = QStringLiteral("Remove Photo");

void freeSlot(Page &page, int c, bool keepFile)
{
    ImageControl &pic = page.Pic(c);
    page.PicUsed.at(c) = false;
    pic.setVisible(false);
    pic.setPicture(Picture());
    if (!keepFile)
        page.PicFile.at(c).clear();
}

void toolbarRemove(Page &page)
{
    const Recorded step(page, kRemoveStep);
    freeSlot(page, page.currentSlot(), true);
}

void mnuRemove_Click(Page &page)
{
    const Recorded step(page, kRemoveStep);
    page.LayoutSaved = false;
    freeSlot(page, page.currentSlot());
}

void mnuNew_Click(Page &page, Ui &ui)
{
    if (!page.LayoutSaved &&
        MsgBox(ui, QStringLiteral("Discard current layout and start new layout?"), MsgButtons::YesNo, MsgIcon::Question) ==
            MsgAnswer::No)
        return;
    const Recorded step(page, QStringLiteral("New Layout"));
    page.LayoutSaved = true;
    page.ZOrderCount = 0;
    for (int i = 0; i < Page::kPhotos; ++i) {
        freeSlot(page, i, true);
        page.PicZOrder[i] = 0;
    }
}

} // namespace vintrel
