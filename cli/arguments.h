// How kjoin reads a command's arguments: options until a "--", files after it, as command-line
// tools do, so that a file whose name begins with "-" can be given.
#pragma once

#include <QString>
#include <QStringList>

enum class ArgumentRole {
    kEndOfOptions,  // the first "--": not a file, and every argument after it is one
    kOption,        // begins with "-" (not "-" alone) before the end of the options
    kFile,
};

// What `argument` is; `optionsEnded` is set by the first "--" and read for the ones after.
ArgumentRole RoleOf(const QString& argument, bool& optionsEnded);

// Whether --help or -h is among the options (not among the files after "--").
bool AsksForHelp(const QStringList& arguments);
