#pragma once
// What the tests share: a scripted stand-in for the modal dialogs and the
// pointer, picture files made on the spot, and a test main that gives every test
// process its own settings store and run folder.
#include <optional>

#include <QApplication>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/ui.h"

namespace vintrel::test {

// Answers dialogs from a script and records what was asked. A Yes/No question
// or a file dialog that the script did not expect fails the running test.
class ScriptedUi : public Ui {
public:
    struct Message {
        QString title, text;
        MsgButtons buttons;
        MsgIcon icon;
    };
    QList<Message> messages;
    QList<MsgAnswer> answers; // for Yes/No questions, in order
    QList<FileDialogRequest> fileRequests;
    QList<std::optional<QString>> files; // chosen paths, or nullopt for Cancel
    // Print dialog answers: a PDF file to print into, a printer name (prefixed
    // "printer:"), or nullopt for Cancel. The flags each dialog was given.
    QList<std::optional<QString>> printers;
    QList<int> printFlags;
    QPoint cursor;

    MsgAnswer messageBox(const QString &title, const QString &text, MsgButtons buttons, MsgIcon icon) override;
    std::optional<QString> fileDialog(const FileDialogRequest &request) override;
    bool printDialog(QPrinter &printer, int flags) override;
    QPoint cursorPos() override { return cursor; }

    QStringList texts() const;
};

// The folder of the test's data files.
QString dataPath(const QString &name);

// Writes a picture of the given pixel size (JPG, BMP, PNG...) and returns its path.
QString writePicture(const QString &path, QSize pixels, const char *format = "JPG", QColor colour = Qt::darkCyan);
// Writes arbitrary bytes.
QString writeBytes(const QString &path, const QByteArray &bytes);
// A JPEG whose EXIF data says how to turn it upright (1 as stored, 6 a quarter turn clockwise...).
QByteArray jpegWithOrientation(QSize pixels, int orientation);

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
