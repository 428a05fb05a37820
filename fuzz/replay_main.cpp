// Runs a fuzz target over files without libFuzzer: every argument is a file or a folder (its
// files, in name order), each file is one input. A target that finds a broken rule aborts, so
// a failing input fails the run; a missing argument does too, so that a renamed corpus folder
// cannot make the replay pass with nothing to do.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool RunFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    std::fprintf(stderr, "%s (%lld bytes)\n", qPrintable(path), static_cast<long long>(bytes.size()));
    // A copy of exactly the file's size, so that a read past the end is a read past a block.
    std::vector<uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.data(), data.size());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const QFileInfo info(arg);
        QStringList files;
        if (info.isDir()) {
            const QDir dir(arg);
            for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
                files.append(dir.filePath(name));
        } else if (info.isFile()) {
            files.append(arg);
        } else {
            std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
            return 2;
        }
        for (const QString& file : files) {
            if (!RunFile(file))
                return 2;
            ++inputs;
        }
    }
    std::fprintf(stderr, "%d inputs, no failure\n", inputs);
    return inputs > 0 ? 0 : 2;
}
