#pragma once
// Modal message boxes, titled with the application title.
#include <QString>

namespace vintrel {

class Ui;

// OK alone, Yes and No with Yes as the default button (Esc answers No), or OK
// (the default, and Esc) and "Find...".
enum class MsgButtons { Ok, YesNo, OkFind };
// Stop for errors, Information for notices, Question for confirmations.
enum class MsgIcon { None, Stop, Question, Information };
enum class MsgAnswer { Ok, Yes, No, Find };

MsgAnswer MsgBox(Ui &ui, const QString &text, MsgButtons buttons, MsgIcon icon, const QString &details = {});

} // namespace vintrel
