// Fuzz target: the metafile path's own reading. Any bytes are a .wmf or .emf file a user may
// open: the header reader gives a natural size within the limits or a reason, never both and
// never neither. The same bytes as the helper program's answer are read into a size within the
// limits or refused. (The renderers themselves run in the helper process, where a fault costs
// only an error message.)
#include "fuzz/fuzzrule.h"
#include "viewer/metafile.h"
#include "viewer/metafile/metafileconvert.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    for (MetafileKind kind : {MetafileKind::Wmf, MetafileKind::Emf}) {
        for (double dpi : {96.0, 300.0}) {
            int w = -1, h = -1;
            std::string error;
            const bool ok = MetafileHeaderSize(data, size, kind, dpi, &w, &h, &error);
            Require(ok == error.empty());
            if (ok) {
                // A plain WMF header leaves the size to the records (0 x 0); anything else is a
                // size inside the limits.
                Require((w == 0 && h == 0 && kind == MetafileKind::Wmf) ||
                        (w > 0 && h > 0 && w <= MaxMetafileSide && h <= MaxMetafileSide &&
                         (long long)w * h <= MaxMetafilePixels));
            } else {
                Require(w == 0 && h == 0);
            }
        }
    }
    const MetafileHelperAnswer answer =
        ParseMetafileHelperAnswer(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    Require(answer.ok == answer.error.isEmpty());
    if (answer.ok)
        Require(!answer.natural.isEmpty() && answer.natural.width() <= MaxMetafileSide &&
                answer.natural.height() <= MaxMetafileSide);
    return 0;
}
