#include "framework/inidocument.h"

namespace {

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// A line break inside a value (a folder name may hold one) would end the entry and let the rest
// of the text read back as lines of its own, even as a section header. It is written as a blank.
QString OneLine(const QString& text)
{
    if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

}  // namespace

IniDocument IniDocument::fromBytes(const QByteArray& bytes)
{
    IniDocument doc;
    const DecodedText decoded = DecodeText(bytes);
    doc.m_encoding = decoded.encoding;

    Section* current = nullptr;
    const QStringList lines = decoded.text.split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString name = line.mid(1, line.size() - 2).trimmed();
            current = doc.findSection(name);
            if (!current) {
                doc.m_sections.append(Section{name, {}});
                current = &doc.m_sections.last();
            }
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            current->entries.append(Entry{line, QString(), true});
        else
            current->entries.append(Entry{line.left(eq).trimmed(), line.mid(eq + 1).trimmed(), false});
    }
    return doc;
}

QByteArray IniDocument::toBytes() const
{
    QString text;
    for (const Section& section : m_sections) {
        text += QLatin1Char('[') + OneLine(section.name) + QLatin1String("]\r\n");
        for (const Entry& entry : section.entries) {
            if (entry.plain)
                text += OneLine(entry.key) + QLatin1String("\r\n");
            else
                text += OneLine(entry.key) + QLatin1Char('=') + OneLine(entry.value) + QLatin1String("\r\n");
        }
        text += QLatin1String("\r\n");
    }
    return EncodeText(text, EncodingForWrite(text, m_encoding));
}

IniDocument::Section* IniDocument::findSection(const QString& name)
{
    for (Section& s : m_sections)
        if (SameName(s.name, name))
            return &s;
    return nullptr;
}

const IniDocument::Section* IniDocument::findSection(const QString& name) const
{
    for (const Section& s : m_sections)
        if (SameName(s.name, name))
            return &s;
    return nullptr;
}

bool IniDocument::contains(const QString& section, const QString& key) const
{
    if (const Section* s = findSection(section))
        for (const Entry& e : s->entries)
            if (!e.plain && SameName(e.key, key))
                return true;
    return false;
}

QString IniDocument::value(const QString& section, const QString& key) const
{
    if (const Section* s = findSection(section))
        for (const Entry& e : s->entries)
            if (!e.plain && SameName(e.key, key))
                return e.value;
    return {};
}

void IniDocument::setValue(const QString& section, const QString& key, const QString& value)
{
    Section* s = findSection(section);
    if (!s) {
        m_sections.append(Section{section, {}});
        s = &m_sections.last();
    }
    for (Entry& e : s->entries) {
        if (!e.plain && SameName(e.key, key)) {
            e.value = value;
            return;
        }
    }
    s->entries.append(Entry{key, value, false});
}
