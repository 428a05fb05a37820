#pragma once
// An INI document as the maker's programs read and write it.
//
// Reading: each line is trimmed; "[name]" opens a section, the name without the blanks and tabs
// at its two ends ("[ STANDARD ]" opens STANDARD and is written back as "[STANDARD]"; blanks
// inside a name are part of it); "key=value" is an entry (key and value
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
    // Sets the value, adding key and section at their ends when new.
    void setValue(const QString& section, const QString& key, const QString& value);

    const QList<Section>& sections() const { return m_sections; }
    TextEncoding encoding() const { return m_encoding; }

private:
    Section* findSection(const QString& name);
    const Section* findSection(const QString& name) const;

    QList<Section> m_sections;
    TextEncoding m_encoding = TextEncoding::Ansi;
};
