#pragma once
// The main window: the page surface with its rulers, the toolbar strip and the
// menus, start-up and the two ways the program ends.
#include <deque>
#include <functional>
#include <memory>

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include "layout/editing.h"
#include "layout/page.h"
#include "platform/commondialog.h"

namespace vintrel {

class FileHandoff;
class frmAbout;
class Ruler;
class Toolbar;
class Ui;

class frmMain : public QMainWindow {
public:
    explicit frmMain(Ui &ui, QWidget *parent = nullptr);
    ~frmMain() override;

    // Start-up, before the window is first shown. Returns false when the program
    // is to end at once because another copy of it is running.
    bool Form_Load();

    // Commands of the menus and the toolbar.
    void mnuNew_Click();
    void mnuOpenPage_Click();
    void mnuSave_Click();
    void mnuAdd_Click();
    void mnuRemove_Click();
    void mnuPrint_Click();
    void mnuExit_Click();
    void mnuSelect_Click();
    void mnuacquire_Click();
    void mnuHelpTopics_Click();
    void mnuAbout_Click();
    void ToolbarRemove();
    void Toolbar1_ButtonClick(const QString &key);
    // Runs a command of the menus, the toolbar or the window's close box now,
    // or, while a layout is being opened, once it is open, in the order chosen.
    void runCommand(const std::function<void()> &command);

    // Opens a layout file named on the command line or handed over by another
    // copy (an absolute path), as Open Layout does after its dialog, asking
    // first about unsaved changes; waits while a dialog is open.
    void openNamed(const QString &path);

    Page &page() { return m_page; }
    PageEditor &editor() { return m_editor; }
    Ruler &XRule() { return *m_xRule; }
    Ruler &YRule() { return *m_yRule; }
    // True once the program has ended (Exit, closing the window).
    bool ended() const { return m_ended; }

    // Where start-up puts the window: centred across, 250 twips above the
    // centre down, in twips; nothing is clamped.
    static QPointF CentredPosition(double screenWidth, double screenHeight, double outerWidth,
                                   double outerHeight);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Form_Unload();
    void StoreLastFolder();
    void End();
    void openNamedFiles();
    void runWaiting();

    Ui &m_ui;
    CommonDialog m_cdDialog;
    QWidget *m_client;
    Page m_page;
    Toolbar *m_toolbar;
    Ruler *m_xRule;
    Ruler *m_yRule;
    PageEditor m_editor;
    bool m_ended = false;
    std::unique_ptr<FileHandoff> m_handoff;
    QPointer<frmAbout> m_about; // while the About box is open
    QStringList m_named; // waiting to be opened
    QTimer m_namedLater;
    std::deque<std::function<void()>> m_waiting; // chosen while a layout was opening
    QTimer m_waitingLater;
};

} // namespace vintrel
