#pragma once
// The command line: nothing, or one layout file to open; --help and --version.
#include <QString>
#include <QStringList>

namespace vintrel {

struct CommandLine {
    enum Action { Run, Help, Version, Usage } action = Run;
    QString file; // the layout file to open, as given (Run only)
};

// The arguments after the program's name, those of Qt already taken out.
CommandLine parseCommandLine(const QStringList &arguments);

// "Usage: vintrel [LAYOUT.ppy]", and the --help and --version texts.
QString usageLine();
QString helpText();
QString versionText();

} // namespace vintrel
