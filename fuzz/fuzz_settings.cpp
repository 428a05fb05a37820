// Fuzz target: the settings file. Any bytes are a tavlund.ini a user or another program may have
// left. Parsed, read through the typed operations the program uses, written and read again:
// the second reading holds exactly what the first one did, and writing it again gives the same
// bytes (a save never changes a file that nothing changed).
#include "fuzz/fuzzrule.h"
#include "framework/inidocument.h"
#include "framework/kv_reg.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

bool SameDocument(const IniDocument& a, const IniDocument& b)
{
    if (a.sections().size() != b.sections().size())
        return false;
    for (qsizetype i = 0; i < a.sections().size(); ++i) {
        const IniDocument::Section& x = a.sections().at(i);
        const IniDocument::Section& y = b.sections().at(i);
        if (x.name != y.name || x.entries.size() != y.entries.size())
            return false;
        for (qsizetype j = 0; j < x.entries.size(); ++j) {
            const IniDocument::Entry& e = x.entries.at(j);
            const IniDocument::Entry& f = y.entries.at(j);
            if (e.key != f.key || e.value != f.value || e.plain != f.plain)
                return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    ResetSettingsState();
    SettingsState& s = settingsState();
    s.document = IniDocument::fromBytes(bytes);

    // Typed reads of every key, as the program reads its settings; an integer that parsed is
    // written back in its own form and reads back as the same number.
    const QList<IniDocument::Section> sections = s.document.sections();
    int budget = 500;
    for (const IniDocument::Section& section : sections) {
        IniSection(section.name);
        for (const IniDocument::Entry& entry : section.entries) {
            if (entry.plain || --budget < 0)
                continue;
            const QString text = IniReadString(entry.key);
            Require(text == s.document.value(section.name, entry.key));
            int value = 0;
            const bool parsed = ParseIniInteger(text, &value);
            Require(IniReadInteger(entry.key) == (parsed ? value : 0));
            Require(IniReadBool(entry.key) == (parsed && value != 0));
            if (parsed) {
                IniWriteInteger(entry.key, value);
                Require(IniReadInteger(entry.key) == value);
            }
        }
    }
    // Typed writes of new keys, as a run adds them.
    IniSection(QStringLiteral("FUZZ"));
    IniWriteBool(QStringLiteral("Flag"), size % 2 == 1);
    IniWriteInteger(QStringLiteral("Number"), -int(size));
    Require(IniReadBool(QStringLiteral("Flag")) == (size % 2 == 1));
    Require(IniReadInteger(QStringLiteral("Number")) == -int(size));

    const QByteArray written = s.document.toBytes();
    const IniDocument again = IniDocument::fromBytes(written);
    Require(SameDocument(s.document, again));
    // A file with a byte-order mark is written in its own encoding.
    if (s.document.encoding() != TextEncoding::Ansi)
        Require(again.encoding() == s.document.encoding());
    Require(again.toBytes() == written);
    ResetSettingsState();
    return 0;
}
