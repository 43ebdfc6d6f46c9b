#include "layoutfile.h"

#include <cmath>
#include <map>
#include <optional>
#include <set>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "findphotos.h"
#include "layout/loading.h"
#include "layout/page.h"
#include "layoutformat.h"
#include "picture/safefile.h"
#include "platform/commondialog.h"
#include "platform/errors.h"
#include "platform/msgbox.h"

namespace vintrel {

namespace lf = layoutformat;

const QString kLayoutFilter = QStringLiteral("Vintrel Files (*.PPY)|*.ppy");

namespace {

const QString kLoadError =
    QStringLiteral("There was an error loading your file. File may be corrupted or image file may be missing.");
const QString kMissingPhotos =
    QStringLiteral("One or more photos could not be loaded because it is missing or renamed.");

// Whether a picture of `size` has the proportions a record gives its photo.
bool sameProportions(QSize size, double ratioWH)
{
    return !size.isEmpty() && ratioWH > 0 && std::abs(double(size.width()) / size.height() - ratioWH) <= 0.01 * ratioWH;
}

} // namespace

QByteArray writeLayout(const Page &page)
{
    QByteArray out;
    for (int i = 0; i < Page::kPhotos; ++i) {
        const ImageControl &pic = page.Pic(i);
        lf::SlotValues slot;
        slot.path = page.PicFile[i];
        slot.left = pic.Left();
        slot.top = pic.Top();
        slot.width = pic.Width();
        slot.height = pic.Height();
        slot.visible = pic.Visible();
        slot.used = page.PicUsed[i];
        slot.ratioHW = page.PicRatioHW[i];
        slot.ratioWH = page.PicRatioWH[i];
        slot.rank = page.PicZOrder[i];
        out += lf::recordLine(slot, page.ZOrderCount);
    }
    return out;
}

namespace {

// The layout file's name from the shared dialog, which offers no name; nothing
// when the user cancels.
std::optional<QString> chooseLayoutFile(CommonDialog &cdDialog, bool save)
{
    cdDialog.CancelError = true;
    cdDialog.Filter = kLayoutFilter;
    cdDialog.FileName.clear();
    if (!completed([&] { save ? cdDialog.ShowSave() : cdDialog.ShowOpen(); }))
        return std::nullopt;
    return cdDialog.FileName;
}

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)) + QLatin1Char('.'); }

// Writes all of `bytes` at the start of `fd` and cuts the file there, onto the
// disk; 0 or the error.
int writeAt0(int fd, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.constData() + written, size_t(bytes.size() - written), written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        written += n;
    }
    if (::ftruncate(fd, bytes.size()) != 0 || ::fsync(fd) != 0)
        return errno;
    return 0;
}

// For a folder where no file can be made beside the target but the target
// itself may be written: the bytes go over it in place, and if that fails,
// what it held is written back. Returns why not, or nothing.
std::optional<QString> writeInPlace(const QString &path, const QByteArray &bytes)
{
    // Held in memory while it is written over: a layout is a few kilobytes,
    // and a file much larger than any layout is not put at risk this way.
    constexpr off_t kMostKept = 64 * 1024 * 1024;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errnoText(errno);
    struct stat info {};
    QByteArray old;
    std::optional<QString> why;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = QStringLiteral("It is not an ordinary file.");
    } else if (info.st_size > kMostKept) {
        why = QStringLiteral("No file can be made in its folder, and it is too large to be written over.");
    } else {
        old.resize(qsizetype(info.st_size));
        qsizetype got = 0;
        ssize_t n = 1;
        while (got < old.size() && (n = ::pread(fd, old.data() + got, size_t(old.size() - got), got)) != 0)
            if (n > 0)
                got += n;
            else if (errno != EINTR)
                break;
        if (got != old.size())
            why = errnoText(n < 0 ? errno : EIO);
    }
    if (!why) {
        if (const int error = writeAt0(fd, bytes)) {
            const int restoreError = writeAt0(fd, old);
            why = errnoText(error) + (restoreError == 0
                                          ? QStringLiteral(" The file holds what it held before.")
                                          : QStringLiteral(" What the file held before could not be put back: %1")
                                                .arg(errnoText(restoreError)));
        }
    }
    ::close(fd);
    return why;
}

// Writes the bytes beside the file and puts them in its place only when all are
// written; returns why not, or nothing. Unbuffered, so that a short write (a
// full disk, a file-size limit) shows here rather than vanishing in a buffer
// flushed at commit.
std::optional<QString> replaceWhole(const QString &path, const QByteArray &bytes)
{
    // A FIFO, a device or a folder under the name is never replaced by a file.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return QStringLiteral("It is not an ordinary file.");
    QSaveFile file(path);
    qint64 written = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // A file the user may write in a folder where they may not make one.
        if (target.isFile() && target.isWritable() && !QFileInfo(target.absolutePath()).isWritable())
            return writeInPlace(path, bytes);
        return file.errorString();
    }
    while (written < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0)
            break;
        written += n;
    }
    if (written == bytes.size() && file.commit())
        return std::nullopt;
    const QString reason = file.errorString();
    file.cancelWriting();
    return reason;
}

} // namespace

void mnuSave_Click(Page &page, CommonDialog &cdDialog, Ui &ui)
{
    const std::optional<QString> path = chooseLayoutFile(cdDialog, true);
    if (!path)
        return;
    if (const std::optional<QString> failure = replaceWhole(*path, writeLayout(page))) {
        MsgBox(ui, QStringLiteral("The layout could not be saved to \"%1\".\n\n%2").arg(*path, *failure),
               MsgButtons::Ok, MsgIcon::Stop);
        return;
    }
    page.LayoutSaved = true;
    page.history().markSaved();
}

namespace {
bool mayDiscard(Page &page, Ui &ui)
{
    if (!page.LayoutSaved && MsgBox(ui, QStringLiteral("Discard current changes and open a previously saved layout?"),
                                    MsgButtons::YesNo, MsgIcon::Question) == MsgAnswer::No)
        return false;
    page.LayoutSaved = true;
    return true;
}
} // namespace

void mnuOpenPage_Click(Page &page, CommonDialog &cdDialog, Ui &ui)
{
    if (!mayDiscard(page, ui))
        return;
    if (const std::optional<QString> layoutPath = chooseLayoutFile(cdDialog, false))
        openLayoutFile(page, *layoutPath, ui);
}

void openLayoutNamed(Page &page, const QString &layoutPath, Ui &ui)
{
    if (mayDiscard(page, ui))
        openLayoutFile(page, layoutPath, ui);
}

void openLayoutFile(Page &page, const QString &layoutPath, Ui &ui)
{
    // Read and check the file, and load every photo, first; the page changes only after.
    std::array<lf::ReadSlot, lf::kRecords> readSlots;
    std::array<QString, lf::kRecords> paths; // where each photo is loaded from
    std::map<QString, QSize> toLoad;         // each file once, at the largest size it is shown
    const bool read = completed([&] {
        // Only a regular file, and only as much of it as its fields may need:
        // a FIFO, a device or a file of gigabytes neither blocks nor fills memory.
        QFile file;
        QString why;
        if (!openRegularFile(layoutPath, file, why))
            throw RuntimeError(why);
        const QByteArray data = file.read(lf::kMostLayoutBytes);
        if (file.error() != QFile::NoError)
            throw RuntimeError(file.errorString());
        const auto records = lf::readRecords(data);
        for (int i = 0; i < lf::kRecords; ++i)
            readSlots[i] = lf::parseRecord(records[i]);
    });
    if (!read) {
        MsgBox(ui, kLoadError, MsgButtons::Ok, MsgIcon::Stop);
        return;
    }
    std::set<int> besides; // the slots whose photos were found beside the layout
    for (int i = 0; i < lf::kRecords; ++i) {
        const lf::ReadSlot &slot = readSlots[i];
        if (slot.path.isEmpty())
            continue;
        paths[i] = slot.path;
        if (photoMissing(slot.path)) {
            // A layout moved with its photos finds them beside it.
            const std::optional<QString> beside = besideLayout(layoutPath, slot.path);
            paths[i] = beside.value_or(QString());
            if (beside)
                besides.insert(i);
        }
        if (!paths[i].isEmpty())
            toLoad[paths[i]] = toLoad[paths[i]].expandedTo(page.devicePixels(QSizeF(slot.width, slot.height)));
    }
    QList<PictureRequest> requests;
    for (const auto &[path, size] : toLoad)
        requests.append({path, [shown = size](QSize) { return shown; }});
    const auto loaded = loadPictures(requests, {page.surface()->window(), QStringLiteral("OpenProgress"),
                                                [](int done, int total) {
                                                    return QStringLiteral("Opening layout: %1 of %2 photos").arg(done).arg(total);
                                                }});
    if (!loaded)
        return; // cancelled: the page as it was
    std::map<QString, std::optional<Picture>> pictures;
    for (qsizetype j = 0; j < requests.size(); ++j)
        pictures[requests[j].path] = loaded->at(j);
    // A file found beside the layout stands for the photo only when it has
    // the photo's proportions; another picture of the same name (phones
    // repeat their names) is no more than a name.
    for (auto i = besides.begin(); i != besides.end();) {
        const std::optional<Picture> &picture = pictures.at(paths[*i]);
        if (!picture || sameProportions(picture->size(), readSlots[*i].ratioWH)) {
            ++i;
        } else {
            paths[*i].clear();
            i = besides.erase(i);
        }
    }
    const bool relinked = !besides.empty();

    QList<int> missing;
    QStringList missingPaths, unreadable;
    for (int i = 0; i < lf::kRecords; ++i) {
        const lf::ReadSlot &slot = readSlots[i];
        ImageControl &pic = page.Pic(i);
        const std::optional<Picture> picture = paths[i].isEmpty() ? std::nullopt : pictures.at(paths[i]);
        page.PicFile[i] = picture ? paths[i] : slot.path;
        if (slot.path.isEmpty()) {
            pic.setPicture(Picture());
        } else if (picture) {
            pic.setPicture(*picture);
        } else {
            // An empty frame where the photo stood, kept in the layout as it was.
            pic.setMissing(slot.path);
            (paths[i].isEmpty() ? missingPaths : unreadable) << QDir::toNativeSeparators(slot.path);
            if (paths[i].isEmpty())
                missing << i;
        }
        pic.setLeft(slot.left);
        pic.setTop(slot.top);
        pic.setWidth(slot.width);
        pic.setHeight(slot.height);
        if (slot.visible)
            pic.setVisible(*slot.visible);
        if (slot.used)
            page.PicUsed[i] = *slot.used;
        page.PicRatioHW[i] = Ratio::fromDouble(slot.ratioHW);
        page.PicRatioWH[i] = Ratio::fromDouble(slot.ratioWH);
        page.PicZOrder[i] = slot.rank;
    }
    page.ZOrderCount = readSlots[lf::kRecords - 1].counter;
    // The stacking: whole ranks from 1 up to the counter come to the front in
    // ascending order; the others stay below as they were.
    for (int i : page.slotsByRank(1))
        page.Pic(i).ZOrder();
    page.history().commit(QStringLiteral("Open Layout"));
    // Photos found beside the layout are saved with their new paths.
    page.LayoutSaved = !relinked;
    if (!relinked)
        page.history().markSaved();

    unreadable.removeDuplicates();
    missingPaths.removeDuplicates();
    if (!unreadable.isEmpty())
        MsgBox(ui,
               QStringLiteral("These photos could not be read, and are shown as empty frames:\n\n%1")
                   .arg(unreadable.join(QLatin1Char('\n'))),
               MsgButtons::Ok, MsgIcon::Information);
    // Photos taken from beside the layout are never taken unseen.
    QString foundBeside;
    QStringList foundPaths;
    for (int i : besides)
        foundPaths << QDir::toNativeSeparators(paths[i]);
    foundPaths.removeDuplicates();
    const QString layoutFolder = QDir::toNativeSeparators(QFileInfo(layoutPath).absolutePath());
    if (besides.size() == 1)
        foundBeside = QStringLiteral("1 photo was found beside the layout, in \"%1\", and is used from there.").arg(layoutFolder);
    else if (!besides.empty())
        foundBeside = QStringLiteral("%1 photos were found beside the layout, in \"%2\", and are used from there.")
                          .arg(besides.size())
                          .arg(layoutFolder);
    if (!missing.isEmpty()) {
        if (MsgBox(ui, foundBeside.isEmpty() ? kMissingPhotos : kMissingPhotos + QStringLiteral("\n\n") + foundBeside,
                   MsgButtons::OkFind, MsgIcon::Information, missingPaths.join(QLatin1Char('\n'))) == MsgAnswer::Find)
            findMissingPhotos(page, ui, missing);
    } else if (!besides.empty()) {
        MsgBox(ui, foundBeside, MsgButtons::Ok, MsgIcon::Information, foundPaths.join(QLatin1Char('\n')));
    }
}

} // namespace vintrel
