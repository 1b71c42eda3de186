#include "cli/arguments.h"

ArgumentRole RoleOf(const QString& argument, bool& optionsEnded) {
    if (optionsEnded) {
        return ArgumentRole::kFile;
    }
    if (argument == QLatin1String("--")) {
        optionsEnded = true;
        return ArgumentRole::kEndOfOptions;
    }
    if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
        return ArgumentRole::kOption;
    }
    return ArgumentRole::kFile;
}

bool AsksForHelp(const QStringList& arguments) {
    bool ended = false;
    for (const QString& argument : arguments) {
        if (RoleOf(argument, ended) == ArgumentRole::kOption &&
            (argument == QLatin1String("--help") || argument == QLatin1String("-h"))) {
            return true;
        }
    }
    return false;
}
