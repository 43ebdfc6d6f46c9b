#include "handoff.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>

#include "platform/app.h"

namespace vintrel {

namespace {
constexpr int kWaitMs = 5000;
constexpr qint64 kLongestLine = 64 * 1024; // a path, and no more
} // namespace

QString HandoffSocket() { return QDir(App::RuntimeFolder()).filePath(QStringLiteral("vintrel.socket")); }

FileHandoff::FileHandoff(std::function<void(const QString &)> take, QObject *parent)
    : QObject(parent), m_take(std::move(take))
{
    // Only the copy that holds the lock gets here: a socket left by a copy that
    // was killed is its own to replace.
    QLocalServer::removeServer(HandoffSocket());
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(HandoffSocket());
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (!peer->canReadLine()) {
                    if (peer->bytesAvailable() > kLongestLine)
                        peer->abort();
                    return;
                }
                const QString path = QString::fromUtf8(peer->readLine(kLongestLine)).chopped(1);
                peer->write("ok\n");
                peer->flush();
                peer->disconnectFromServer();
                if (QDir::isAbsolutePath(path))
                    m_take(path);
            });
        }
    });
}

bool HandFileToRunningCopy(const QString &absolutePath, QString &why)
{
    QLocalSocket socket;
    socket.connectToServer(HandoffSocket());
    if (!socket.waitForConnected(kWaitMs)) {
        why = socket.errorString();
        return false;
    }
    socket.write(absolutePath.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(kWaitMs))
        why = socket.errorString();
    while (why.isEmpty() && !socket.canReadLine())
        if (!socket.waitForReadyRead(kWaitMs))
            why = QStringLiteral("the running copy did not answer");
    return why.isEmpty() && socket.readLine() == "ok\n";
}

} // namespace vintrel
