#pragma once
// Help and About: the help document, the About box with its link and System
// Info, which finds the desktop's system information program through the
// program's registry.
#include <functional>

#include <QDialog>
#include <QString>

#include "platform/registry.h"

class QLabel;

namespace vintrel {

class Ui;

// Where the help document is: beside the program, else in the installed data
// folder; empty when there is none.
QString helpDocument();
// Help Topics: opens the help document with the desktop's handler for HTML,
// without waiting; tells the user when there is no document or no handler.
void mnuHelpTopics_Click(Ui &ui);

// Reads one registry value as text: a string as it is, a 32-bit number as "&h"
// and its bytes from the last to the first in hexadecimal. False, and KeyVal
// empty, when the key or the value is not there.
bool GetKeyValue(registry::Key KeyRoot, const QString &KeyName, const QString &SubKeyRef, QString &KeyVal);
// Starts the system information program the registry names, or says it is
// unavailable.
void StartSysInfo(Ui &ui);

class frmAbout : public QDialog {
public:
    static constexpr const char *kWebAddress = "https://vintrel.example.org/";

    frmAbout(Ui &ui, QWidget *parent);
    void Form_Load();
    void cmdOK_Click() { close(); }
    void cmdSysInfo_Click() { StartSysInfo(m_ui); }
    void Label3_Click();
    void Label3_DblClick();
    void Label3_MouseMove();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Ui &m_ui;
    QLabel *m_title, *m_version, *m_link;
    bool m_afterDoubleClick = false;
};

// Puts a top-level window where place() says for its outer size, title bar and
// frame included, now and again once the window manager has framed it.
void centreByOuterSize(QWidget *window, std::function<QPoint(QSize outer)> place);

} // namespace vintrel
