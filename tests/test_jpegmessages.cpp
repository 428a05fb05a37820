// The JPEG decoder's reasons are Norwegian: the message table walked code by code against
// libjpeg's own English list, and damaged files read through the decoder.
#include "testenv.h"
#include "viewer/jpegdecoder.h"
#include "viewer/jpegmessages.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

namespace {

// libjpeg's message list, expanded once more by its own header: every code with its name.
struct LibMessage {
    int code;
    const char* name;
};
#define JMESSAGE(code, string) {code, #code},
const LibMessage kLibMessages[] = {
#include <jerror.h>
};

const char* const* EnglishTable()
{
    static jpeg_error_mgr mgr;
    static const char* const* table = jpeg_std_error(&mgr)->jpeg_message_table;
    return table;
}

// The printf conversions of a text, in order ("%02x" -> "x").
QStringList Specifiers(const QString& text)
{
    static const QRegularExpression spec(QStringLiteral("%[-+ #0-9.]*([a-zA-Z%])"));
    QStringList out;
    for (const auto& m : spec.globalMatch(text))
        out.append(m.captured(1));
    return out;
}

QStringList Words(const QString& text)
{
    static const QRegularExpression word(QStringLiteral("[A-Za-zÆØÅæøå']+"));
    QStringList out;
    for (const auto& m : word.globalMatch(text))
        out.append(m.captured(0).toLower());
    return out;
}

// The words of libjpeg's English texts that would betray English in ours. Left out: names of
// markers, tables and memory kinds, which Norwegian texts use as they are, printf letters, and
// the few words that are Norwegian too, spelled the same.
QSet<QString> EnglishWords()
{
    static const QSet<QString> shared = {
        "for", "to", "store", "data", "disk", "type", "progressive", "sampling",
        "jpeg", "huffman", "dct", "idct", "sos", "sof", "soi", "eoi", "dac", "dht", "dqt", "dri",
        "dnl", "ems", "xms", "rst", "icc", "jfif", "adobe", "ss", "se", "ah", "al", "ccir",
        "x", "d", "u", "c", "s", "dc", "ac", "q", "hx", "dv", "ycbcr", "rgb", "app", "b", "turbo",
        "libjpeg", "mar", "cb", "cr",
    };
    QSet<QString> words;
    for (const LibMessage& m : kLibMessages)
        for (const QString& w : Words(QString::fromUtf8(EnglishTable()[m.code])))
            if (!shared.contains(w))
                words.insert(w);
    return words;
}

bool IsShownToTheUser(const QString& name)
{
    return name.startsWith("JERR_") || name.startsWith("JWRN_") || name == "JMSG_NOMESSAGE";
}

QString Read(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return DecodeJpeg(buffer).error;
}

}  // namespace

// Every code libjpeg has, the reasons it ends a read with and its warnings above all: a
// Norwegian text that libjpeg can fill in the same way as its English one.
TEST(JpegMessages, EveryCodeHasANorwegianText)
{
    ASSERT_EQ(JpegMessageCount(), JMSG_LASTMSGCODE);
    const QSet<QString> english = EnglishWords();
    ASSERT_TRUE(english.contains("invalid") && english.contains("marker") && english.contains("the"));
    const QString trace = QString::fromUtf8(JpegMessageTable()[JTRC_EOI]);
    int shown = 0;
    for (const LibMessage& m : kLibMessages) {
        SCOPED_TRACE(m.name);
        const char* raw = JpegMessageTable()[m.code];
        ASSERT_NE(raw, nullptr);
        const QString ours = QString::fromUtf8(raw);
        const QString theirs = QString::fromUtf8(EnglishTable()[m.code]);
        EXPECT_FALSE(ours.isEmpty());
        EXPECT_EQ(ours.toUtf8(), QByteArray(raw)) << "not UTF-8";
        // Room to spare in libjpeg's 200-byte buffer once the numbers are in.
        EXPECT_LT(qstrlen(raw), 150u);
        for (const QString& w : Words(ours))
            EXPECT_FALSE(english.contains(w)) << "English word '" << w.toStdString() << "' in: " << raw;
        const QStringList spec = Specifiers(ours);
        EXPECT_TRUE(spec.isEmpty() || spec == Specifiers(theirs))
            << raw << " against " << theirs.toStdString();
        if (IsShownToTheUser(m.name)) {
            ++shown;
            EXPECT_NE(ours, trace) << "no text of its own";
        }
    }
    EXPECT_GE(shown, 80);  // the walk did reach the errors and warnings
}

// Damaged files through the decoder: the reason comes out in Norwegian, numbers filled in.
TEST(JpegMessages, DamagedFilesAreExplainedInNorwegian)
{
    const QByteArray soi("\xFF\xD8", 2);
    const QByteArray eoi("\xFF\xD9", 2);
    // A frame header for a 16 x 16 grey picture; kind and precision given.
    const auto sof = [](unsigned char kind, unsigned char precision) {
        return QByteArray("\xFF", 1) + char(kind) +
               QByteArray("\x00\x0B", 2) + char(precision) + QByteArray("\x00\x10\x00\x10\x01\x01\x11\x00", 8);
    };
    const QByteArray sos("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10);
    struct Case {
        const char* what;
        QByteArray bytes;
        QString reason;
    };
    const Case cases[] = {
        {"frame without scan", soi + sof(0xC0, 8) + eoi,
         "skadet JPEG-oppbygning: skanningshodet (SOS) mangler"},
        {"scan before frame", soi + sos + eoi,
         "skadet JPEG-oppbygning: skanningshode (SOS) før bildehodet (SOF)"},
        {"two start markers", soi + soi, "skadet JPEG-oppbygning: to startmarkører (SOI)"},
        {"two frame headers", soi + sof(0xC0, 8) + sof(0xC0, 8), "skadet JPEG-oppbygning: to bildehoder (SOF)"},
        {"lossless coding", soi + sof(0xC3, 8) + sos, "JPEG-kodingen støttes ikke: bildehode (SOF) av type 0xc3"},
        {"12-bit samples", soi + sof(0xC1, 12) + sos, "JPEG-data med presisjon 12 støttes ikke"},
        {"quantisation table 5", soi + QByteArray("\xFF\xDB\x00\x43\x05", 5) + QByteArray(64, '\x01'),
         "ugyldig nummer 5 på kvantiseringstabell (DQT)"},
        {"reserved marker", soi + QByteArray("\xFF\x02", 2), "markør av type 0x02 støttes ikke"},
        {"only the start marker", soi, "filen inneholder ikke noe bilde"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Read(c.bytes), c.reason);
    }
}
