#pragma once
// Text files shared with the maker's Windows programs: Windows-1252 without a byte-order mark,
// or the encoding a byte-order mark names. And the one way the framework replaces a file.
#include <QByteArray>
#include <QFileDevice>
#include <QString>

enum class TextEncoding { Ansi, Utf8Bom, Utf16LeBom, Utf16BeBom };

struct DecodedText {
    QString text;
    TextEncoding encoding = TextEncoding::Ansi;
};

// Decodes file bytes: a UTF-8 or UTF-16 byte-order mark selects that encoding (the mark is not
// part of the text); anything else is Windows-1252.
DecodedText DecodeText(const QByteArray& bytes);

// Encodes text in the given encoding, with the mark for the marked ones.
QByteArray EncodeText(const QString& text, TextEncoding encoding);

// True when every character of the text has a place in Windows-1252.
bool FitsCodePage(const QString& text);

// The encoding to write a text in that was read as `encoding`: the same one, except that text
// Windows-1252 cannot hold is written as UTF-8 with a mark rather than losing characters.
TextEncoding EncodingForWrite(const QString& text, TextEncoding encoding);

// Replaces the file at path with bytes atomically: a new file is written beside it and renamed
// over the old one, so a crash or a full disk leaves the previous file whole. The old file's
// permissions are kept. When the folder refuses the new file but the file exists, it is written
// in place instead (WriteFileInPlace). Returns false and an error text when the file could not
// be replaced.
bool ReplaceFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Writes bytes over the existing file at path in place, with no new file beside it: for a file
// the user may write in a folder that refuses new files. Space for a longer content is reserved
// before the old content is touched; the file is then written whole, cut to its new length and
// synced. A read-only file (no write bit), a missing file or a folder is refused. False with
// the errno in errorCode when the file could not be written.
bool WriteFileInPlace(const QString& path, const QByteArray& bytes, int* errorCode = nullptr);

// An exclusive advisory lock (flock) on the file at path for the object's lifetime, so that two
// copies of the program do not read, merge and replace the same file at the same moment. A file
// that was replaced while waiting is locked anew. No lock is taken when the file does not exist
// or cannot be opened, and waiting ends after about two seconds (a copy that hangs with the lock
// must not hold this one): the save then goes on without it.
class FileLock {
public:
    explicit FileLock(const QString& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Why a file operation failed, in words for the user: the error of `file` at `path`.
QString FileErrorText(const QFileDevice& file, const QString& path);

// Read-only in the framework's sense: the file exists and no write bit is set in its mode.
// (Deliberately not access(2): that says yes to root.)
bool IsReadOnlyFile(const QString& path);
