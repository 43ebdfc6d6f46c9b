#include "commandline.h"

#include "buildinfo.h"

namespace vintrel {

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine line;
    bool optionsEnd = false;
    for (const QString &a : arguments) {
        if (!optionsEnd && (a == QLatin1String("--help") || a == QLatin1String("-h"))) {
            return {CommandLine::Help, {}};
        } else if (!optionsEnd && a == QLatin1String("--version")) {
            return {CommandLine::Version, {}};
        } else if (!optionsEnd && a == QLatin1String("--")) {
            optionsEnd = true;
        } else if ((!optionsEnd && a.startsWith(QLatin1Char('-'))) || !line.file.isNull() || a.isEmpty()) {
            return {CommandLine::Usage, {}};
        } else {
            line.file = a;
        }
    }
    return line;
}

QString usageLine() { return QStringLiteral("Usage: vintrel [--help] [--version] [LAYOUT.ppy]"); }

QString helpText()
{
    return usageLine() + QStringLiteral("\n\n"
                                        "Composes one printed page of photographs.\n"
                                        "With a layout file, opens it; when Vintrel is running already,\n"
                                        "the running copy opens it.\n\n"
                                        "  -h, --help     show this help and end\n"
                                        "      --version  show the version and end\n");
}

QString versionText() { return QStringLiteral("Vintrel " VINTREL_VERSION); }

} // namespace vintrel
