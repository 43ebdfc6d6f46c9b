#include "app.h"

#include <memory>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLockFile>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>

namespace vintrel {

QString App::Title() { return QStringLiteral("Vintrel"); }

QString App::Path() { return QCoreApplication::applicationDirPath(); }

QString App::privateFolder(const QString &path)
{
    // Made only for the user (mode 0700); then, looked at without following a
    // link, it must be a folder of the user's that nobody else may enter.
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST))
        return {};
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return {};
    if ((st.st_mode & 077) != 0 && ::chmod(name.constData(), 0700) != 0)
        return {};
    return path;
}

QString App::runtimeFolder()
{
    // The desktop's own folder for the user's running programs, else one of
    // the program's in the user's cache; never one others could make first.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) {
        struct stat st {};
        if (::lstat(QFile::encodeName(runtime).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
            (st.st_mode & 077) == 0)
            return runtime;
    }
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty() || !QDir().mkpath(cache))
        return {};
    return privateFolder(QDir(cache).filePath(QStringLiteral("vintrel")));
}

namespace {
QString g_lockProblem;
} // namespace

App::LockOutcome App::takeLock(const QString &path, std::unique_ptr<QLockFile> &held, QString &why)
{
    if (path.isEmpty()) {
        why = QStringLiteral("there is no private folder for its lock");
        return LockOutcome::Unusable;
    }
    for (int attempt = 0;; ++attempt) {
        // A lock of another user's is nobody's to trust, nor to take over.
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && st.st_uid != ::getuid()) {
            why = QStringLiteral("%1 belongs to another user").arg(path);
            return LockOutcome::Unusable;
        }
        auto lock = std::make_unique<QLockFile>(path);
        // A lock whose owner is no longer running is stale and is taken over;
        // age alone never makes it stale.
        lock->setStaleLockTime(0);
        if (lock->tryLock(0)) {
            held = std::move(lock);
            return LockOutcome::Taken;
        }
        if (lock->error() == QLockFile::PermissionError) {
            why = QStringLiteral("%1 cannot be written").arg(QFileInfo(path).path());
            return LockOutcome::Unusable;
        }
        if (lock->error() != QLockFile::LockFailedError) {
            why = QStringLiteral("%1 cannot be written").arg(path);
            return LockOutcome::Unusable;
        }
        qint64 pid = 0;
        QString host, name;
        if (lock->getLockInfo(&pid, &host, &name))
            return LockOutcome::HeldByLiveCopy;
        // Unreadable. A copy starting this moment may not have written it yet.
        const QFileInfo info(path);
        const bool young = info.isFile() && !info.isSymLink() &&
                           qAbs(info.lastModified().msecsTo(QDateTime::currentDateTime())) < 1000;
        if (young && attempt < 20) {
            QThread::msleep(50);
            continue;
        }
        const bool removed = info.isDir() && !info.isSymLink() ? QDir().rmdir(path) : QFile::remove(path);
        if (!removed || attempt > 21) {
            why = QStringLiteral("%1 is in the way and cannot be removed").arg(path);
            return LockOutcome::Unusable;
        }
    }
}

bool App::PrevInstance()
{
    static const bool previous = [] {
        // Held for the life of the process.
        static std::unique_ptr<QLockFile> lock;
        const QString folder = runtimeFolder();
        const LockOutcome outcome =
            takeLock(folder.isEmpty() ? QString() : folder + QStringLiteral("/vintrel.lock"), lock, g_lockProblem);
        return outcome == LockOutcome::HeldByLiveCopy;
    }();
    return previous;
}

QString App::lockProblem()
{
    return std::exchange(g_lockProblem, QString());
}

static QScreen *screen()
{
    return QGuiApplication::primaryScreen();
}

double Screen::TwipsPerPixelX()
{
    const QScreen *s = screen();
    return 1440.0 / (s ? s->logicalDotsPerInchX() : 96.0);
}

double Screen::TwipsPerPixelY()
{
    const QScreen *s = screen();
    return 1440.0 / (s ? s->logicalDotsPerInchY() : 96.0);
}

double Screen::Width()
{
    const QScreen *s = screen();
    return (s ? s->geometry().width() : 0) * TwipsPerPixelX();
}

double Screen::Height()
{
    const QScreen *s = screen();
    return (s ? s->geometry().height() : 0) * TwipsPerPixelY();
}

} // namespace vintrel
