#include "layoutformat.h"

#include <cmath>
#include <limits>

#include <QFile>
#include <QLocale>

#include "picture/safefile.h"
#include "platform/errors.h"

namespace vintrel::layoutformat {

QString numberText(double value, int digits)
{
    if (value == 0)
        return QStringLiteral("0"); // and never "-0"
    // 'g' switches to exponent form below 1E-04 and from 10^digits, and drops
    // trailing zeros; QString::number ignores the locale.
    QString text = QString::number(value, 'g', digits);
    text.replace(QLatin1Char('e'), QLatin1Char('E'));
    return text;
}

QString ratioText(const Ratio &ratio)
{
    switch (ratio.kind) {
    case Ratio::Empty: return QString();
    case Ratio::Single: return singleText(float(ratio.value));
    case Ratio::Double: return doubleText(ratio.value);
    }
    return QString();
}

double leadingNumber(QByteArrayView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto digit = [&](qsizetype at) { return at < n && text[at] >= '0' && text[at] <= '9'; };
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const qsizetype start = i;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    bool any = false;
    while (digit(i)) {
        ++i;
        any = true;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (digit(i)) {
            ++i;
            any = true;
        }
    }
    if (!any)
        return 0;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (digit(j)) {
            while (digit(j))
                ++j;
            i = j;
        }
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(text.sliced(start, i - start).toByteArray(), &ok);
    if (!ok || !std::isfinite(value))
        throw RuntimeError(QStringLiteral("a number beyond double precision"));
    return value;
}

QByteArray recordLine(const SlotValues &slot, double counter)
{
    const QString fields[kFields] = {
        slot.path,
        singleText(slot.left),
        singleText(slot.top),
        singleText(slot.width),
        singleText(slot.height),
        slot.visible ? QStringLiteral("Y") : QStringLiteral("N"),
        slot.used ? QStringLiteral("Y") : QStringLiteral("N"),
        ratioText(slot.ratioHW),
        ratioText(slot.ratioWH),
        doubleText(slot.rank),
        doubleText(counter),
    };
    QByteArray line;
    for (int f = 0; f < kFields; ++f) {
        if (f > 0)
            line += ',';
        line += '"';
        // A quote in a path is written twice, so it reads back as one.
        line += f == 0 ? bytesOf(fields[f]).replace('"', "\"\"") : fields[f].toLatin1();
        line += '"';
    }
    line += "\r\n";
    return line;
}

bool FieldReader::atLineEnd() const
{
    return m_data[m_pos] == '\r' || m_data[m_pos] == '\n';
}

void FieldReader::skipSeparator()
{
    if (m_pos >= m_data.size())
        return;
    if (m_data[m_pos] == ',') {
        ++m_pos;
    } else if (m_data[m_pos] == '\r') {
        ++m_pos;
        if (m_pos < m_data.size() && m_data[m_pos] == '\n')
            ++m_pos;
    } else if (m_data[m_pos] == '\n') {
        ++m_pos;
    }
}

QByteArray FieldReader::next()
{
    const qsizetype n = m_data.size();
    while (m_pos < n && (m_data[m_pos] == ' ' || m_data[m_pos] == '\t'))
        ++m_pos;
    if (m_pos >= n)
        throw RuntimeError(QStringLiteral("the layout ends before its 330th field"));
    QByteArray text;
    if (m_data[m_pos] == '"') {
        // To the closing quote; two quotes inside stand for one.
        qsizetype close = m_pos;
        for (;;) {
            const qsizetype from = close + 1;
            close = m_data.indexOf('"', from);
            text += m_data.sliced(from, (close < 0 ? n : close) - from);
            if (close < 0 || close + 1 >= n || m_data[close + 1] != '"')
                break;
            text += '"';
            ++close;
        }
        m_pos = close < 0 ? n : close + 1;
        // Anything between the closing quote and the separator is dropped.
        while (m_pos < n && m_data[m_pos] != ',' && !atLineEnd())
            ++m_pos;
    } else {
        const qsizetype start = m_pos;
        while (m_pos < n && m_data[m_pos] != ',' && !atLineEnd())
            ++m_pos;
        text = m_data.sliced(start, m_pos - start).toByteArray().trimmed();
    }
    if (text.size() > kMostFieldBytes)
        throw RuntimeError(QStringLiteral("a field of the layout is too long"));
    skipSeparator();
    return text;
}

std::array<Record, kRecords> readRecords(QByteArrayView data)
{
    FieldReader reader(data);
    std::array<Record, kRecords> records;
    for (Record &record : records)
        for (QByteArray &field : record)
            field = reader.next();
    return records;
}

namespace {
std::optional<bool> flag(const QByteArray &text)
{
    if (text == "Y")
        return true;
    if (text == "N")
        return false;
    return std::nullopt;
}

float single(const QByteArray &text, bool size)
{
    const double value = leadingNumber(text);
    if (std::fabs(value) > std::numeric_limits<float>::max() || (size && value < 0))
        throw RuntimeError(QStringLiteral("a place or size out of range"));
    return float(value);
}
} // namespace

ReadSlot parseRecord(const Record &record)
{
    ReadSlot slot;
    slot.path = fileNameOf(record[0]);
    slot.left = single(record[1], false);
    slot.top = single(record[2], false);
    slot.width = single(record[3], true);
    slot.height = single(record[4], true);
    slot.visible = flag(record[5]);
    slot.used = flag(record[6]);
    slot.ratioHW = leadingNumber(record[7]);
    slot.ratioWH = leadingNumber(record[8]);
    slot.rank = leadingNumber(record[9]);
    slot.counter = leadingNumber(record[10]);
    return slot;
}

} // namespace vintrel::layoutformat
