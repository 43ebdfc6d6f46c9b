#pragma once
// Modal message boxes, titled with the application title.
#include <QString>

namespace vintrel {

class Ui;

// OK alone, or Yes and No with Yes as the default button (Esc answers No).
enum class MsgButtons { Ok, YesNo };
// Stop for errors, Information for notices, Question for confirmations.
enum class MsgIcon { None, Stop, Question, Information };
enum class MsgAnswer { Ok, Yes, No };

MsgAnswer MsgBox(Ui &ui, const QString &text, MsgButtons buttons, MsgIcon icon);

} // namespace vintrel
