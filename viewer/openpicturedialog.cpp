#include "viewer/openpicturedialog.h"
#include "viewer/pictureloader.h"

#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

QString FormatName(const QString& extension)
{
    if (extension == QLatin1String("wmf"))
        return QStringLiteral("Metafil");
    if (extension == QLatin1String("emf"))
        return QStringLiteral("Utvidet metafil");
    if (extension == QLatin1String("ico"))
        return QStringLiteral("Ikon");
    if (extension == QLatin1String("tiff") || extension == QLatin1String("tif"))
        return QStringLiteral("TIFF-bilde");
    if (extension == QLatin1String("bmp"))
        return QStringLiteral("Punktgrafikk");
    if (extension == QLatin1String("png"))
        return QStringLiteral("PNG-bilde");
    if (extension == QLatin1String("gif"))
        return QStringLiteral("GIF-bilde");
    if (extension == QLatin1String("webp"))
        return QStringLiteral("WebP-bilde");
    return QStringLiteral("JPEG-bilde");
}

constexpr int PreviewSide = 200;

}  // namespace

QStringList OpenPictureDialog::pictureFilters()
{
    QStringList all;
    for (const QString& ext : PictureFormats())
        all.append("*." + ext);
    QStringList filters;
    filters.append(QStringLiteral("Alle bilder (%1)").arg(all.join(' ')));
    for (const QString& ext : PictureFormats())
        filters.append(QStringLiteral("%1 (*.%2)").arg(FormatName(ext), ext));
    return filters;
}

OpenPictureDialog::OpenPictureDialog(QWidget* parent) : QFileDialog(parent)
{
    setWindowTitle(QStringLiteral("Åpne bilde"));
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilters(pictureFilters());
    setLabelText(QFileDialog::LookIn, QStringLiteral("Søk i:"));
    setLabelText(QFileDialog::FileName, QStringLiteral("Filnavn:"));
    setLabelText(QFileDialog::FileType, QStringLiteral("Filtype:"));
    setLabelText(QFileDialog::Accept, QStringLiteral("Åpne"));
    setLabelText(QFileDialog::Reject, QStringLiteral("Avbryt"));

    // The preview sits to the right of the file list.
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    m_preview = new QLabel(box);
    m_preview->setFixedSize(PreviewSide, PreviewSide);
    m_preview->setAlignment(Qt::AlignCenter);
    m_preview->setFrameShape(QFrame::StyledPanel);
    m_previewSize = new QLabel(box);
    m_previewSize->setAlignment(Qt::AlignCenter);
    column->addWidget(m_preview);
    column->addWidget(m_previewSize);
    column->addStretch();
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(box, 1, grid->columnCount(), grid->rowCount() - 1, 1);

    connect(this, &QFileDialog::currentChanged, this, &OpenPictureDialog::showPreview);
    // The size, type and date columns are as wide as their widest text (Norwegian heads and
    // types are longer than the widths Qt starts from), measured again for each folder once it
    // is read. The name column keeps the rest.
    auto* model = findChild<QFileSystemModel*>();
    auto* view = findChild<QTreeView*>(QStringLiteral("treeView"));
    if (model && view) {
        connect(model, &QFileSystemModel::directoryLoaded, view, [view] {
            // After the view has taken in the new rows.
            QTimer::singleShot(0, view, [view] {
                for (int column = 1; column < view->header()->count(); ++column)
                    if (!view->isColumnHidden(column))
                        view->resizeColumnToContents(column);
            });
        });
    }
    // Room for the file list with its four columns beside the preview.
    resize(1060, 520);
}

void OpenPictureDialog::showPreview(const QString& path)
{
    m_preview->clear();
    m_previewSize->clear();
    if (!QFileInfo(path).isFile())
        return;
    // Decoded for the preview's size: a large photo costs a fraction of its full decode.
    PictureLoadOptions options;
    options.target = DrawTarget{QSize(PreviewSide, PreviewSide), true, true};
    const PictureLoadResult result = LoadPicture(path, options);
    if (!result.ok()) {
        m_previewSize->setText(QStringLiteral("(ingen forhåndsvisning)"));
        return;
    }
    const QSize fitted = result.naturalSize.scaled(PreviewSide, PreviewSide, Qt::KeepAspectRatio);
    QImage preview = ScaledPicture(result, fitted.expandedTo(QSize(1, 1)));
    if (result.metafile && !preview.isNull()) {
        // A drawing has no background of its own: show it on white, as the viewer does.
        QImage onWhite(preview.size(), QImage::Format_RGB32);
        onWhite.fill(Qt::white);
        QPainter(&onWhite).drawImage(0, 0, preview);
        preview = onWhite;
    }
    m_preview->setPixmap(QPixmap::fromImage(preview));
    m_previewSize->setText(
        QStringLiteral("%1 × %2").arg(result.naturalSize.width()).arg(result.naturalSize.height()));
}
