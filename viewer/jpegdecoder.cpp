#include "viewer/jpegdecoder.h"
#include "viewer/jpegmessages.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QSysInfo>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

// libjpeg reports a fatal error by calling error_exit, which by default prints and ends the
// process. Ours longjmps back to the setjmp in the guarded function below. The rule that makes
// this sound in C++: no object with a destructor lives in a frame that the jump leaves, and
// everything the jump-back code reads lives outside the function that called setjmp (in
// Context), so none of it is left indeterminate by the jump.

namespace {

constexpr size_t InputBlockSize = 64 * 1024;
// A progressive JPEG may repeat scans without end, each one another pass over the whole
// picture; real files have about ten. Past this many the file is refused.
constexpr int MaxScans = 500;

const QString kNoPictureData = QStringLiteral("filen inneholder ingen bildedata");

struct ErrorManager {
    jpeg_error_mgr pub;  // first member: libjpeg sees only this part
    std::jmp_buf jump;
    bool truncated = false;
    // When the data ended: whether a row of the picture had come from the file before that.
    bool rowsBeforeEnd = false;
};

struct DeviceSource {
    jpeg_source_mgr pub;  // first member
    QIODevice* device = nullptr;
    JOCTET* buffer = nullptr;
    bool startOfFile = true;
    bool atEnd = false;  // the data ran out; the buffer holds the fake end marker
};

enum class Refusal { None, TooLarge, OutOfMemory, TooManyScans, Cancelled };

// The whole state of one header read or decode.
struct Context {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    DeviceSource src;
    jpeg_progress_mgr progress;
    std::vector<JOCTET> input = std::vector<JOCTET>(InputBlockSize);
    std::vector<JSAMPLE> cmykRow;  // one output row of C, M, Y, K samples
    QImage image;
    bool finishedRows = false;
    Refusal refused = Refusal::None;

    explicit Context(QIODevice& device);
    ~Context() { jpeg_destroy_decompress(&cinfo); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    QString lastMessage();
};

void ErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings (level -1) are counted, trace messages (0 and up) dropped; nothing is printed.
void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->pub.num_warnings++;
    if (err->pub.msg_code == JWRN_JPEG_EOF && !err->truncated) {
        err->truncated = true;
        // input_iMCU_row counts the rows of blocks (8 or 16 picture rows) the current scan has
        // completed; a later scan means the first one, which covers the picture, is complete.
        if (cinfo->is_decompressor) {
            const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
            err->rowsBeforeEnd = d->input_scan_number > 1 || d->input_iMCU_row > 0;
        }
    }
}

void OutputMessage(j_common_ptr) {}

// Called by libjpeg between steps of its work, among them at every scan it reads.
void ProgressMonitor(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MaxScans) {
        auto* c = static_cast<Context*>(cinfo->client_data);
        c->refused = Refusal::TooManyScans;
        std::longjmp(c->err.jump, 1);
    }
}

void InitSource(j_decompress_ptr cinfo)
{
    reinterpret_cast<DeviceSource*>(cinfo->src)->startOfFile = true;
}

// The same end-of-data rule as libjpeg's own file source: nothing at all is an error, an early
// end is a warning and a fake EOI marker, so the decoder finishes with what it has.
boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<DeviceSource*>(cinfo->src);
    qint64 n = src->device->read(reinterpret_cast<char*>(src->buffer), InputBlockSize);
    if (n < 0)
        ERREXIT(cinfo, JERR_FILE_READ);
    if (n == 0) {
        if (src->startOfFile)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->atEnd = true;
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = size_t(n);
    src->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    auto* src = reinterpret_cast<DeviceSource*>(cinfo->src);
    while (count > long(src->pub.bytes_in_buffer)) {
        count -= long(src->pub.bytes_in_buffer);
        FillInputBuffer(cinfo);
        if (src->atEnd)
            return;  // nothing left to skip: the decoder goes on to the fake end marker
    }
    src->pub.next_input_byte += size_t(count);
    src->pub.bytes_in_buffer -= size_t(count);
}

void TermSource(j_decompress_ptr) {}

Context::Context(QIODevice& device)
{
    std::memset(&cinfo, 0, sizeof cinfo);
    std::memset(&err.pub, 0, sizeof err.pub);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    // The reasons in Norwegian: libjpeg words its messages from this table.
    err.pub.jpeg_message_table = JpegMessageTable();
    err.pub.last_jpeg_message = JpegMessageCount() - 1;

    std::memset(&src.pub, 0, sizeof src.pub);
    src.pub.init_source = InitSource;
    src.pub.fill_input_buffer = FillInputBuffer;
    src.pub.skip_input_data = SkipInputData;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = TermSource;
    src.device = &device;
    src.buffer = input.data();

    std::memset(&progress, 0, sizeof progress);
    progress.progress_monitor = ProgressMonitor;
}

QString Context::lastMessage()
{
    char text[JMSG_LENGTH_MAX] = {};
    err.pub.format_message(reinterpret_cast<j_common_ptr>(&cinfo), text);
    return QString::fromUtf8(text);
}

// Up to the frame header. Returns false when libjpeg gave up (the reason is in err).
bool ReadHeaderGuarded(Context& c)
{
    if (setjmp(c.err.jump))
        return false;
    jpeg_create_decompress(&c.cinfo);
    c.cinfo.client_data = &c;
    c.cinfo.src = &c.src.pub;
    c.cinfo.progress = &c.progress;
    // The photo's EXIF block (APP1) and ICC profile (APP2) are kept for after the header.
    jpeg_save_markers(&c.cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&c.cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&c.cinfo, TRUE);
    return true;
}

// The EXIF orientation among the saved markers, read by libexif; 1 when there is none or it
// holds no value from 1 to 8.
int ExifOrientation(const jpeg_decompress_struct& ci)
{
    static const unsigned char exifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    for (jpeg_saved_marker_ptr m = ci.marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length < sizeof exifHeader ||
            memcmp(m->data, exifHeader, sizeof exifHeader) != 0)
            continue;
        ExifData* data = exif_data_new_from_data(m->data, m->data_length);
        if (!data)
            return 1;
        int orientation = 1;
        if (ExifEntry* entry = exif_data_get_entry(data, EXIF_TAG_ORIENTATION)) {
            if (entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->data && entry->size >= 2) {
                const int value = exif_get_short(entry->data, exif_data_get_byte_order(data));
                if (value >= 1 && value <= 8)
                    orientation = value;
            }
        }
        exif_data_unref(data);
        return orientation;
    }
    return 1;
}

// The embedded ICC profile, put together by libjpeg from its APP2 pieces; empty when there is
// none or it is damaged.
QByteArray IccProfile(Context& c)
{
    if (setjmp(c.err.jump))
        return {};
    JOCTET* data = nullptr;
    unsigned int length = 0;
    if (!jpeg_read_icc_profile(&c.cinfo, &data, &length) || !data)
        return {};
    QByteArray profile(reinterpret_cast<const char*>(data), qsizetype(length));
    free(data);
    return profile;
}

// Output byte order of Format_RGB32 (0xffRRGGBB in a native 32-bit word).
constexpr J_COLOR_SPACE NativeRgb32 =
    QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;

void CmykRowToRgb32(const JSAMPLE* cmyk, QRgb* out, JDIMENSION width, bool inverted)
{
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c; m = 255 - m; y = 255 - y; k = 255 - k;
        }
        // Stored inverted, a sample is the share of white left: R = (1 - C)(1 - K).
        out[x] = qRgb(int((c * k + 127) / 255), int((m * k + 127) / 255), int((y * k + 127) / 255));
    }
}

// The positions (row or column of a block, 0 to 7) of the coefficients that libjpeg's reduced
// inverse DCTs read: the 1 × 1 one only the DC value, the 2 × 2 and 4 × 4 ones (derived from
// the 8-point transform) the odd rows and columns and the low even ones.
bool CoefficientUsed(int scaledSize, int position)
{
    switch (scaledSize) {
    case 1: return position == 0;
    case 2: return position == 0 || position % 2 == 1;
    case 4: return position != 4;
    default: return true;
    }
}

// Zigzag order (the order of a scan's spectral selection) to row-major position in the block.
constexpr int NaturalOrder[DCTSIZE2] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// A progressive file at a reduced scale: true once every coefficient the output uses has its
// final precision, so the scans still to come cannot change the picture.
bool UsedCoefficientsComplete(const jpeg_decompress_struct& ci)
{
    if (!ci.progressive_mode || ci.coef_bits == nullptr)
        return false;
    for (int c = 0; c < ci.num_components; ++c) {
        const int scaled = ci.comp_info[c].DCT_scaled_size;
        if (scaled >= DCTSIZE)
            return false;
        for (int k = 0; k < DCTSIZE2; ++k) {
            const int natural = NaturalOrder[k];
            if (CoefficientUsed(scaled, natural / DCTSIZE) && CoefficientUsed(scaled, natural % DCTSIZE) &&
                ci.coef_bits[c][k] != 0)
                return false;
        }
    }
    return true;
}

// Every colour has at least a coarse DC value: the first picture worth showing.
bool EveryComponentStarted(const jpeg_decompress_struct& ci)
{
    if (!ci.progressive_mode || ci.coef_bits == nullptr)
        return false;
    for (int c = 0; c < ci.num_components; ++c)
        if (ci.coef_bits[c][0] < 0)
            return false;
    return true;
}

// One output pass over the picture's rows. False when the caller cancelled in between.
bool ReadRows(Context& c, const JpegDecodeOptions& options, bool cmyk)
{
    jpeg_decompress_struct& ci = c.cinfo;
    const bool inverted = ci.saw_Adobe_marker;
    while (ci.output_scanline < ci.output_height) {
        if (options.cancelled && options.cancelled()) {
            c.refused = Refusal::Cancelled;
            return false;
        }
        const JDIMENSION y = ci.output_scanline;
        if (cmyk) {
            JSAMPROW row = c.cmykRow.data();
            if (jpeg_read_scanlines(&ci, &row, 1) == 1)
                CmykRowToRgb32(row, reinterpret_cast<QRgb*>(c.image.scanLine(int(y))),
                               ci.output_width, inverted);
        } else {
            // Straight into the picture's rows, a few at a time as libjpeg prefers.
            JSAMPROW rows[8];
            const JDIMENSION wanted = qMin<JDIMENSION>(8, ci.output_height - y);
            for (JDIMENSION i = 0; i < wanted; ++i)
                rows[i] = c.image.scanLine(int(y + i));
            jpeg_read_scanlines(&ci, rows, wanted);
        }
    }
    return true;
}

// One output pass of buffered-image mode from what the scans read so far hold.
bool OutputPass(Context& c, const JpegDecodeOptions& options, bool cmyk)
{
    jpeg_start_output(&c.cinfo, c.cinfo.input_scan_number);
    if (!ReadRows(c, options, cmyk))
        return false;
    jpeg_finish_output(&c.cinfo);
    return true;
}

// After a successful header read: sets up the output, allocates and decodes every row. The
// picture is in c.image; false when libjpeg gave up, the picture could not be allocated or the
// caller cancelled (c.refused says why).
bool DecodeGuarded(Context& c, const JpegDecodeOptions& options)
{
    if (setjmp(c.err.jump))
        return false;
    jpeg_decompress_struct& ci = c.cinfo;
    const bool cmyk = ci.jpeg_color_space == JCS_CMYK || ci.jpeg_color_space == JCS_YCCK;
    ci.out_color_space = cmyk ? JCS_CMYK : NativeRgb32;
    ci.scale_num = unsigned(qBound(1, options.scaleNum, JpegScaleDenominator));
    ci.scale_denom = JpegScaleDenominator;
    ci.dct_method = options.fast ? JDCT_IFAST : JDCT_ISLOW;
    ci.do_fancy_upsampling = options.fast ? FALSE : TRUE;
    const bool buffered = jpeg_has_multiple_scans(&ci);
    ci.buffered_image = buffered ? TRUE : FALSE;
    jpeg_calc_output_dimensions(&ci);
    if (qint64(ci.output_width) * ci.output_height * 4 > options.maxImageBytes) {
        c.refused = Refusal::TooLarge;
        return false;
    }
    // Beyond this libjpeg would need a backing store, which this build has not: it stops with
    // JERR_NO_BACKING_STORE before allocating the coefficients.
    if (options.maxWorkingBytes > 0)
        ci.mem->max_memory_to_use = long(options.maxWorkingBytes);
    c.image = QImage(int(ci.output_width), int(ci.output_height), QImage::Format_RGB32);
    if (c.image.isNull()) {
        c.refused = Refusal::OutOfMemory;
        return false;
    }
    if (cmyk)
        c.cmykRow.resize(size_t(ci.output_width) * 4);

    jpeg_start_decompress(&ci);
    if (!buffered) {
        if (!ReadRows(c, options, cmyk))
            return false;
        c.finishedRows = true;
        // Reads on to the end marker; a fault found there no longer costs the picture (see caller).
        jpeg_finish_decompress(&ci);
        return true;
    }

    // Buffered-image mode: read scan after scan into libjpeg's coefficient buffer, draw the
    // picture from it now and then, and once more at the end.
    QElapsedTimer sinceShown;
    bool shown = false;
    bool complete = false;
    for (;;) {
        if (options.cancelled && options.cancelled()) {
            c.refused = Refusal::Cancelled;
            return false;
        }
        const int status = jpeg_consume_input(&ci);
        if (status == JPEG_REACHED_EOI || status == JPEG_SUSPENDED)
            break;
        if (status != JPEG_SCAN_COMPLETED)
            continue;
        if (ci.input_scan_number > MaxScans) {
            c.refused = Refusal::TooManyScans;
            return false;
        }
        if (UsedCoefficientsComplete(ci)) {
            complete = true;
            break;
        }
        if (options.partial && EveryComponentStarted(ci) &&
            (!shown || sinceShown.elapsed() >= options.partialIntervalMs)) {
            if (!OutputPass(c, options, cmyk))
                return false;
            options.partial(c.image);
            shown = true;
            sinceShown.start();
        }
    }
    if (!OutputPass(c, options, cmyk))
        return false;
    c.finishedRows = true;
    if (complete)
        jpeg_abort_decompress(&ci);  // the rest of the file cannot change this picture
    else
        jpeg_finish_decompress(&ci);
    return true;
}

}  // namespace

JpegHeaderInfo ReadJpegHeader(QIODevice& device)
{
    JpegHeaderInfo info;
    Context c(device);
    if (!ReadHeaderGuarded(c)) {
        info.error = c.lastMessage();
        return info;
    }
    info.size = QSize(int(c.cinfo.image_width), int(c.cinfo.image_height));
    info.components = c.cinfo.num_components;
    info.orientation = ExifOrientation(c.cinfo);
    info.progressive = c.cinfo.progressive_mode;
    if (jpeg_has_multiple_scans(&c.cinfo)) {
        // libjpeg's whole-picture coefficient buffer: 64 two-byte values a block, each
        // component's blocks rounded up to its sampling factors.
        for (int i = 0; i < c.cinfo.num_components; ++i) {
            const jpeg_component_info& comp = c.cinfo.comp_info[i];
            const qint64 w = (qint64(comp.width_in_blocks) + comp.h_samp_factor - 1) / comp.h_samp_factor * comp.h_samp_factor;
            const qint64 h = (qint64(comp.height_in_blocks) + comp.v_samp_factor - 1) / comp.v_samp_factor * comp.v_samp_factor;
            info.coefficientBytes += w * h * qint64(sizeof(JBLOCK));
        }
    }
    return info;
}

JpegDecodeResult DecodeJpeg(QIODevice& device, const JpegDecodeOptions& options)
{
    JpegDecodeResult result;
    Context c(device);
    if (!ReadHeaderGuarded(c)) {
        result.error = c.lastMessage();
        return result;
    }
    result.naturalSize = QSize(int(c.cinfo.image_width), int(c.cinfo.image_height));
    result.orientation = ExifOrientation(c.cinfo);
    result.iccProfile = IccProfile(c);
    // A header with nothing after it: no picture data, found before a picture of the size the
    // header claims is allocated.
    if (c.src.pub.bytes_in_buffer == 0 && (c.src.atEnd || c.src.device->atEnd())) {
        result.truncated = true;
        result.error = kNoPictureData;
        return result;
    }

    const bool decoded = DecodeGuarded(c, options);
    result.scaleNum = int(c.cinfo.scale_num);
    if (c.refused == Refusal::Cancelled) {
        result.cancelled = true;
        result.error = QStringLiteral("avbrutt");
        return result;
    }
    // libjpeg's working memory would have passed the cap: as much too big as a huge picture.
    if (!decoded && c.err.pub.msg_code == JERR_NO_BACKING_STORE)
        c.refused = Refusal::TooLarge;
    result.warnings = c.err.pub.num_warnings;
    result.truncated = c.err.truncated;
    if ((decoded || c.finishedRows) && c.err.truncated && !c.err.rowsBeforeEnd) {
        // The data ended before a single row came from it: all that would show is the grey
        // that stands in for missing data.
        result.error = kNoPictureData;
    } else if (decoded || c.finishedRows) {
        result.image = std::move(c.image);
    } else if (c.refused == Refusal::TooLarge) {
        result.error = QStringLiteral("bildet er for stort: %1 × %2 punkter")
                           .arg(c.cinfo.output_width)
                           .arg(c.cinfo.output_height);
    } else if (c.refused == Refusal::TooManyScans) {
        result.error = QStringLiteral("over %1 skanninger i filen").arg(MaxScans);
    } else if (c.refused == Refusal::OutOfMemory) {
        result.error = QStringLiteral("ikke nok minne til %1 × %2 punkter")
                           .arg(c.cinfo.output_width)
                           .arg(c.cinfo.output_height);
    } else {
        result.error = c.lastMessage();
    }
    return result;
}

QSize JpegScaledSize(QSize natural, int scaleNum)
{
    const auto side = [scaleNum](int n) { return int((qint64(n) * scaleNum + JpegScaleDenominator - 1) / JpegScaleDenominator); };
    return QSize(side(natural.width()), side(natural.height()));
}

int CoveringJpegScale(QSize natural, QSize drawn)
{
    for (int scale : {1, 2, 4}) {
        const QSize out = JpegScaledSize(natural, scale);
        if (out.width() >= drawn.width() && out.height() >= drawn.height())
            return scale;
    }
    return JpegScaleDenominator;
}

qint64 JpegDecodeBytes(const JpegHeaderInfo& header, int scaleNum)
{
    const QSize out = JpegScaledSize(header.size, scaleNum);
    // The picture at 4 bytes a point, and libjpeg's buffers for a band of rows: a few rows of
    // every component at the output width, and one row of blocks of the input.
    const qint64 picture = qint64(out.width()) * out.height() * 4;
    const qint64 rows = qint64(out.width()) * 4 * 64 + qint64(header.size.width()) * qMax(1, header.components) * 16 * 2;
    return picture + rows + header.coefficientBytes;
}
