#include "app.h"

#include <memory>
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

QString App::runtimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    return folder;
}

namespace {
QString g_lockProblem;
} // namespace

App::LockOutcome App::takeLock(const QString &path, std::unique_ptr<QLockFile> &held, QString &why)
{
    for (int attempt = 0;; ++attempt) {
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
        const LockOutcome outcome = takeLock(runtimeFolder() + QStringLiteral("/vintrel.lock"), lock, g_lockProblem);
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
