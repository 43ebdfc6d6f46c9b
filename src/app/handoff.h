#pragma once
// A layout file named to a second copy of the program goes to the copy that is
// already running, over a local socket beside the one-copy lock: the second
// copy sends the file's absolute path and ends once the first has taken it.
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

namespace vintrel {

// The socket's path: "vintrel.socket" in the same folder as the lock; empty
// when there is no private folder for it.
QString handoffSocket();

// A path as the hand-over sends it: its length (4 bytes, low first), then its
// bytes as the file system has them. Any path the system allows arrives whole.
QByteArray handoffMessage(const QString &path);

// The running copy's side. Listens from construction; `take` receives every
// path handed over, in order. Only the user's own processes are heard; a
// connection that has not sent a whole path within a moment is closed, as is
// one that sends what no path is; of more than so many at once, the one that
// has waited longest makes room for the newest.
class FileHandoff : public QObject {
public:
    static constexpr int kMostPeers = 16;
    static constexpr int kPatienceMs = 2000;

    explicit FileHandoff(std::function<void(const QString &)> take, QObject *parent = nullptr);
    ~FileHandoff() override;

private:
    // One connection: deleted later, since it goes from inside its own signals.
    struct Peer : QObject {
        Peer(int fd) : notifier(fd, QSocketNotifier::Read) {}
        QSocketNotifier notifier;
        QTimer patience;
        QByteArray received;
    };
    void accept();
    void read(int fd);
    void drop(int fd);

    int m_listener = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_resume; // listening again after the process ran out of files
    std::map<int, Peer *> m_peers;
    std::deque<int> m_order; // the peers' sockets, the longest connected first
    std::function<void(const QString &)> m_take;
};

// The second copy's side: true once the running copy has taken the file, else
// false with a reason.
bool handFileToRunningCopy(const QString &absolutePath, QString &why);

} // namespace vintrel
