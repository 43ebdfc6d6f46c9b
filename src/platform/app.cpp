#include "app.h"

#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLockFile>
#include <QScreen>
#include <QStandardPaths>

namespace vintrel {

QString App::Title() { return QStringLiteral("Vintrel"); }

QString App::Path() { return QCoreApplication::applicationDirPath(); }

QString App::RuntimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    return folder;
}

bool App::PrevInstance()
{
    static const bool previous = [] {
        const QString folder = RuntimeFolder();
        // Held for the life of the process. A lock whose owner is no longer
        // running is stale and is taken over; age alone never makes it stale.
        static std::unique_ptr<QLockFile> lock;
        lock = std::make_unique<QLockFile>(folder + QStringLiteral("/vintrel.lock"));
        lock->setStaleLockTime(0);
        return !lock->tryLock(0);
    }();
    return previous;
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
