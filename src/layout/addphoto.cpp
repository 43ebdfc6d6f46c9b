#include "addphoto.h"

#include <algorithm>

#include <QDir>

#include "history.h"
#include "loading.h"
#include "page.h"
#include "platform/commondialog.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/rounding.h"

namespace vintrel {

const QString kPhotoFilter = QStringLiteral(
    "Graphic Files (*.jpg, *.jpeg, *.gif, *.bmp)|*.jpg;*.jpeg;*.gif;*.bmp|JPG Files (*.jpg, *.jpeg)|*.jpg;*.jpeg|"
    "GIF Files (*.gif)|*.gif|Bitmap Files (*.bmp)|*.bmp|"
    "Other Pictures (*.png, *.heic, *.heif, *.avif, *.webp, *.tif, *.tiff)|"
    "*.png;*.heic;*.heif;*.avif;*.webp;*.tif;*.tiff|All Files (*.*)|*.*");

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
    recordPicture(page, i, path, LoadPicture(path, shownAt));
}

void recordPicture(Page &page, int i, const QString &path, const Picture &picture)
{
    page.ImageLoader.setPicture(picture);
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
    return [scale = page.pixelScale(), size](QSize natural) {
        const QSizeF twips = scale.twipsOf(natural);
        return scale.devicePixels(size(float(twips.width()), float(twips.height()), toSingle(twips.width() / twips.height())));
    };
}

void placePhoto(Page &page, int i, const QString &path, const ShownAt &shownAt, void (*fit)(Page &page, int i))
{
    page.CurPic = i;
    placePicture(page, i, path, LoadPicture(path, shownAt), fit);
}

void placePicture(Page &page, int i, const QString &path, const Picture &picture, void (*fit)(Page &page, int i))
{
    page.CurPic = i;
    recordPicture(page, i, path, picture);
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
    // Cancel, or a single file that is no picture, ends the command quietly
    // with what it has done so far.
    completed([&] {
        cdDialog.CancelError = true;
        cdDialog.Filter = kPhotoFilter;
        cdDialog.showOpenMany();
        if (cdDialog.fileNames.size() == 1)
            placePhoto(page, *slot, cdDialog.FileName, firstShownAt(page, startingSize), fitStartingSize);
        else
            addPhotos(page, ui, cdDialog.fileNames);
    });
}

int addPhotos(Page &page, Ui &ui, const QStringList &paths, const std::function<void(int n, int slot)> &moved)
{
    const ShownAt shownAt = firstShownAt(page, startingSize);
    QStringList notPictures;
    int placed = 0;
    for (qsizetype next = 0; next < paths.size();) {
        if (!findFreeSlot(page, ui))
            break; // full, and said so
        // As many files as there are free slots; more only for those that
        // turn out to be no pictures.
        const qsizetype free = std::count(page.PicUsed.begin(), page.PicUsed.begin() + Page::kPhotos, false);
        const QStringList batch = paths.mid(next, free);
        next += batch.size();
        QList<PictureRequest> requests;
        for (const QString &path : batch)
            requests.append({path, shownAt});
        const auto pictures = loadPictures(
            requests, {page.surface()->window(), QStringLiteral("AddProgress"), [](int loaded, int total) {
                           return QStringLiteral("Adding photos: %1 of %2").arg(loaded).arg(total);
                       }});
        if (!pictures)
            break; // cancelled
        for (qsizetype j = 0; j < batch.size(); ++j) {
            if (!pictures->at(j)) {
                notPictures << QDir::toNativeSeparators(batch[j]);
                continue;
            }
            const int slot = *findFreeSlot(page, ui);
            placePicture(page, slot, batch[j], *pictures->at(j), fitStartingSize);
            if (moved)
                moved(placed, slot);
            ++placed;
        }
    }
    // The first ten named, the others counted and listed in the details: a
    // box of thousands of names would run off the screen.
    constexpr qsizetype kNamed = 10;
    if (!notPictures.isEmpty())
        MsgBox(ui,
               QStringLiteral("These files are not photos Vintrel can show, and were not added:\n\n%1")
                       .arg(notPictures.mid(0, kNamed).join(QLatin1Char('\n'))) +
                   (notPictures.size() > kNamed ? QStringLiteral("\n\nand %1 more.").arg(notPictures.size() - kNamed) : QString()),
               MsgButtons::Ok, MsgIcon::Information,
               notPictures.size() > kNamed ? notPictures.join(QLatin1Char('\n')) : QString());
    return placed;
}

void dropPhotos(Page &page, Ui &ui, const QStringList &paths, QPointF at)
{
    const Recorded step(page, paths.size() == 1 ? QStringLiteral("Add Photo") : QStringLiteral("Add Photos"));
    const int placed = addPhotos(page, ui, paths, [&](int n, int slot) {
        ImageControl &pic = page.Pic(slot);
        auto kept = [](double want, float size, float room) {
            return toSingle(std::max(0.0, std::min(want, double(room) - size)));
        };
        pic.Move(kept(at.x() + 300.0 * n, pic.Width(), PageSurface::kWidth),
                 kept(at.y() + 300.0 * n, pic.Height(), PageSurface::kHeight));
    });
    if (placed > 0)
        page.LayoutSaved = false;
}

} // namespace vintrel
