#pragma once
// The main window's one common dialog. Add, Open, Save and Print share it and it
// keeps its properties from one use to the next: the file name offered by Add is
// the one chosen last, and the flags left by the print dialog stay in force for
// the file dialogs.
#include <QString>
#include <QStringList>

#include "ui.h"

class QPrinter;

namespace vintrel {

class CommonDialog {
public:
    // File dialogs: a confirmed choice leaves the current directory where it is.
    static constexpr int KeepFolder = 0x8;
    // Print dialog: no "selection" choice, no page range, no printing to a file.
    static constexpr int NoSelectionChoice = 0x4;
    static constexpr int NoPageRange = 0x8;
    static constexpr int NoPrintToFile = 0x80000;

    explicit CommonDialog(Ui &ui) : m_ui(ui) {}

    bool CancelError = false;
    QString Filter;
    QString FileName;
    int Flags = 0;
    // The print dialog's choice to shrink the page to fit the paper.
    bool shrinkToFit = false;
    // Every file chosen in the last file dialog, FileName the first of them.
    QStringList fileNames;

    // Modal open and save dialogs. They start in the current directory, and a
    // confirmed choice makes the chosen file's folder the current directory
    // (unless Flags holds KeepFolder). Cancel with CancelError set throws
    // DialogCancelled; without it the call simply returns.
    void ShowOpen();
    void ShowSave();
    // An open dialog in which one or more files may be chosen.
    void showOpenMany();
    // A folder dialog: FileName becomes the folder chosen; the current
    // directory stays where it is.
    void showFolder();
    // The modal print dialog, choosing and setting up the printer.
    void ShowPrinter(QPrinter &printer);

private:
    void showFileDialog(FileDialogKind kind);
    Ui &m_ui;
};

} // namespace vintrel
