#pragma once
// The memory that decoding pictures may hold at once, shared by every thread
// that decodes: a decode reserves what it needs before it starts, waiting while
// others hold the rest, and one that needs more than the whole budget is refused.
#include <QtGlobal>

namespace vintrel {

class DecodeBudget {
public:
    static constexpr qint64 kTotal = 640ll << 20;

    // Holds `bytes` of the budget until destroyed. Throws PictureError when
    // `bytes` exceed the whole budget.
    class Reservation {
    public:
        explicit Reservation(qint64 bytes);
        ~Reservation();
        Reservation(const Reservation &) = delete;
        Reservation &operator=(const Reservation &) = delete;

    private:
        qint64 m_bytes;
    };
};

} // namespace vintrel
