#pragma once
// A layout file named to a second copy of the program goes to the copy that is
// already running, over a local socket beside the one-copy lock: the second
// copy sends the file's absolute path and ends once the first has taken it.
#include <functional>
#include <map>
#include <memory>

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

namespace vintrel {

// The socket's path: "vintrel.socket" in the same folder as the lock.
QString handoffSocket();

// The running copy's side. Listens from construction; `take` receives every
// path handed over, in order.
class FileHandoff : public QObject {
public:
    explicit FileHandoff(std::function<void(const QString &)> take, QObject *parent = nullptr);
    ~FileHandoff() override;

private:
    struct Peer {
        std::unique_ptr<QSocketNotifier> notifier;
        QByteArray line;
    };
    void accept();
    void read(int fd);
    void drop(int fd);

    int m_listener = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::map<int, Peer> m_peers;
    std::function<void(const QString &)> m_take;
};

// The second copy's side: true once the running copy has taken the file, else
// false with a reason.
bool handFileToRunningCopy(const QString &absolutePath, QString &why);

} // namespace vintrel
