#include <cstdio>
#include <thread>

#include <fontconfig/fontconfig.h>

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTimer>

#include "buildinfo.h"
#include "commandline.h"
#include "frmmain.h"
#include "handoff.h"
#include "lazystyle.h"
#include "picture/safefile.h"
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
        const QString a = fileNameOf(argv[i]); // a file's name as it is, whatever its bytes
        if (a.startsWith(QLatin1Char('-')) && !a.startsWith(QLatin1String("--")) && a != QLatin1String("-h") &&
            a.size() > 1)
            i += qtWithValue.contains(a) ? 1 : 0;
        else
            ours << a;
    }
    const CommandLine line = parseCommandLine(ours);
    if (line.action == CommandLine::Usage) {
        std::fputs(qPrintable(usageLine() + '\n'), stderr);
        return 2;
    }
    if (line.action != CommandLine::Run) {
        std::fputs(qPrintable((line.action == CommandLine::Help ? helpText() : versionText()) + '\n'), stdout);
        return 0;
    }

    // Fontconfig reads its configuration while Qt connects to the display:
    // the window's menu bar needs fonts before it can be shown.
    std::thread fonts([] { FcInit(); });
    QApplication app(argc, argv);
    fonts.join();
    QApplication::setApplicationName(QStringLiteral("Vintrel"));
    QApplication::setApplicationVersion(QStringLiteral(VINTREL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Vintrel"));
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication::setStyle(new LazyIconStyle);

    // Named from where the program was started, before start-up changes folder.
    const QString file = line.file.isNull() ? QString() : QDir::current().absoluteFilePath(line.file);

    if (App::PrevInstance()) { // the running copy takes the file; this one ends
        QString why;
        if (!file.isNull() && !handFileToRunningCopy(file, why)) {
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
    // The icon is looked up once the window stands: the icon theme and the
    // picture readers take longer to start than the window itself.
    QTimer::singleShot(0, [] {
        QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.example.Vintrel"),
                                                        QIcon(QStringLiteral(":/icons/256.png"))));
    });
    if (!file.isNull())
        form.openNamed(file);
    return app.exec();
}
