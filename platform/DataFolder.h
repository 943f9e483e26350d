#pragma once
// Where the program keeps its data: `--home DIR` on the command line, else the
// environment variable GLIMMERPOST_HOME, else the XDG data folder
// ($XDG_DATA_HOME/glimmerpost, by default ~/.local/share/glimmerpost).
// Glimmerpost and ClearGLP find it the same way.

#include <QString>
#include <QStringList>

namespace platform {

// Resolves the folder from the arguments and the environment; does not create it.
QString ResolveDataFolder(const QStringList& arguments);

// Resolves the folder, creates it when missing and makes it the core's program
// folder. Returns the folder, or an empty string when it cannot be created.
QString UseDataFolder(const QStringList& arguments);

}  // namespace platform
