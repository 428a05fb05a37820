#include "viewer/metafile/metafileconvert.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" {
#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/gd.h>
}

namespace {

std::uint16_t ReadU16(const unsigned char* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::int16_t ReadI16(const unsigned char* p) { return std::int16_t(ReadU16(p)); }
std::uint32_t ReadU32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
std::int32_t ReadI32(const unsigned char* p) { return std::int32_t(ReadU32(p)); }

constexpr std::uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr std::uint32_t EmfHeaderType = 1;
constexpr std::uint32_t EmfSignature = 0x464D4520;  // " EMF"

// Checks a size in pixels (as a double, before any rounding can wrap) against the limits.
bool AcceptSize(double w, double h, int* width, int* height, std::string* error)
{
    if (!(w >= 0.5) || !(h >= 0.5)) {
        *error = "tegningen har ingen utstrekning";
        return false;
    }
    // The limits hold for the size in whole pixels, as it will be used: rounding may add a row.
    const long long rw = std::llround(std::min(w, 1e12));
    const long long rh = std::llround(std::min(h, 1e12));
    if (rw > MaxMetafileSide || rh > MaxMetafileSide || rw * rh > MaxMetafilePixels) {
        *error = "tegningen er for stor til å vises (" + std::to_string(rw) + " × " + std::to_string(rh) + " punkter)";
        return false;
    }
    *width = int(rw);
    *height = int(rh);
    return true;
}

MetafileConversion Failed(std::string why)
{
    MetafileConversion r;
    r.error = std::move(why);
    return r;
}

// One libwmf session over a file in memory, drawing through its raster (gd) device. libwmf's own
// SVG device names colours by the nearest SVG colour word and fills at half opacity, which shows
// a drawing in the wrong colours; the raster device draws the file's own colours.
class WmfSession {
public:
    WmfSession(const unsigned char* data, std::size_t size) : m_copy(data, data + size) {}
    ~WmfSession()
    {
        if (m_api)
            wmf_api_destroy(m_api);
    }
    WmfSession(const WmfSession&) = delete;
    WmfSession& operator=(const WmfSession&) = delete;

    // Opens and scans the file; false when libwmf cannot read it.
    bool open()
    {
        wmfAPI_Options options;
        std::memset(&options, 0, sizeof options);
        options.function = wmf_gd_function;
        const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR;
        if (wmf_api_create(&m_api, flags, &options) != wmf_E_None)
            return false;
        // libwmf takes a non-const pointer to memory it only reads: it gets a copy of its own.
        return wmf_mem_open(m_api, m_copy.data(), long(m_copy.size())) == wmf_E_None &&
               wmf_scan(m_api, 0, &m_bbox) == wmf_E_None && m_bbox.BR.x > m_bbox.TL.x &&
               m_bbox.BR.y > m_bbox.TL.y;
    }

    bool displaySize(double dpi, unsigned* w, unsigned* h)
    {
        return wmf_display_size(m_api, w, h, dpi, dpi) == wmf_E_None;
    }

    // Plays the part of the picture that lies in `part` (fractions of the whole) into a
    // width x height true-colour image; the pixels come back as 0xAARRGGBB.
    bool play(double fx, double fy, double fw, double fh, int width, int height, std::vector<std::uint32_t>* out)
    {
        const double bw = double(m_bbox.BR.x) - m_bbox.TL.x;
        const double bh = double(m_bbox.BR.y) - m_bbox.TL.y;
        wmfD_Rect part;
        part.TL.x = float(m_bbox.TL.x + fx * bw);
        part.TL.y = float(m_bbox.TL.y + fy * bh);
        part.BR.x = float(m_bbox.TL.x + (fx + fw) * bw);
        part.BR.y = float(m_bbox.TL.y + (fy + fh) * bh);
        wmf_gd_t* device = WMF_GD_GetData(m_api);
        device->type = wmf_gd_image;
        device->bbox = part;
        device->width = unsigned(width);
        device->height = unsigned(height);
        if (wmf_play(m_api, 0, &part) != wmf_E_None || !device->gd_image)
            return false;
        const int* pixels = wmf_gd_image_pixels(device->gd_image);
        if (!pixels)
            return false;
        out->resize(std::size_t(width) * std::size_t(height));
        for (std::size_t i = 0; i < out->size(); ++i) {
            const std::uint32_t c = std::uint32_t(pixels[i]);
            // gd's alpha runs from 0 (opaque) to 127 (clear).
            const std::uint32_t gdAlpha = (c >> 24) & 0x7F;
            const std::uint32_t alpha = 255 - (gdAlpha * 255 + 63) / 127;
            (*out)[i] = (alpha << 24) | (c & 0xFFFFFF);
        }
        return true;
    }

private:
    std::vector<unsigned char> m_copy;
    wmfAPI* m_api = nullptr;
    wmfD_Rect m_bbox{};
};

// Halves an image in both directions by averaging each 2 x 2 block (straight alpha averaged
// with colour weighted by alpha), so edges drawn at twice the size come out smooth.
std::vector<std::uint32_t> HalveImage(const std::vector<std::uint32_t>& big, int width, int height)
{
    std::vector<std::uint32_t> out(std::size_t(width) * std::size_t(height));
    const int bigWidth = width * 2;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t a = 0, r = 0, g = 0, b = 0;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const std::uint32_t c = big[std::size_t(y * 2 + dy) * bigWidth + (x * 2 + dx)];
                    const std::uint32_t ca = c >> 24;
                    a += ca;
                    r += ((c >> 16) & 0xFF) * ca;
                    g += ((c >> 8) & 0xFF) * ca;
                    b += (c & 0xFF) * ca;
                }
            }
            std::uint32_t pixel = 0;
            if (a > 0)
                pixel = ((a / 4) << 24) | ((r / a) << 16) | ((g / a) << 8) | (b / a);
            out[std::size_t(y) * width + x] = pixel;
        }
    }
    return out;
}

MetafileConversion ConvertWmf(const unsigned char* data, std::size_t size, const MetafileRequest& request)
{
    int width = 0, height = 0;
    std::string error;
    if (!MetafileHeaderSize(data, size, MetafileKind::Wmf, request.dpi, &width, &height, &error))
        return Failed(error);
    WmfSession session(data, size);
    if (!session.open())
        return Failed("metafilen er skadet");
    if (width == 0 || height == 0) {
        // No placeable header: the size comes from what the records draw.
        unsigned w = 0, h = 0;
        if (!session.displaySize(request.dpi, &w, &h))
            return Failed("metafilen er skadet");
        if (!AcceptSize(double(w), double(h), &width, &height, &error))
            return Failed(error);
    }
    MetafileConversion r;
    r.width = width;
    r.height = height;
    if (request.render) {
        const int dw = request.drawnWidth, dh = request.drawnHeight;
        const int vw = request.visibleWidth, vh = request.visibleHeight;
        if (dw <= 0 || dh <= 0 || vw <= 0 || vh <= 0 || request.visibleX < 0 || request.visibleY < 0 ||
            request.visibleX + (long long)vw > dw || request.visibleY + (long long)vh > dh ||
            vw > MaxRenderSide || vh > MaxRenderSide || (long long)vw * vh > MaxRenderPixels)
            return Failed("ugyldig tegneområde");
        const double fx = double(request.visibleX) / dw, fy = double(request.visibleY) / dh;
        const double fw = double(vw) / dw, fh = double(vh) / dh;
        // Small enough to draw at twice the size and average down: smooth edges, as the raster
        // device draws without anti-aliasing.
        const bool twice = (long long)vw * vh <= (1LL << 22);
        std::vector<std::uint32_t> pixels;
        if (!session.play(fx, fy, fw, fh, twice ? vw * 2 : vw, twice ? vh * 2 : vh, &pixels))
            return Failed("metafilen er skadet");
        r.pixels = twice ? HalveImage(pixels, vw, vh) : std::move(pixels);
    }
    r.ok = true;
    return r;
}

MetafileConversion ConvertEmf(const unsigned char* data, std::size_t size, double dpi)
{
    int width = 0, height = 0;
    std::string error;
    if (!MetafileHeaderSize(data, size, MetafileKind::Emf, dpi, &width, &height, &error))
        return Failed(error);

    generatorOptions options;
    std::memset(&options, 0, sizeof options);
    options.nameSpace = const_cast<char*>("");
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    options.imgWidth = width;
    options.imgHeight = height;
    std::vector<char> copy(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
    char* out = nullptr;
    std::size_t outLength = 0;
    const int done = emf2svg(copy.data(), copy.size(), &out, &outLength, &options);
    std::string svg = out ? std::string(out, outLength) : std::string();
    std::free(out);
    if (!done || svg.empty())
        return Failed("metafilen er skadet");
    MetafileConversion r;
    r.ok = true;
    r.width = width;
    r.height = height;
    r.svg = std::move(svg);
    return r;
}

}  // namespace

bool MetafileHeaderSize(const unsigned char* data, std::size_t size, MetafileKind kind, double dpi,
                        int* width, int* height, std::string* error)
{
    *width = *height = 0;
    if (kind == MetafileKind::Emf) {
        // EMR_HEADER: type, size, bounds (16 bytes), frame (16 bytes, hundredths of a mm), signature.
        if (size < 88 || ReadU32(data) != EmfHeaderType || ReadU32(data + 40) != EmfSignature) {
            *error = "filen er ikke en utvidet metafil (EMF)";
            return false;
        }
        const double w = (double(ReadI32(data + 32)) - double(ReadI32(data + 24))) * dpi / 2540.0;
        const double h = (double(ReadI32(data + 36)) - double(ReadI32(data + 28))) * dpi / 2540.0;
        return AcceptSize(w, h, width, height, error);
    }
    if (size >= 22 && ReadU32(data) == PlaceableKey) {
        // The placeable header: key, handle, bounding box (left, top, right, bottom), units per inch.
        const int inch = ReadU16(data + 14);
        if (inch == 0) {
            *error = "metafilen er skadet (ingen målestokk i hodet)";
            return false;
        }
        const double w = std::abs(double(ReadI16(data + 10)) - double(ReadI16(data + 6))) * dpi / inch;
        const double h = std::abs(double(ReadI16(data + 12)) - double(ReadI16(data + 8))) * dpi / inch;
        return AcceptSize(w, h, width, height, error);
    }
    // The standard header alone: type 1 or 2, header size 9 words.
    if (size < 18 || (ReadU16(data) != 1 && ReadU16(data) != 2) || ReadU16(data + 2) != 9) {
        *error = "filen er ikke en metafil (WMF)";
        return false;
    }
    return true;
}

MetafileConversion ConvertMetafile(const unsigned char* data, std::size_t size, const MetafileRequest& request)
{
    MetafileRequest r = request;
    if (!(r.dpi >= 1 && r.dpi <= 10000))
        r.dpi = 96;
    if (r.kind == MetafileKind::Emf)
        return r.render ? Failed("ugyldig forespørsel") : ConvertEmf(data, size, r.dpi);
    return ConvertWmf(data, size, r);
}
