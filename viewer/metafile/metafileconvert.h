#pragma once
// Turns a metafile (a Windows metafile, placeable or not, or an enhanced metafile) into an SVG
// drawing and its natural size in pixels. The renderers are libwmf and libemf2svg. They are old C
// code that trusts what it reads, so the viewer never calls this in its own process: the helper
// program glimra-metafil runs it with limits on time and memory (viewer/metafile.h).
#include <cstddef>
#include <string>

#include <cstdint>
#include <vector>

enum class MetafileKind { Wmf, Emf };

// What to make of the file. Without a render rectangle: the natural size and, for an EMF, the
// SVG drawing. With one (WMF only): the pixels of the part `visible` of the picture drawn at
// drawnWidth x drawnHeight.
struct MetafileRequest {
    MetafileKind kind = MetafileKind::Wmf;
    double dpi = 96;
    bool render = false;
    int drawnWidth = 0, drawnHeight = 0;
    int visibleX = 0, visibleY = 0, visibleWidth = 0, visibleHeight = 0;
};

struct MetafileConversion {
    bool ok = false;
    int width = 0;     // natural size in pixels at the resolution asked for
    int height = 0;
    std::string svg;   // EMF: the drawing, scaled to fill width x height
    std::vector<std::uint32_t> pixels;  // WMF render: visibleWidth x visibleHeight, 0xAARRGGBB
    std::string error; // why it failed, in Norwegian, for the user
};

// The largest metafile read, by the viewer and by the helper: real drawings are a few megabytes.
constexpr std::size_t MaxMetafileBytes = std::size_t(256) << 20;

// The largest part drawn in one request.
constexpr int MaxRenderSide = 16384;
constexpr long long MaxRenderPixels = 1LL << 26;

// The largest natural size taken: a side of at most 30000 pixels and at most 2^28 pixels in all
// (the same gigabyte as the largest bitmap). A header claiming more is refused before drawing.
constexpr int MaxMetafileSide = 30000;
constexpr long long MaxMetafilePixels = 1LL << 28;

// The natural size from the file's own header: a placeable WMF's bounding box and units per
// inch, or an EMF's frame in hundredths of a millimetre, at dpi. Returns false (with the reason)
// when the header is missing, damaged or claims too large a picture; a WMF without the placeable
// header gives ok with a size of 0 x 0, to be measured by playing it.
bool MetafileHeaderSize(const unsigned char* data, std::size_t size, MetafileKind kind, double dpi,
                        int* width, int* height, std::string* error);

MetafileConversion ConvertMetafile(const unsigned char* data, std::size_t size, const MetafileRequest& request);
