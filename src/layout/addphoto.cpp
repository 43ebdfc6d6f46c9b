#include "addphoto.h"

#include "history.h"
#include "page.h"
#include "platform/commondialog.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/rounding.h"

namespace vintrel {

const QString kPhotoFilter = QStringLiteral(
    "Graphic Files (*.jpg, *.jpeg, *.gif, *.bmp)|*.jpg;*.jpeg;*.gif;*.bmp|JPG Files (*.jpg, *.jpeg)|*.jpg;*.jpeg|"
    "GIF Files (*.gif)|*.gif|Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*");

std::optional<int> findFreeSlot(Page &page, Ui &ui)
{
    int i = 0;
    while (page.PicUsed[i]) {
        page.Pic(i).setVisible(true);
        ++i;
        if (i > Page::kPhotos - 1) {
            MsgBox(ui, QStringLiteral("Maximum images exceeded"), MsgButtons::Ok, MsgIcon::Information);
            return std::nullopt;
        }
    }
    return i;
}

void recordPhoto(Page &page, int i, const QString &path, const ShownAt &shownAt)
{
    page.ImageLoader.setPicture(LoadPicture(path, shownAt));
    page.PicFile.at(i) = path;
    page.PicUsed.at(i) = true;
    page.bringToFront(i);
    ImageControl &pic = page.Pic(i);
    const SizeProbe &probe = page.ImageLoader;
    pic.setWidth(probe.Width);
    pic.setHeight(probe.Height);
    pic.setPicture(probe.picture);
    page.PicRatioHW[i] = Ratio::single(probe.Height / probe.Width);
    page.PicRatioWH[i] = Ratio::single(probe.Width / probe.Height);
}

QSizeF startingSize(float width, float height, float ratioWH)
{
    float w = width;
    std::int32_t h = roundToInt32(height);
    const float widthStep = toSingle(100 * ratioWH);
    while (w >= 1500 && h >= 1500) {
        h -= 100;
        w = toSingle(w - widthStep);
    }
    return QSizeF(w, float(h));
}

void fitStartingSize(Page &page, int i)
{
    ImageControl &pic = page.Pic(i);
    const QSizeF size = startingSize(pic.Width(), pic.Height(), toSingle(page.PicRatioWH.at(i).value));
    pic.setWidth(float(size.width()));
    pic.setHeight(float(size.height()));
}

ShownAt firstShownAt(const Page &page, QSizeF (*size)(float width, float height, float ratioWH))
{
    return [&page, size](QSize natural) {
        const QSizeF twips = page.ImageLoader.twipsOf(natural);
        return page.devicePixels(size(float(twips.width()), float(twips.height()), toSingle(twips.width() / twips.height())));
    };
}

void placePhoto(Page &page, int i, const QString &path, const ShownAt &shownAt, void (*fit)(Page &page, int i))
{
    page.CurPic = i;
    recordPhoto(page, i, path, shownAt);
    page.clearSelectionLook();
    page.Pic(i).setAppearance(1);
    fit(page, i);
    page.Pic(i).setVisible(true);
}

void mnuAdd_Click(Page &page, CommonDialog &cdDialog, Ui &ui)
{
    const Recorded step(page, QStringLiteral("Add Photo"));
    // Even a cancelled or refused Add counts as a change.
    page.LayoutSaved = false;
    const std::optional<int> slot = findFreeSlot(page, ui);
    if (!slot)
        return;
    // Cancel, or a file that is no picture, ends the command quietly with what
    // it has done so far.
    completed([&] {
        cdDialog.CancelError = true;
        cdDialog.Filter = kPhotoFilter;
        cdDialog.ShowOpen();
        placePhoto(page, *slot, cdDialog.FileName, firstShownAt(page, startingSize), fitStartingSize);
    });
}

} // namespace vintrel
