#include "viewer/jpegmessages.h"

#include <array>
#include <cstddef>
#include <cstdio>   // jpeglib.h needs FILE
#include <jpeglib.h>
#include <jerror.h>

namespace {

struct Message {
    int code;
    const char* text;  // UTF-8
};

// Every error the library can end a read with, and every warning it can give while reading.
// The specifiers (%d, %u, %x, %s, %c) are the ones of libjpeg's own text, in the same order, or
// none at all; libjpeg decides by them how it fills the text in.
constexpr Message kMessages[] = {
    {JMSG_NOMESSAGE, "ukjent feilkode %d fra JPEG-dekoderen"},
    {JERR_ARITH_NOTIMPL, "aritmetisk koding støttes ikke"},
    {JERR_BAD_ALIGN_TYPE, "JPEG-dekoderen er feil bygget (justeringstype)"},
    {JERR_BAD_ALLOC_CHUNK, "JPEG-dekoderen er feil bygget (største minneblokk)"},
    {JERR_BAD_BUFFER_MODE, "ugyldig bufferstyring i JPEG-dekoderen"},
    {JERR_BAD_COMPONENT_ID, "ugyldig komponentnummer %d i skanningshodet (SOS)"},
    {JERR_BAD_CROP_SPEC, "ugyldig utsnitt av bildet"},
    {JERR_BAD_DCT_COEF, "DCT-koeffisient utenfor gyldig område"},
    {JERR_BAD_DCTSIZE, "blokkstørrelsen %d støttes ikke ved invers DCT"},
    {JERR_BAD_DROP_SAMPLING,
     "komponent %d: samplingsforholdet %d:%d passer ikke til %d:%d, %c"},
    {JERR_BAD_HUFF_TABLE, "ugyldig Huffman-tabell"},
    {JERR_BAD_IN_COLORSPACE, "ugyldig fargerom for inndata"},
    {JERR_BAD_J_COLORSPACE, "ugyldig fargerom i JPEG-dataene"},
    {JERR_BAD_LENGTH, "ugyldig lengde på en markør"},
    {JERR_BAD_LIB_VERSION, "feil utgave av JPEG-biblioteket: biblioteket er %d, programmet venter %d"},
    {JERR_BAD_MCU_SIZE, "for store samplingsfaktorer for flettet skanning"},
    {JERR_BAD_POOL_ID, "ugyldig minneområde %d"},
    {JERR_BAD_PRECISION, "JPEG-data med presisjon %d støttes ikke"},
    {JERR_BAD_PROGRESSION, "ugyldige progressive verdier Ss=%d Se=%d Ah=%d Al=%d"},
    {JERR_BAD_PROG_SCRIPT, "ugyldige progressive verdier i skanneplanens post %d"},
    {JERR_BAD_SAMPLING, "ugyldige samplingsfaktorer"},
    {JERR_BAD_SCAN_SCRIPT, "ugyldig skanneplan ved post %d"},
    {JERR_BAD_STATE, "JPEG-biblioteket ble kalt i feil tilstand (%d)"},
    {JERR_BAD_STRUCT_SIZE,
     "JPEG-bibliotekets strukturer passer ikke: biblioteket regner %u byte, programmet %u byte"},
    {JERR_BAD_VIRTUAL_ACCESS, "ugyldig tilgang til virtuell tabell"},
    {JERR_BUFFER_SIZE, "bufferen til JPEG-biblioteket er for liten"},
    {JERR_CANT_SUSPEND, "dekodingen kan ikke stanses midlertidig her"},
    {JERR_CCIR601_NOTIMPL, "CCIR601-sampling støttes ikke"},
    {JERR_COMPONENT_COUNT, "for mange fargekomponenter: %d, høyst %d"},
    {JERR_CONVERSION_NOTIMPL, "fargeomregningen støttes ikke"},
    {JERR_DAC_INDEX, "ugyldig nummer %d på aritmetisk tabell (DAC)"},
    {JERR_DAC_VALUE, "ugyldig verdi 0x%x i aritmetisk tabell (DAC)"},
    {JERR_DHT_INDEX, "ugyldig nummer %d på Huffman-tabell (DHT)"},
    {JERR_DQT_INDEX, "ugyldig nummer %d på kvantiseringstabell (DQT)"},
    {JERR_EMPTY_IMAGE, "tomt JPEG-bilde (DNL støttes ikke)"},
    {JERR_EMS_READ, "lesing fra EMS-minnet mislyktes"},
    {JERR_EMS_WRITE, "skriving til EMS-minnet mislyktes"},
    {JERR_EOI_EXPECTED, "mer enn én skanning var ikke ventet"},
    {JERR_FILE_READ, "filen kunne ikke leses"},
    {JERR_FILE_WRITE, "utfilen kunne ikke skrives (full disk?)"},
    {JERR_FRACT_SAMPLE_NOTIMPL, "brøkdelt sampling støttes ikke"},
    {JERR_HUFF_CLEN_OVERFLOW, "Huffman-tabellens kodelengder flyter over"},
    {JERR_HUFF_MISSING_CODE, "en kode mangler i Huffman-tabellen"},
    {JERR_IMAGE_TOO_BIG, "bildet er for stort (største side er %u punkter)"},
    {JERR_INPUT_EMPTY, "filen er tom"},
    {JERR_INPUT_EOF, "filen slutter før bildet begynner"},
    {JERR_MISMATCHED_QUANT_TABLE, "kan ikke omkode: kvantiseringstabell %d er brukt flere ganger"},
    {JERR_MISSING_DATA, "skanneplanen overfører ikke alle dataene"},
    {JERR_MODE_CHANGE, "ugyldig skifte av fargereduksjon"},
    {JERR_NOTIMPL, "de valgte egenskapene passer ikke sammen"},
    {JERR_NOT_COMPILED, "den valgte egenskapen er ikke bygget inn i JPEG-biblioteket"},
    {JERR_NO_ARITH_TABLE, "aritmetisk tabell 0x%02x er ikke definert"},
    {JERR_NO_BACKING_STORE, "mellomlagring på disk støttes ikke"},
    {JERR_NO_HUFF_TABLE, "Huffman-tabell 0x%02x er ikke definert"},
    {JERR_NO_IMAGE, "filen inneholder ikke noe bilde"},
    {JERR_NO_QUANT_TABLE, "kvantiseringstabell 0x%02x er ikke definert"},
    {JERR_NO_SOI, "filen er ikke en JPEG-fil"},
    {JERR_OUT_OF_MEMORY, "ikke nok minne (tilfelle %d)"},
    {JERR_QUANT_COMPONENTS, "kan ikke redusere farger i mer enn %d fargekomponenter"},
    {JERR_QUANT_FEW_COLORS, "kan ikke redusere til færre enn %d farger"},
    {JERR_QUANT_MANY_COLORS, "kan ikke redusere til flere enn %d farger"},
    {JERR_SOF_DUPLICATE, "skadet JPEG-oppbygning: to bildehoder (SOF)"},
    {JERR_SOF_NO_SOS, "skadet JPEG-oppbygning: skanningshodet (SOS) mangler"},
    {JERR_SOF_UNSUPPORTED, "JPEG-kodingen støttes ikke: bildehode (SOF) av type 0x%02x"},
    {JERR_SOI_DUPLICATE, "skadet JPEG-oppbygning: to startmarkører (SOI)"},
    {JERR_SOS_NO_SOF, "skadet JPEG-oppbygning: skanningshode (SOS) før bildehodet (SOF)"},
    {JERR_TFILE_CREATE, "den midlertidige filen %s kunne ikke opprettes"},
    {JERR_TFILE_READ, "lesing fra midlertidig fil mislyktes"},
    {JERR_TFILE_SEEK, "posisjonering i midlertidig fil mislyktes"},
    {JERR_TFILE_WRITE, "skriving til midlertidig fil mislyktes (full disk?)"},
    {JERR_TOO_LITTLE_DATA, "programmet leverte for få bildelinjer"},
    {JERR_UNKNOWN_MARKER, "markør av type 0x%02x støttes ikke"},
    {JERR_VIRTUAL_BUG, "feil i styringen av virtuelle tabeller"},
    {JERR_WIDTH_OVERFLOW, "bildet er for bredt"},
    {JERR_XMS_READ, "lesing fra XMS-minnet mislyktes"},
    {JERR_XMS_WRITE, "skriving til XMS-minnet mislyktes"},
    {JWRN_ADOBE_XFORM, "ukjent fargeomforming %d i Adobe-markøren"},
    {JWRN_ARITH_BAD_CODE, "skadet JPEG-innhold: feil aritmetisk kode"},
    {JWRN_BOGUS_ICC, "skadet JPEG-innhold: feil i ICC-markøren"},
    {JWRN_BOGUS_PROGRESSION, "usammenhengende progressiv rekkefølge for komponent %d, koeffisient %d"},
    {JWRN_EXTRANEOUS_DATA, "skadet JPEG-innhold: %u overflødige byte før markør 0x%02x"},
    {JWRN_HIT_MARKER, "skadet JPEG-innhold: et datasegment slutter for tidlig"},
    {JWRN_HUFF_BAD_CODE, "skadet JPEG-innhold: feil Huffman-kode"},
    {JWRN_JFIF_MAJOR, "ukjent JFIF-utgave %d.%02d"},
    {JWRN_JPEG_EOF, "JPEG-filen slutter for tidlig"},
    {JWRN_MUST_RESYNC, "skadet JPEG-innhold: fant markør 0x%02x i stedet for RST%d"},
    {JWRN_NOT_SEQUENTIAL, "ugyldige verdier i skanningshodet (SOS) for sekvensiell JPEG"},
    {JWRN_TOO_MUCH_DATA, "programmet leverte for mange bildelinjer"},
};

// Trace messages (and the library's copyright and version lines) are never shown: the decoder
// drops them before they are put into words. Their slots get this text, which has no
// specifiers, so it is safe whatever values come with the code.
constexpr const char* kTraceText = "intern melding fra JPEG-dekoderen";

struct Table {
    std::array<const char*, JMSG_LASTMSGCODE> texts;
    Table()
    {
        texts.fill(kTraceText);
        for (const Message& m : kMessages)
            texts[size_t(m.code)] = m.text;
    }
};

}  // namespace

const char* const* JpegMessageTable()
{
    static const Table table;
    return table.texts.data();
}

int JpegMessageCount() { return JMSG_LASTMSGCODE; }
