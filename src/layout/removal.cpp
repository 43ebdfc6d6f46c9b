#include "removal.h"

#include "page.h"
#include "platform/msgbox.h"

namespace vintrel {

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
    freeSlot(page, page.currentSlot(), true);
}

void mnuRemove_Click(Page &page)
{
    page.LayoutSaved = false;
    freeSlot(page, page.currentSlot());
}

void mnuNew_Click(Page &page, Ui &ui)
{
    if (!page.LayoutSaved &&
        MsgBox(ui, QStringLiteral("Discard current layout and start new layout?"), MsgButtons::YesNo, MsgIcon::Question) ==
            MsgAnswer::No)
        return;
    page.LayoutSaved = true;
    page.ZOrderCount = 0;
    for (int i = 0; i < Page::kPhotos; ++i) {
        freeSlot(page, i, true);
        page.PicZOrder[i] = 0;
    }
}

} // namespace vintrel
