#include "findphotos.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include "layout/history.h"
#include "layout/loading.h"
#include "layout/page.h"
#include "picture/safefile.h"
#include "platform/commondialog.h"
#include "platform/errors.h"
#include "platform/msgbox.h"

namespace vintrel {

bool photoMissing(const QString &path)
{
    struct stat st {};
    return path.contains(QChar(0)) || ::stat(bytesOf(path).constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
           QFileInfo(path).fileName().startsWith(QLatin1Char('.'));
}

std::optional<QString> besideLayout(const QString &layoutPath, const QString &photoPath)
{
    const QStringList parts = photoPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;
    const QDir folder = QFileInfo(layoutPath).absoluteDir();
    QStringList candidates{folder.filePath(parts.constLast())};
    if (parts.size() > 1)
        candidates << folder.filePath(parts[parts.size() - 2] + QLatin1Char('/') + parts.constLast());
    // In a folder others may write (a shared one, /tmp), another user's file
    // under the photo's name is not taken for it.
    for (const QString &candidate : candidates) {
        struct stat st {};
        if (!photoMissing(candidate) && ::stat(bytesOf(candidate).constData(), &st) == 0 &&
            (st.st_uid == ::geteuid() || st.st_uid == 0))
            return candidate;
    }
    return std::nullopt;
}

std::map<QString, QString> findByName(const QString &folder, const std::set<QString> &names, int levels)
{
    std::map<QString, QString> found;
    QStringList level{folder};
    for (int depth = 0; depth <= levels && !level.isEmpty() && found.size() < names.size(); ++depth) {
        QStringList below;
        for (const QString &dir : level) {
            const QFileInfoList entries =
                QDir(dir).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
            for (const QFileInfo &entry : entries) {
                if (entry.isDir()) {
                    if (!entry.isSymLink())
                        below << entry.filePath();
                } else if (names.count(entry.fileName()) && !found.count(entry.fileName()) &&
                           !photoMissing(entry.filePath())) {
                    found[entry.fileName()] = entry.filePath();
                }
            }
        }
        level = below;
    }
    return found;
}

void findMissingPhotos(Page &page, Ui &ui, const QList<int> &frames)
{
    CommonDialog folderDialog(ui);
    folderDialog.CancelError = true;
    if (!completed([&] { folderDialog.showFolder(); }))
        return;
    std::set<QString> names;
    for (int i : frames)
        names.insert(QFileInfo(page.PicFile.at(i)).fileName());
    const std::map<QString, QString> found = findByName(folderDialog.FileName, names);

    QList<int> foundSlots;
    QList<PictureRequest> requests;
    const PixelScale scale = page.pixelScale();
    for (int i : frames) {
        const auto at = found.find(QFileInfo(page.PicFile.at(i)).fileName());
        if (at == found.end())
            continue;
        const QSize shown = scale.devicePixels(QSizeF(page.Pic(i).Width(), page.Pic(i).Height()));
        foundSlots << i;
        requests.append({at->second, [shown](QSize) { return shown; }});
    }
    const auto pictures = loadPictures(requests, {page.surface()->window(), QStringLiteral("FindProgress"),
                                                  [](int loaded, int total) {
                                                      return QStringLiteral("Loading found photos: %1 of %2")
                                                          .arg(loaded)
                                                          .arg(total);
                                                  }});
    if (!pictures)
        return; // cancelled: nothing re-linked
    int relinked = 0;
    {
        const Recorded step(page, QStringLiteral("Find Photos"));
        for (qsizetype j = 0; j < foundSlots.size(); ++j) {
            if (!pictures->at(j))
                continue;
            page.PicFile[foundSlots[j]] = requests[j].path;
            page.Pic(foundSlots[j]).setPicture(*pictures->at(j));
            ++relinked;
        }
        if (relinked)
            page.LayoutSaved = false;
    }
    MsgBox(ui, QStringLiteral("%1 of %2 missing photos were found.").arg(relinked).arg(frames.size()), MsgButtons::Ok,
           MsgIcon::Information);
}

} // namespace vintrel
