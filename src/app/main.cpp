#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QIcon>

#include "commandline.h"
#include "frmmain.h"
#include "handoff.h"
#include "platform/app.h"
#include "platform/ui.h"

using namespace vintrel;

int main(int argc, char *argv[])
{
    // The command line is answered before Qt needs a display: Qt's own options
    // (single dash, "-platform offscreen") are left to Qt.
    static const QStringList qtWithValue{"-platform", "-platformpluginpath", "-platformtheme", "-plugin",
                                         "-style", "-stylesheet", "-session", "-display", "-geometry",
                                         "-qwindowgeometry", "-qwindowtitle", "-qwindowicon", "-title", "-name"};
    QStringList ours;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a.startsWith(QLatin1Char('-')) && !a.startsWith(QLatin1String("--")) && a != QLatin1String("-h") &&
            a.size() > 1)
            i += qtWithValue.contains(a) ? 1 : 0;
        else
            ours << a;
    }
    const CommandLine line = ParseCommandLine(ours);
    if (line.action == CommandLine::Usage) {
        std::fputs(qPrintable(UsageLine() + '\n'), stderr);
        return 2;
    }
    if (line.action != CommandLine::Run) {
        std::fputs(qPrintable((line.action == CommandLine::Help ? HelpText() : VersionText()) + '\n'), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vintrel"));
    QApplication::setApplicationVersion(QStringLiteral(VINTREL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Vintrel"));
    QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.example.Vintrel"),
                                                    QIcon(QStringLiteral(":/icons/256.png"))));
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);

    // Named from where the program was started, before start-up changes folder.
    const QString file = line.file.isNull() ? QString() : QDir::current().absoluteFilePath(line.file);

    if (App::PrevInstance()) { // the running copy takes the file; this one ends
        QString why;
        if (!file.isNull() && !HandFileToRunningCopy(file, why)) {
            std::fputs(qPrintable(QStringLiteral("vintrel: the running copy did not take %1: %2\n").arg(file, why)), stderr);
            return 1;
        }
        return 0;
    }
    QtUi ui;
    frmMain form(ui);
    ui.setOwner(&form);
    if (!form.Form_Load())
        return 0;
    form.show();
    if (!file.isNull())
        form.openNamed(file);
    return app.exec();
}
