#include "safefile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>
#include <mutex>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vintrel {

namespace {
FileIdentity identityOf(const struct stat &st)
{
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// The mappings being read, where a bus error (a page of the file gone) is
// answered with a page of zeros. The signal handler reads them without locks:
// a place is taken by setting its length, then its start; left by clearing
// its start first.
struct Guard {
    std::atomic<uintptr_t> start{0}, length{0};
    std::atomic<bool> faulted{false};
};
constexpr int kGuards = 256;
Guard g_guards[kGuards];
struct sigaction g_previous {};

void onBusError(int signal, siginfo_t *info, void *context)
{
    const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
    const auto page = uintptr_t(::sysconf(_SC_PAGESIZE));
    for (Guard &guard : g_guards) {
        const uintptr_t start = guard.start.load();
        const uintptr_t length = guard.length.load();
        if (start == 0 || at < start || at - start >= length || guard.start.load() != start)
            continue;
        void *zeros = reinterpret_cast<void *>(at & ~(page - 1));
        if (::mmap(zeros, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            guard.faulted.store(true);
            return; // the read is made again, of zeros
        }
    }
    // Not a page of a guarded file: as it would have been without this handler.
    if (g_previous.sa_flags & SA_SIGINFO) {
        g_previous.sa_sigaction(signal, info, context);
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
    } else {
        ::signal(signal, SIG_DFL);
        ::raise(signal);
    }
}

int guard(const void *start, qint64 length)
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previous);
    });
    for (int i = 0; i < kGuards; ++i) {
        uintptr_t none = 0;
        // The place is held by a length until its start is set.
        if (g_guards[i].length.compare_exchange_strong(none, uintptr_t(length))) {
            g_guards[i].faulted.store(false);
            g_guards[i].start.store(reinterpret_cast<uintptr_t>(start));
            return i;
        }
    }
    return -1;
}
} // namespace

MappedFile::MappedFile(const QFile &file)
{
    const qint64 size = file.size();
    if (size <= 0 || file.handle() < 0 || quint64(size) > std::numeric_limits<size_t>::max())
        return;
    void *p = ::mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE, file.handle(), 0);
    if (p == MAP_FAILED)
        return;
    m_guard = guard(p, size);
    if (m_guard < 0) { // every place taken: not read at all rather than unguarded
        ::munmap(p, size_t(size));
        return;
    }
    m_data = static_cast<const uchar *>(p);
    m_size = size;
}

MappedFile::~MappedFile()
{
    if (!m_data)
        return;
    g_guards[m_guard].start.store(0);
    ::munmap(const_cast<uchar *>(m_data), size_t(m_size));
    g_guards[m_guard].length.store(0);
}

bool MappedFile::cutShort() const { return m_guard >= 0 && g_guards[m_guard].faulted.load(); }

QString fileNameOf(QByteArrayView bytes)
{
    QString name;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const uchar lead = uchar(bytes[i]);
        // A UTF-8 sequence: its length, the least code point it may hold.
        const int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3 : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
        char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            const uchar next = uchar(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = code << 6 | (next & 0x3F);
        }
        static const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && code >= least[length] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
        if (valid) {
            name += QString::fromUcs4(&code, 1);
            i += length;
        } else {
            name += QChar(0xDC00 + lead);
            ++i;
        }
    }
    return name;
}

QByteArray bytesOf(const QString &name)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF && !(i > 0 && name[i - 1].isHighSurrogate()))
            bytes += char(c.unicode() - 0xDC00); // a byte that stood for itself
        else if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            bytes += name.mid(i++, 2).toUtf8();
        else
            bytes += QString(c).toUtf8();
    }
    return bytes;
}

bool openRegularFile(const QString &path, QFile &file, QString &why, FileIdentity *identity)
{
    // No file's name holds a NUL: the system would read the name only up to it.
    if (path.contains(QChar(0))) {
        why = QString::fromLocal8Bit(std::strerror(ENOENT));
        return false;
    }
    const int fd = ::open(bytesOf(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = QStringLiteral("it is not an ordinary file");
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        why = file.errorString();
        ::close(fd);
        return false;
    }
    if (identity)
        *identity = identityOf(st);
    return true;
}

} // namespace vintrel
