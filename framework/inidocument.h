#pragma once
// An INI document as the maker's programs read and write it.
//
// Reading: a line ends at CR, LF or CR LF. Each line is trimmed of blanks and control characters
// (code units up to U+0020, nothing else: a no-break space stays); "[name]" opens a section, the
// name without the blanks and tabs at its two ends ("[ STANDARD ]" opens STANDARD and is written
// back as "[STANDARD]"; blanks inside a name are part of it); "key=value" is an entry (key and value
// trimmed separately, the value is everything after the first "=", quotes kept). Empty lines,
// lines starting with ";" and lines before the first section are skipped. A line without "="
// inside a section is kept as it stands. Section names and keys are matched without regard to
// letter case; a section named twice in the file is one section.
//
// Writing: the whole file, each section as its header, its entries in order and one empty line,
// CR LF line ends. A changed key keeps its place; a new key goes to the end of its section, a new
// section to the end of the document. The encoding is the one the file was read in (a byte-order
// mark is kept); Windows-1252 for a file without a mark, unless the text holds characters that
// code page lacks, which are then kept by writing UTF-8 with a mark.
//
// Changes: the document remembers what this run changed (a write of the value the run already
// had is no change), so that a save can put exactly those changes onto the file as it stands on
// disk now (rebase), and another program's changes to the same file in the meantime are kept.
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "framework/textcodec.h"

class IniDocument {
public:
    struct Entry {
        QString key;
        QString value;
        bool plain = false;  // a line without "=", written back unchanged (held in key)
    };
    struct Section {
        QString name;
        QList<Entry> entries;
    };

    // Parses file content.
    static IniDocument fromBytes(const QByteArray& bytes);
    // The file content as it would be written.
    QByteArray toBytes() const;

    // Whether the key exists in the section.
    bool contains(const QString& section, const QString& key) const;
    // The value; empty text when the section or key is missing.
    QString value(const QString& section, const QString& key) const;
    // Sets the value, adding key and section at their ends when new. Remembered as a change of
    // this run unless the value is the one this run read for the key or wrote to it last, so
    // that writing back an unchanged choice does not undo another program's change of it.
    void setValue(const QString& section, const QString& key, const QString& value);
    // Sets the value now, but as a change it applies only where the file lacks the key (a first
    // value that another program may have written first).
    void setInitialValue(const QString& section, const QString& key, const QString& value);

    // The document becomes onDisk (its sections, entries and encoding) with this run's changes
    // not yet saved applied on top, in the order they were made.
    void rebase(const IniDocument& onDisk);
    // The changes are on disk now: forgets them.
    void markSaved() { m_changes.clear(); }
    // Whether there are changes not yet saved.
    bool hasChanges() const { return !m_changes.isEmpty(); }

    const QList<Section>& sections() const { return m_sections; }
    TextEncoding encoding() const { return m_encoding; }

private:
    struct Change {
        QString section;
        QString key;
        QString value;
        bool onlyIfMissing = false;
    };

    // Sets the value in the document only, not as a change.
    void assign(const QString& section, const QString& key, const QString& value);
    static QString KnownKey(const QString& section, const QString& key);

    Section* findSection(const QString& name);
    const Section* findSection(const QString& name) const;

    QList<Section> m_sections;
    TextEncoding m_encoding = TextEncoding::Ansi;
    QList<Change> m_changes;          // this run's changes not yet saved, oldest first
    QHash<QString, QString> m_known;  // each key's value as this run read it first or wrote it last
};
