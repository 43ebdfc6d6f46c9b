#pragma once
// What the tests share: a scripted stand-in for the modal dialogs and the
// pointer, picture files made on the spot, the real main window with its dialogs
// answered by the script (Desk), and a test main that gives every test process
// its own settings store and run folder.
#include <optional>

#include <sys/resource.h>

#include <QtTest>   // and with it all of Qt Core
#include <QtWidgets>
#include <QtPrintSupport>

#include "app/frmmain.h"
#include "platform/ui.h"

namespace vintrel::test {

// Answers dialogs from a script and records what was asked. A dialog the
// script did not expect fails the running test, and so does an answer left
// unused (checkUsedUp), a message not titled "Vintrel", and one that breaks the
// rule that questions (Yes and No) and only they have the question icon.
class ScriptedUi : public Ui {
public:
    struct Message {
        QString title, text;
        MsgButtons buttons;
        MsgIcon icon;
        QString details;
    };
    QList<Message> messages;
    QList<MsgAnswer> answers; // for Yes/No questions and OK/Find..., in order
    QList<FileDialogRequest> fileRequests;
    QList<std::optional<QStringList>> files; // the paths chosen in each dialog, or nullopt for Cancel
    // Print dialog answers: a PDF file to print into, a printer name (prefixed
    // "printer:"), or nullopt for Cancel; and the flags each dialog was given.
    QList<std::optional<QString>> printers;
    QList<int> printFlags;
    // The paper and the shrink-to-fit option chosen in the print dialogs and
    // previews, when set; and the option each one offered.
    std::optional<QPageLayout> paper;
    std::optional<bool> shrink;
    QList<bool> shrinkOffered;
    // Print previews: what is printed from each (as for the print dialog), or
    // nullopt to close it; and each one's sheet, as the preview showed it.
    QList<std::optional<QString>> previews;
    QList<QImage> previewed;
    QPoint cursor;
    // Where faults go instead of failing the test, when set.
    QStringList *faults = nullptr;

    MsgAnswer messageBox(const QString &title, const QString &text, MsgButtons buttons, MsgIcon icon,
                         const QString &details) override;
    std::optional<QStringList> fileDialog(const FileDialogRequest &request) override;
    bool printDialog(QPrinter &printer, int flags, bool &shrinkToFit) override;
    void printPreview(QPrinter &printer, bool &shrinkToFit, const PaintSheet &paint) override;
    std::optional<QString> takePrinter(QList<std::optional<QString>> &queue, QPrinter &printer, bool &shrinkToFit);
    void printOn(QPrinter &printer, const QString &answer) const;
    QPoint cursorPos() override { return cursor; }
    // Programs and documents asked to start, each as its command line or address.
    QStringList started;
    bool canStart = true;
    bool startProgram(const QString &program, const QStringList &arguments) override
    {
        return started << (QStringList{program} + arguments).join(' '), canStart;
    }
    bool openUrl(const QUrl &url) override { return started << url.toString(), canStart; }

    // The messages shown, each as "icon: text" (stop, question, information, none).
    QStringList said() const;
    void checkUsedUp() const;
    void fault(const QString &what, int line) const;
};

// The main window as the user has it, its dialogs answered by `ui`.
struct Desk {
    ScriptedUi ui;
    frmMain form{ui};
    Page &page = form.page();
    Desk();
    ~Desk() { ui.checkUsedUp(); }
    // Runs a command of the menus by its name ("mnuAdd"), as the menu does.
    void run(const char *command);
    // The command with its file dialog answered by `path` (nullopt: Cancel).
    void add(const std::optional<QString> &path) { answer(path), run("mnuAdd"); }
    void save(const std::optional<QString> &path) { answer(path), run("mnuSave"); }
    void open(const std::optional<QString> &path) { answer(path), run("mnuOpenPage"); }
    // The next file dialog answered with the path, or Cancel.
    void answer(const std::optional<QString> &path) { ui.files << (path ? std::optional(QStringList{*path}) : std::nullopt); }
    // Files dragged onto the window and let go at `at` (pixels of the page
    // surface), as a file manager sends them (a text/uri-list). Whether the
    // window took them.
    bool drop(const QStringList &uris, QPoint at);
    // Slot i holding the photo at that place and size, as Add and a drag leave it.
    void place(int i, const QString &path, float left, float top, float width, float height);
    // Slot i in a few words: "used shown picture beach.jpg at 840,600 1500x1200 rank 1"
    // (free/used, hidden/shown, empty/frame/picture, the file's name or "-").
    QString slot(int i) const;
};

QString dataPath(const QString &name);
// Writes a picture of the given pixel size (JPG, BMP, PNG...) and returns its
// path; writeBytes writes the bytes. Both make the folders on the way.
QString writePicture(const QString &path, QSize pixels, const char *format = "JPG", QColor colour = Qt::darkCyan);
QString writeBytes(const QString &path, const QByteArray &bytes);
QByteArray readBytes(const QString &path);
// Kilobytes of this process's resident size ("VmRSS:") or its peak ("VmHWM:").
long statusKb(const char *field);
// How far apart two pictures are: the mean difference of a channel, `b`
// scaled to `a`'s size.
double difference(const QImage &a, const QImage &b);
// A limit of this process's (RLIMIT_FSIZE for a full disk, RLIMIT_NOFILE...)
// lowered to `soft` while it lives, when `when`; put back however the test ends.
class Limit {
public:
    Limit(int resource, rlim_t soft, bool when = true);
    ~Limit() { setrlimit(m_resource, &m_saved); }

private:
    int m_resource;
    rlimit m_saved{};
};
// Runs one of Debian's tools with `input`; its output, or a null string when it failed.
QString tool(const QString &program, const QStringList &args, const QByteArray &input = {});
// Writes a JPEG whose EXIF data says to turn it a quarter clockwise to stand
// upright (orientation 6, set by exiftool) and returns its path.
QString jpegTurned(const QString &path, QSize pixels);

// As the superuser, whom file permissions do not bind, runs the running test
// function (its data row too) again in a copy of this program as the user
// "nobody" and takes its outcome: true when it did so, and the caller returns.
bool RanUnprivileged();
#define VINTREL_UNPRIVILEGED()                   \
    do {                                         \
        if (vintrel::test::RanUnprivileged())    \
            return;                              \
    } while (false)

// Per-process isolation: a fresh settings store and run folder, offscreen windows.
void isolateEnvironment();

} // namespace vintrel::test

#define VINTREL_TEST_MAIN(TestClass)                                   \
    int main(int argc, char **argv)                                    \
    {                                                                  \
        vintrel::test::isolateEnvironment();                           \
        QApplication app(argc, argv);                                  \
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);       \
        TestClass tc;                                                  \
        return QTest::qExec(&tc, argc, argv);                          \
    }
