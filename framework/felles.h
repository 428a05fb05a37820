#pragma once
// Small shared helpers: the size of a file, the reversible scramble of texts kept in the
// settings file, replacing a file name's extension, and opening through the desktop shell.
#include <QString>

// The size of the file in bytes, or -1 when it cannot be opened for reading and writing or
// measured: a missing file, a read-only one (no write bit in its mode), a folder or anything
// else that is no regular file. A file of 2 GiB or more gives 2147483647, the largest size the
// result can carry, so that it still reads as a large file and never as a small one.
int FileSizeOf(const QString& path);

// "z" + every UTF-16 code unit shifted up by its 1-based position (modulo 65536) + "2".
// "abc" gives "zbdf2", the empty text "z2". The length of the text is kept.
QString ScrambleText(const QString& text);
// Undoes ScrambleText: drops the first and the last code unit, whatever they are, and shifts
// every other one back by its position. Texts of up to two units give the empty text.
QString UnscrambleText(const QString& text);

// Cuts the name after its FIRST dot (a name without one gets a dot) and appends the extension:
// ("archive.tar.gz", "zip") gives "archive.zip", ("readme", "txt") "readme.txt". Meant for bare
// file names: a dot in a folder name of a path is a first dot too.
QString ReplaceExtension(const QString& fileName, const QString& extension);

// Hands the target (file, folder, program or address) to the desktop shell with the parameter
// text and working folder (either may be empty), under the busy cursor. The outcome is not
// looked at.
void ShellOpen(const QString& target, const QString& parameters, const QString& workingFolder);
