#pragma once
// The main window's one common dialog. Add, Open, Save and Print share it and it
// keeps its properties from one use to the next, as users of the old program saw:
// the file name offered by Add is the one chosen last, and the flags left by the
// print dialog stay in force for the file dialogs.
#include <QString>

class QPrinter;

namespace vintrel {

class Ui;

class CommonDialog {
public:
    // Flag bit that keeps a file dialog from moving the current directory.
    static constexpr int cdlOFNNoChangeDir = 0x8;
    // Print dialog flag bits: no "selection" choice, no page range, no print to file.
    static constexpr int cdlPDNoSelection = 0x4;
    static constexpr int cdlPDNoPageNums = 0x8;
    static constexpr int cdlPDDisablePrintToFile = 0x80000;

    explicit CommonDialog(Ui &ui) : m_ui(ui) {}

    bool CancelError = false;
    QString Filter;
    QString FileName;
    int Flags = 0;

    // Modal open and save dialogs. They start in the current directory, and a
    // confirmed choice makes the chosen file's folder the current directory
    // (unless Flags holds cdlOFNNoChangeDir). Cancel with CancelError set throws
    // DialogCancelled; without it the call simply returns.
    void ShowOpen();
    void ShowSave();
    // The modal print dialog, choosing and setting up the printer.
    void ShowPrinter(QPrinter &printer);

    Ui &ui() { return m_ui; }

private:
    void showFileDialog(bool save);
    Ui &m_ui;
};

} // namespace vintrel
