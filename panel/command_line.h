#pragma once
// What the command line asks for. It is read before the display is opened, so that
// --help, --version and a wrong argument work without one.

#include "platform/desktop/remote_commands.h"

#include <QString>
#include <QStringList>

#include <optional>

struct CommandLine {
    // Set when the program ends at once with `exitStatus`, printing `message` on
    // stdout (status 0) or stderr (any other status).
    bool exitNow = false;
    int exitStatus = 0;
    QString message;

    // The FOLDER or FILE.jpg argument, when one was given.
    std::optional<QString> pageArgument;

    // --next, --prev, --scroll-up or --scroll-down: send this to the running program
    // instead of starting one.
    std::optional<remote::Command> remoteCommand;
};

// The program's name in messages and in the usage text.
inline constexpr const char *ProgramName = "zorvane";

// The version, from the build (the project's version in CMake).
QString programVersion();

// Reads `arguments`, the program's own name first, as QCoreApplication::arguments() gives them.
CommandLine parseCommandLine(const QStringList &arguments);
