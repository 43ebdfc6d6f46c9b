#pragma once
// Facts about the running program and the screen.
#include <memory>

#include <QString>

class QLockFile;

namespace vintrel {

namespace App {
QString Title();         // "Vintrel"
QString Path();          // the folder that holds the program
// True when another copy of the program is already running for this user. The
// first call decides; a copy that answered False holds the claim until it exits,
// and a claim left by a copy that was killed does not count.
bool PrevInstance();
// Why this copy could not make its claim, once: the empty string when it could
// (or when this was asked before).
QString lockProblem();

// Taking the lock file at `path`. Only a lock that names a live copy counts as
// held; a lock that cannot be read (empty, garbage, a folder, a symbolic link)
// is replaced, the link itself and never what it points to.
enum class LockOutcome { Taken, HeldByLiveCopy, Unusable };
LockOutcome takeLock(const QString &path, std::unique_ptr<QLockFile> &held, QString &why);
// The user's private folder for the lock and the socket of the running copy:
// $XDG_RUNTIME_DIR when it is the user's alone, else "vintrel" in the user's
// cache folder; empty when there is none.
QString runtimeFolder();
// Makes `path` a folder of the user's alone (mode 0700) where it is not, or
// finds it so: the path, or empty when it is a link, not a folder, or another
// user's.
QString privateFolder(const QString &path);
} // namespace App

namespace Screen {
double TwipsPerPixelX(); // 1440 / the screen's logical dots per inch
double TwipsPerPixelY();
double Width();          // the screen's size in twips
double Height();
} // namespace Screen

} // namespace vintrel
