#pragma once
// Photos of a layout that are not where the layout says: looked for beside
// the layout file, and in a folder the user points to.
#include <map>
#include <optional>
#include <set>

#include <QString>
#include <QStringList>

namespace vintrel {

class Page;
class Ui;

// True when the photo file is not an ordinary, visible file that exists.
bool photoMissing(const QString &path);

// A missing photo stored as ".../photos/beach.jpg" is looked for as
// "beach.jpg" in the layout file's folder, then as "photos/beach.jpg" under
// it: the first that exists and is the user's own (or the system's), or
// nothing.
std::optional<QString> besideLayout(const QString &layoutPath, const QString &photoPath);

// The first file of each name in the folder or below it, at most `levels`
// folders deep, shallower ones first and in name order within a folder.
// Hidden files and folders, and folders reached through links, are passed by.
std::map<QString, QString> findByName(const QString &folder, const std::set<QString> &names, int levels = 4);

// Find...: asks for a folder, re-links every slot of `frames` whose photo's
// file name is found there or below, keeping its place, size and stacking,
// and says how many were found. One step to undo; the page then counts as
// changed.
void findMissingPhotos(Page &page, Ui &ui, const QList<int> &frames);

} // namespace vintrel
