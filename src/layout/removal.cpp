#include "removal.h"

#include "page.h"
#include "platform/msgbox.h"

namespace vintrel {

void ReleaseSlot(Page &page, int c)
{
    ImageControl &pic = page.Pic(c);
    page.PicUsed.at(c) = false;
    pic.setVisible(false);
    pic.setPicture(Picture());
    page.PicFile.at(c).clear();
}

void ToolbarRemove(Page &page)
{
    const int c = page.currentSlot();
    page.PicUsed.at(c) = false;
    page.Pic(c).setVisible(false);
    page.Pic(c).setPicture(Picture());
}

void mnuRemove_Click(Page &page)
{
    page.LayoutSaved = false;
    ReleaseSlot(page, page.currentSlot());
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
        page.PicUsed[i] = false;
        page.Pic(i).setPicture(Picture());
        page.Pic(i).setVisible(false);
        page.PicZOrder[i] = 0;
    }
}

} // namespace vintrel
