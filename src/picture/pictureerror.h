#pragma once
// A file that is missing, unreadable, not a picture the program can decode, or
// too large to decode within the memory budget.
#include <stdexcept>

#include <QString>

namespace vintrel {

class PictureError : public std::runtime_error {
public:
    explicit PictureError(const QString &what) : std::runtime_error(what.toStdString()) {}
};

} // namespace vintrel
