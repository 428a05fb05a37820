#pragma once
// The process's environment as the framework sees it: the Windows-style variable names the
// framework asks for, answered from their Linux equivalents, and a few facts about the process.
#include <QString>

namespace platform {

// The value of an environment variable by its Windows name. Names with a Linux equivalent:
//   APPDATA      $APPDATA, else $XDG_DATA_HOME, else $HOME/.local/share
//   TEMP         $TEMP, else $TMPDIR, else /tmp
//   USERPROFILE  $USERPROFILE, else $HOME
//   USERNAME     $USERNAME, else the login name of the process's user
//   WINDIR, SystemRoot   as set, else empty (Linux has no Windows folder)
// Any other name: the variable's value, empty when unset. Never ends in a separator it did not have.
QString EnvironmentValue(const QString& name);

// True when the variable itself is set in the process environment (no fallback applied).
bool EnvironmentIsSet(const QString& name);

// Full path of the running program file (the executable itself, links resolved).
QString ProgramFilePath();
// Replaces the answer of ProgramFilePath (tests; empty text restores the real one).
void SetProgramFilePath(const QString& path);

// Login name of the user the process runs as; empty when the system does not know it.
QString ProcessLoginName();

// The user's home folder without a trailing separator.
QString HomeFolder();

}  // namespace platform
