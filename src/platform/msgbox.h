#pragma once
// Message box styles and answers, as the commands name them.
#include <QString>

namespace vintrel {

enum MsgBoxStyle {
    vbOKOnly = 0,
    vbYesNo = 4,
    vbCritical = 16,
    vbQuestion = 32,
    vbInformation = 64,
    vbDefaultButton1 = 0,
    vbDefaultButton2 = 256,
};

enum MsgBoxResult { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

} // namespace vintrel

namespace vintrel {
class Ui;
// A modal message box titled with the application title.
int MsgBox(Ui &ui, const QString &text, int style);
} // namespace vintrel
