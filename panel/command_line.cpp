#include "panel/command_line.h"

#include <QCommandLineParser>

QString programVersion()
{
    return QStringLiteral(ZORVANE_VERSION);
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows scanned pages one at a time above your other windows, so that you can\n"
        "type from them. Pages are the *.jpg files of the page folder."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    struct RemoteOption {
        remote::Command command;
        QCommandLineOption option;
    };
    const auto makeRemoteOption = [](const char *name, const char *what) {
        return QCommandLineOption(QLatin1String(name),
                                  QStringLiteral("In the running Zorvane: %1, as its hotkey does; "
                                                 "then exit.")
                                      .arg(QLatin1String(what)));
    };
    const RemoteOption remoteOptions[] = {
        {remote::Command::NextPage, makeRemoteOption("next", "next page (Ctrl+Shift+K)")},
        {remote::Command::PrevPage, makeRemoteOption("prev", "previous page (Ctrl+Shift+H)")},
        {remote::Command::ScrollUp, makeRemoteOption("scroll-up", "scroll up (Ctrl+Shift+U)")},
        {remote::Command::ScrollDown,
         makeRemoteOption("scroll-down", "scroll down (Ctrl+Shift+M)")},
    };
    for (const RemoteOption &remoteOption : remoteOptions)
        parser.addOption(remoteOption.option);
    parser.addPositionalArgument(
        QStringLiteral("FOLDER"),
        QStringLiteral("The page folder. Without it: the folder of a copy of the program "
                       "placed by hand; the installed program asks for a folder. A FILE.jpg "
                       "opens its folder and shows that page."),
        QStringLiteral("[FOLDER | FILE.jpg]"));

    // Without an application object the parser does not know the program's name.
    const auto usage = [&parser] {
        return parser.helpText().replace(QLatin1String("<executable_name>"),
                                         QLatin1String(ProgramName));
    };
    CommandLine result;
    const auto exitWith = [&result](int status, const QString &message) {
        result.exitNow = true;
        result.exitStatus = status;
        result.message = message;
        return result;
    };

    if (!parser.parse(arguments))
        return exitWith(2, QLatin1String(ProgramName) + QStringLiteral(": ") + parser.errorText()
                               + QLatin1Char('\n') + usage());
    if (parser.isSet(help))
        return exitWith(0, usage());
    if (parser.isSet(version))
        return exitWith(0, QLatin1String(ProgramName) + QLatin1Char(' ') + programVersion()
                               + QLatin1Char('\n'));
    const QStringList positional = parser.positionalArguments();
    QStringList remoteNames;
    for (const RemoteOption &remoteOption : remoteOptions) {
        if (parser.isSet(remoteOption.option)) {
            remoteNames << QStringLiteral("--") + remoteOption.option.names().constFirst();
            result.remoteCommand = remoteOption.command;
        }
    }
    if (remoteNames.size() > 1 || (!remoteNames.isEmpty() && !positional.isEmpty()))
        return exitWith(2, QLatin1String(ProgramName)
                               + QStringLiteral(": give one of --next, --prev, --scroll-up and "
                                              "--scroll-down alone, not %1.\n")
                                     .arg((remoteNames + positional).join(QStringLiteral(" ")))
                               + usage());
    if (positional.size() > 1)
        return exitWith(2, QLatin1String(ProgramName)
                               + QStringLiteral(": give one folder or file, not %1.\n")
                                     .arg(positional.size())
                               + usage());
    if (!positional.isEmpty())
        result.pageArgument = positional.first();
    return result;
}
