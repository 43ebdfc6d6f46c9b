#pragma once
// The layout file (*.ppy): 30 lines, one per photo slot, each of 11 quoted,
// comma-separated fields, every line ending in CR LF, no header. Paths are
// written as the file system gives their bytes (UTF-8 on Linux).
//
//   "photo path","left","top","width","height","Y|N visible","Y|N used",
//   "height/width","width/height","stacking rank","stacking counter"
//
// This unit only turns values into text and text into values; it knows
// nothing of the page. It depends on Qt Core alone.
#include <array>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "layout/ratio.h"

namespace vintrel::layoutformat {

constexpr int kRecords = 30;
constexpr int kFields = 11;
// No field is longer than this (a path of the longest length a path may have,
// every character a doubled quote, is a quarter of it), and a reader needs no
// more of a file than this for its 330 fields.
constexpr qsizetype kMostFieldBytes = 64 * 1024;
constexpr qsizetype kMostLayoutBytes = 4 * 1024 * 1024;

// ---- Numbers as text ----------------------------------------------------

// At most `digits` significant digits, "." as the decimal point whatever the
// locale, no trailing zeros, no point for whole values, exponent form
// ("1.234568E+07", "1E-05") when plain notation would need more digits.
QString numberText(double value, int digits);
inline QString singleText(float value) { return numberText(value, 7); }
inline QString doubleText(double value) { return numberText(value, 15); }
// Empty while never set; 7 digits when measured, 15 when read from a file.
QString ratioText(const Ratio &ratio);

// The leading number of a text: blanks skipped, an optional sign, digits, an
// optional "." and digits, an optional exponent; reading stops at the first
// other character. No number gives 0 ("1234,5" is 1234, "" is 0). A number
// beyond double precision throws RuntimeError.
double leadingNumber(QByteArrayView text);

// ---- Writing ------------------------------------------------------------

struct SlotValues {
    QString path;
    float left = 0, top = 0, width = 0, height = 0;
    bool visible = false, used = false;
    Ratio ratioHW, ratioWH;
    double rank = 0;
};

// One record line, CR LF included.
QByteArray recordLine(const SlotValues &slot, double counter);

// ---- Reading ------------------------------------------------------------

// The file as one stream of fields: a line end separates fields like a comma. A
// quoted field keeps commas, blanks and line ends, and reads "" inside it as one
// quote; an unquoted one loses its surrounding blanks. Reading past the end throws RuntimeError (end of file).
class FieldReader {
public:
    explicit FieldReader(QByteArrayView data) : m_data(data) {}
    QByteArray next();

private:
    bool atLineEnd() const;
    void skipSeparator();
    QByteArrayView m_data;
    qsizetype m_pos = 0;
};

// The 11 texts of a record, as read.
using Record = std::array<QByteArray, kFields>;

// The first 330 fields as 30 records; anything after them is ignored. A field
// longer than kMostFieldBytes throws RuntimeError.
std::array<Record, kRecords> readRecords(QByteArrayView data);

// A record's values, checked: positions and sizes must fit single precision,
// sizes must not be negative, every number must be finite; anything else throws
// RuntimeError. A flag other than exactly "Y" or "N" leaves the value unset.
struct ReadSlot {
    QString path;
    float left = 0, top = 0, width = 0, height = 0;
    std::optional<bool> visible, used;
    double ratioHW = 0, ratioWH = 0, rank = 0;
    double counter = 0;
};
ReadSlot parseRecord(const Record &record);

} // namespace vintrel::layoutformat
