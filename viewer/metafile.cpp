#include "viewer/metafile.h"
#include "viewer/metafile/metafileconvert.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QSvgRenderer>

#include <sys/resource.h>

namespace {

// A build with AddressSanitizer (the sanitized test pass) cannot run under an address-space limit.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

QString& HelperOverride()
{
    static QString path;
    return path;
}

int& TimeoutSetting()
{
    static int milliseconds = 10000;
    return milliseconds;
}

// The most an answer may hold: an EMF's SVG or the pixels of the largest part drawn at once.
constexpr qint64 MaxAnswerBytes = qint64(256) << 20;

// Runs the helper once with the file on its standard input.
MetafileHelperAnswer RunHelper(const QStringList& arguments, const QByteArray& input)
{
    MetafileHelperAnswer answer;
    QProcess process;
    process.setProgram(MetafileHelperPath());
    process.setArguments(arguments);
    process.setChildProcessModifier([] {
        // In the child, before the helper starts: no more memory than a large picture needs, no
        // more processor time than the wall-clock limit, and no core file.
        const rlimit memory{rlim_t(MetafileHelperMemoryBytes), rlim_t(MetafileHelperMemoryBytes)};
        if (!kAddressSanitizer)  // its shadow memory alone is terabytes of address space
            setrlimit(RLIMIT_AS, &memory);
        const rlim_t seconds = rlim_t(MetafileHelperTimeoutMs() / 1000 + 1);
        const rlimit cpu{seconds, seconds};
        setrlimit(RLIMIT_CPU, &cpu);
        const rlimit none{0, 0};
        setrlimit(RLIMIT_CORE, &none);
    });
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(MetafileHelperTimeoutMs())) {
        answer.error = QStringLiteral("tegneprogrammet for metafiler finnes ikke eller kan ikke startes (%1)")
                           .arg(MetafileHelperPath());
        return answer;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(MetafileHelperTimeoutMs())) {
        process.kill();
        process.waitForFinished(1000);
        answer.error = QStringLiteral("tegningen tok for lang tid å tegne");
        return answer;
    }
    const QByteArray out = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit) {
        answer.error = QStringLiteral("metafilen er skadet (tegneprogrammet stoppet)");
        return answer;
    }
    if (process.exitCode() != 0) {
        const QString why = QString::fromUtf8(process.readAllStandardError()).trimmed().section('\n', -1, -1);
        answer.error = why.isEmpty() ? QStringLiteral("metafilen er skadet") : why;
        return answer;
    }
    return ParseMetafileHelperAnswer(out);
}

QStringList BaseArguments(MetafilePicture::Kind kind, double dpi)
{
    return {kind == MetafilePicture::Kind::Emf ? QStringLiteral("emf") : QStringLiteral("wmf"), QString::number(dpi)};
}

}  // namespace

MetafileHelperAnswer ParseMetafileHelperAnswer(const QByteArray& out)
{
    MetafileHelperAnswer answer;
    const qsizetype lineEnd = out.indexOf('\n');
    // The first line is at most "GLIMRA-METAFIL" and two numbers.
    if (lineEnd < 0 || lineEnd > 64 || out.size() > MaxAnswerBytes) {
        answer.error = QStringLiteral("tegneprogrammet for metafiler svarte ikke som ventet");
        return answer;
    }
    const QList<QByteArray> head = out.left(lineEnd).split(' ');
    bool okW = false, okH = false;
    if (head.size() == 3 && head[0] == "GLIMRA-METAFIL")
        answer.natural = QSize(head[1].toInt(&okW), head[2].toInt(&okH));
    if (!okW || !okH || answer.natural.isEmpty() || answer.natural.width() > MaxMetafileSide ||
        answer.natural.height() > MaxMetafileSide) {
        answer.natural = QSize();
        answer.error = QStringLiteral("tegneprogrammet for metafiler svarte ikke som ventet");
        return answer;
    }
    answer.body = out.mid(lineEnd + 1);
    answer.ok = true;
    return answer;
}

QString MetafileHelperPath()
{
    if (!HelperOverride().isEmpty())
        return HelperOverride();
    // Beside the program in the build folder; in the installed tree, in its own libexec folder.
    const QString besideProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/glimra-metafil");
    if (QFileInfo(besideProgram).isExecutable())
        return besideProgram;
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/" GLIMRA_HELPER_FROM_BIN) +
                           QStringLiteral("/glimra-metafil"));
}

void SetMetafileHelperPath(const QString& path)
{
    HelperOverride() = path;
}

int MetafileHelperTimeoutMs()
{
    return TimeoutSetting();
}

void SetMetafileHelperTimeoutMs(int milliseconds)
{
    TimeoutSetting() = milliseconds;
}

std::shared_ptr<const MetafilePicture> MetafilePicture::open(const QByteArray& data, Kind kind, double dpi,
                                                             QString* error)
{
    const MetafileHelperAnswer answer = RunHelper(BaseArguments(kind, dpi), data);
    if (!answer.ok) {
        *error = answer.error;
        return nullptr;
    }
    std::shared_ptr<MetafilePicture> picture(new MetafilePicture);
    picture->m_kind = kind;
    picture->m_dpi = dpi;
    picture->m_natural = answer.natural;
    if (kind == Kind::Emf) {
        picture->m_svg = answer.body;
        if (!QSvgRenderer(picture->m_svg).isValid()) {
            *error = QStringLiteral("metafilen er skadet");
            return nullptr;
        }
    } else {
        picture->m_data = data;
    }
    return picture;
}

QImage MetafilePicture::render(QSize drawn, const QRect& visible, QString* error) const
{
    if (drawn.isEmpty() || visible.isEmpty() || !QRect(QPoint(0, 0), drawn).contains(visible)) {
        *error = QStringLiteral("ugyldig tegneområde");
        return {};
    }
    if (m_kind == Kind::Emf) {
        QImage image(visible.size(), QImage::Format_ARGB32_Premultiplied);
        if (image.isNull()) {
            *error = QStringLiteral("for lite minne til å tegne bildet");
            return {};
        }
        image.fill(Qt::transparent);
        QSvgRenderer renderer(m_svg);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(-visible.x(), -visible.y(), drawn.width(), drawn.height()));
        return image;
    }
    QStringList arguments = BaseArguments(m_kind, m_dpi);
    for (int v : {drawn.width(), drawn.height(), visible.x(), visible.y(), visible.width(), visible.height()})
        arguments.append(QString::number(v));
    const MetafileHelperAnswer answer = RunHelper(arguments, m_data);
    if (!answer.ok) {
        *error = answer.error;
        return {};
    }
    const qint64 expected = qint64(visible.width()) * visible.height() * 4;
    if (answer.body.size() != expected) {
        *error = QStringLiteral("tegneprogrammet for metafiler svarte ikke som ventet");
        return {};
    }
    QImage image(visible.size(), QImage::Format_ARGB32);
    if (image.isNull()) {
        *error = QStringLiteral("for lite minne til å tegne bildet");
        return {};
    }
    const int rowBytes = visible.width() * 4;
    for (int y = 0; y < visible.height(); ++y)
        memcpy(image.scanLine(y), answer.body.constData() + qint64(y) * rowBytes, size_t(rowBytes));
    return image;
}
