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

// Blanks and control characters off both ends: code units up to U+0020 and nothing else.
QString TrimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin).toString();
}

// The lines of a text: CR, LF and CR LF each end a line.
QList<QStringView> Lines(const QString& text)
{
    QList<QStringView> lines;
    const QStringView all(text);
    qsizetype start = 0;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const char16_t c = all.at(i).unicode();
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(all.mid(start, i - start));
        if (c == u'\r' && i + 1 < all.size() && all.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    lines.append(all.mid(start));
    return lines;
}

}  // namespace

IniDocument IniDocument::fromBytes(const QByteArray& bytes)
{
    IniDocument doc;
    const DecodedText decoded = DecodeText(bytes);
    doc.m_encoding = decoded.encoding;

    Section* current = nullptr;
    for (const QStringView raw : Lines(decoded.text)) {
        const QString line = TrimBlanks(raw);
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString name = TrimBlanks(QStringView(line).mid(1, line.size() - 2));
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
            current->entries.append(Entry{TrimBlanks(QStringView(line).left(eq)),
                                          TrimBlanks(QStringView(line).mid(eq + 1)), false});
    }
    // What the file holds is what this run has read (the first entry of a doubled key, as value()
    // finds it): a write of the same value is no change.
    for (const Section& section : doc.m_sections)
        for (const Entry& entry : section.entries)
            if (!entry.plain && !doc.m_known.contains(KnownKey(section.name, entry.key)))
                doc.m_known.insert(KnownKey(section.name, entry.key), entry.value);
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

QString IniDocument::KnownKey(const QString& section, const QString& key)
{
    return section.toCaseFolded() + QChar(0) + key.toCaseFolded();
}

void IniDocument::assign(const QString& section, const QString& key, const QString& value)
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

void IniDocument::setValue(const QString& section, const QString& key, const QString& value)
{
    assign(section, key, value);
    const QString known = KnownKey(section, key);
    const auto it = m_known.constFind(known);
    if (it != m_known.constEnd() && *it == value)
        return;
    m_known.insert(known, value);
    m_changes.append(Change{section, key, value, false});
}

void IniDocument::setInitialValue(const QString& section, const QString& key, const QString& value)
{
    assign(section, key, value);
    m_known.insert(KnownKey(section, key), value);
    m_changes.append(Change{section, key, value, true});
}

void IniDocument::rebase(const IniDocument& onDisk)
{
    IniDocument merged;
    merged.m_sections = onDisk.m_sections;
    for (const Change& change : std::as_const(m_changes)) {
        if (change.onlyIfMissing && merged.contains(change.section, change.key))
            continue;
        merged.assign(change.section, change.key, change.value);
    }
    m_sections = std::move(merged.m_sections);
    m_encoding = onDisk.m_encoding;
}
