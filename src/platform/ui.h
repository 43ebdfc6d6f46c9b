#pragma once
// The one seam between the commands and the user: everything modal (message
// boxes, file and print dialogs), the programs started for the user and the
// pointer position. The Qt implementation
// is the real one; tests install a scripted one that answers and records.
#include <functional>
#include <optional>
#include <QPoint>
#include <QString>
#include <QStringList>

#include "msgbox.h"

class QPrinter;
class QPrintPreviewWidget;
class QUrl;
class QWidget;

namespace vintrel {

// Open one file, save one, open one or more, choose a folder.
enum class FileDialogKind { Open, Save, OpenMany, Folder };

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::Open;
    QString filter;   // "Label|patterns|Label|patterns..."
    QString fileName; // the name offered first
    QString folder;   // the folder the dialog starts in
};

class Ui {
public:
    virtual ~Ui() = default;
    // A modal message box, with `details` to show on request where not empty;
    // returns the button pressed.
    virtual MsgAnswer messageBox(const QString &title, const QString &text, MsgButtons buttons, MsgIcon icon,
                                 const QString &details) = 0;
    // A modal file dialog; the full paths chosen (one but for OpenMany, in the
    // order chosen), or nothing when cancelled.
    virtual std::optional<QStringList> fileDialog(const FileDialogRequest &request) = 0;
    // A modal print dialog that sets up the printer, with the option to shrink
    // the page to fit the paper; false when cancelled.
    virtual bool printDialog(QPrinter &printer, int flags, bool &shrinkToFit) = 0;
    // A modal print preview of the printer's sheet, with its own printer and page
    // setup and the option to shrink the page to fit. `paint` draws the sheet
    // on the printer it is given, for the preview or, `forReal`, to print it.
    using PaintSheet = std::function<void(QPrinter &printer, bool forReal)>;
    virtual void printPreview(QPrinter &printer, bool &shrinkToFit, const PaintSheet &paint) = 0;
    // The pointer's position on the screen, in screen pixels.
    virtual QPoint cursorPos() = 0;
    // Starts a program without waiting for it; false when it cannot start.
    virtual bool startProgram(const QString &program, const QStringList &arguments) = 0;
    // Opens a document or web address with the desktop's handler for it,
    // without waiting; false when there is none.
    virtual bool openUrl(const QUrl &url) = 0;
};

// The real dialogs, owned by the given window.
class QtUi : public Ui {
public:
    void setOwner(QWidget *owner) { m_owner = owner; }
    MsgAnswer messageBox(const QString &title, const QString &text, MsgButtons buttons, MsgIcon icon,
                         const QString &details) override;
    std::optional<QStringList> fileDialog(const FileDialogRequest &request) override;
    bool printDialog(QPrinter &printer, int flags, bool &shrinkToFit) override;
    void printPreview(QPrinter &printer, bool &shrinkToFit, const PaintSheet &paint) override;
    QPoint cursorPos() override;
    bool startProgram(const QString &program, const QStringList &arguments) override;
    bool openUrl(const QUrl &url) override;

    // Makes the preview draw its sheet with `paint`, for the preview or, when
    // printing from it, for real.
    static void wirePreview(QPrintPreviewWidget &preview, const PaintSheet &paint);
    // "Label|*.a;*.b|..." as the name filters of a Qt file dialog.
    static QStringList nameFilters(const QString &filter);

private:
    QWidget *m_owner = nullptr;
};

} // namespace vintrel
