#pragma once
// The viewer's list of the JPEG pictures in the last picture folder, with one entry current.
#include <QString>
#include <QStringList>

// Names of the entries of a folder that the pattern "*.jp*" matches, in the order the folder
// search yields them: the text after the last dot of the name begins with "jp" (any letter
// case); hidden files count, folders never. The order is that of an NTFS listing: by the
// upper-cased UTF-16 code units of the names (ties by the names themselves), not sorted otherwise.
// An empty folder text lists the current working folder.
QStringList MatchingPictureNames(const QString& folder);

// True when a file name matches "*.jp*" as above.
bool MatchesJpegPattern(const QString& name);

// The NTFS order of two names.
bool NtfsNameLess(const QString& a, const QString& b);

struct PictureList {
    QStringList entries;   // folder text followed directly by the file name
    int current = -1;      // -1 while the list is empty

    // Rebuilds the list from folder (the text is used in full, as stored) and makes
    // dialogFileName the current entry when it is one of them, else the first.
    void LastListen(const QString& folder, const QString& dialogFileName);

    // Moves one entry on, wrapping from the last to the first, and returns the entry to load;
    // empty text when the list is empty.
    QString Step();
    // The entry the next step will load, without moving; empty text when the list is empty.
    QString Next() const;
};
