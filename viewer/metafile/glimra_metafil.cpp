// glimra-metafil KIND DPI [DRAWN_W DRAWN_H X Y W H] < FILE
// Draws a metafile for the viewer, in a process of its own, so that a hostile file costs the
// viewer nothing but an error message (viewer/metafile.cpp sets the limits on time and memory).
// KIND is "wmf" or "emf"; the metafile comes on standard input.
// Output on success (exit 0): the line "GLIMRA-METAFIL <natural width> <natural height>", then
//   without a rectangle: for an EMF the SVG drawing, for a WMF nothing;
//   with one (WMF only): W x H pixels, 4 bytes each (0xAARRGGBB, little-endian), of the part at
//   X,Y of the picture drawn at DRAWN_W x DRAWN_H.
// On failure (exit 1): the reason on standard error, in Norwegian, one line.
#include "viewer/metafile/metafileconvert.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int Fail(const std::string& why)
{
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
}

bool ParseInt(const char* text, int* value)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 0 || v > 1000000000L)
        return false;
    *value = int(v);
    return true;
}

bool WriteAll(const void* data, std::size_t size)
{
    return std::fwrite(data, 1, size, stdout) == size;
}

}  // namespace

int main(int argc, char** argv)
{
    if ((argc != 3 && argc != 9) || (std::strcmp(argv[1], "wmf") != 0 && std::strcmp(argv[1], "emf") != 0))
        return Fail("bruk: glimra-metafil wmf|emf DPI [BREDDE HØYDE X Y B H] < FIL");
    MetafileRequest request;
    request.kind = std::strcmp(argv[1], "emf") == 0 ? MetafileKind::Emf : MetafileKind::Wmf;
    request.dpi = std::strtod(argv[2], nullptr);
    if (argc == 9) {
        request.render = true;
        int* fields[] = {&request.drawnWidth, &request.drawnHeight, &request.visibleX,
                         &request.visibleY,   &request.visibleWidth, &request.visibleHeight};
        for (int i = 0; i < 6; ++i)
            if (!ParseInt(argv[3 + i], fields[i]))
                return Fail("ugyldig tegneområde");
    }

    std::vector<unsigned char> data;
    unsigned char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
        data.insert(data.end(), buffer, buffer + n);
        if (data.size() > MaxMetafileBytes)
            return Fail("metafilen er for stor");
    }

    // libwmf and libemf2svg may talk on standard output; only our own answer may reach the
    // viewer, so their output goes nowhere while they work.
    std::fflush(stdout);
    const int realStdout = dup(STDOUT_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    if (realStdout < 0 || devNull < 0 || dup2(devNull, STDOUT_FILENO) < 0)
        return Fail("tegneprogrammet for metafiler kunne ikke starte");
    const MetafileConversion r = ConvertMetafile(data.data(), data.size(), request);
    std::fflush(stdout);
    dup2(realStdout, STDOUT_FILENO);
    close(devNull);
    close(realStdout);
    if (!r.ok)
        return Fail(r.error);

    std::printf("GLIMRA-METAFIL %d %d\n", r.width, r.height);
    bool written = true;
    if (request.render) {
        std::vector<unsigned char> bytes(r.pixels.size() * 4);
        for (std::size_t i = 0; i < r.pixels.size(); ++i) {
            const std::uint32_t c = r.pixels[i];
            bytes[i * 4] = c & 0xFF;
            bytes[i * 4 + 1] = (c >> 8) & 0xFF;
            bytes[i * 4 + 2] = (c >> 16) & 0xFF;
            bytes[i * 4 + 3] = c >> 24;
        }
        written = WriteAll(bytes.data(), bytes.size());
    } else {
        written = WriteAll(r.svg.data(), r.svg.size());
    }
    return written && std::fflush(stdout) == 0 ? 0 : 1;
}
