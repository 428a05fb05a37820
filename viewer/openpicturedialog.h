#pragma once
// The picture-open dialog: a file dialog over the formats the picture loader knows, with a
// preview of the picture under the pointer.
#include <QFileDialog>

class QLabel;

class OpenPictureDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit OpenPictureDialog(QWidget* parent = nullptr);

    // The name filters, all formats first, then one per format in the loader's order.
    static QStringList pictureFilters();

private:
    void showPreview(const QString& path);

    QLabel* m_preview = nullptr;
    QLabel* m_previewSize = nullptr;
};
