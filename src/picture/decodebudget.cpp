#include "decodebudget.h"

#include <QMutex>
#include <QWaitCondition>

#include "pictureerror.h"

namespace vintrel {

namespace {
QMutex lock;
QWaitCondition released;
qint64 available = DecodeBudget::kTotal;
} // namespace

DecodeBudget::Reservation::Reservation(qint64 bytes) : m_bytes(qMax<qint64>(bytes, 0))
{
    if (m_bytes > kTotal)
        throw PictureError(QStringLiteral("decoding it would need %1 MB").arg(m_bytes >> 20));
    QMutexLocker locked(&lock);
    while (available < m_bytes)
        released.wait(&lock);
    available -= m_bytes;
}

DecodeBudget::Reservation::~Reservation()
{
    QMutexLocker locked(&lock);
    available += m_bytes;
    released.wakeAll();
}

} // namespace vintrel
