#include "viewer/jpegdecoder.h"
#include "viewer/jpegmessages.h"

#include <QIODevice>
#include <QSysInfo>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

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

struct ErrorManager {
    jpeg_error_mgr pub;  // first member: libjpeg sees only this part
    std::jmp_buf jump;
    bool truncated = false;
};

struct DeviceSource {
    jpeg_source_mgr pub;  // first member
    QIODevice* device = nullptr;
    JOCTET* buffer = nullptr;
    bool startOfFile = true;
    bool atEnd = false;  // the data ran out; the buffer holds the fake end marker
};

enum class Refusal { None, TooLarge, OutOfMemory, TooManyScans };

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
    if (err->pub.msg_code == JWRN_JPEG_EOF)
        err->truncated = true;
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
    jpeg_read_header(&c.cinfo, TRUE);
    return true;
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

// After a successful header read: sets up the output, allocates and decodes every row. The
// picture is in c.image; false when libjpeg gave up or the picture could not be allocated
// (c.refused says why).
bool DecodeGuarded(Context& c, const JpegDecodeOptions& options)
{
    if (setjmp(c.err.jump))
        return false;
    jpeg_decompress_struct& ci = c.cinfo;
    const bool cmyk = ci.jpeg_color_space == JCS_CMYK || ci.jpeg_color_space == JCS_YCCK;
    ci.out_color_space = cmyk ? JCS_CMYK : NativeRgb32;
    ci.scale_num = unsigned(qBound(1, options.scaleNum, JpegScaleDenominator));
    ci.scale_denom = JpegScaleDenominator;
    ci.dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(&ci);
    if (qint64(ci.output_width) * ci.output_height * 4 > options.maxImageBytes) {
        c.refused = Refusal::TooLarge;
        return false;
    }
    c.image = QImage(int(ci.output_width), int(ci.output_height), QImage::Format_RGB32);
    if (c.image.isNull()) {
        c.refused = Refusal::OutOfMemory;
        return false;
    }
    if (cmyk)
        c.cmykRow.resize(size_t(ci.output_width) * 4);

    jpeg_start_decompress(&ci);
    const bool inverted = ci.saw_Adobe_marker;
    while (ci.output_scanline < ci.output_height) {
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
    c.finishedRows = true;
    // Reads on to the end marker; a fault found there no longer costs the picture (see caller).
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

    const bool decoded = DecodeGuarded(c, options);
    result.warnings = c.err.pub.num_warnings;
    result.truncated = c.err.truncated;
    if (decoded || c.finishedRows) {
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
