#pragma once
// TPrintForm, the print-preview window: it shows the page of PageProc on a surface at Zoom
// pixels per millimetre, zooms, fits the page to the screen, turns it to landscape and prints it
// as a one-page job. Created hidden once at start-up; closing only hides it; destroying it (at
// program end, before the settings are saved) stores Zoom and the placement.
//
// Printing goes through one QPrinter that lives as long as the window, so a printer chosen in the
// set-up dialog stays chosen for the run. With no printer installed the job becomes a PDF file in
// the data folder "export/pdf", named after the job title and never written over an earlier one;
// the user is told where it went.
//
// While a job draws, the preview keeps off the printer page: a paint of the preview surface is put
// off until the job has ended, and menu commands, clicks and ShowPreview are ignored.
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "printing/utskrift.h"

class QAction;
class QMenu;
class QPrinter;

class TPrintForm : public QWidget {
    Q_OBJECT
public:
    // FormCreate: Zoom from "PreViewZoom" when above 0 (held to MaxPreviewZoom), Rotated from
    // "RotatedView", the placement of "UTSKRIFTFORM". The window stays hidden.
    explicit TPrintForm(QWidget* parent = nullptr);
    // FormDestroy: "PreViewZoom" and the placement of "UTSKRIFTFORM" are stored.
    ~TPrintForm() override;

    // The one window of the process (the last one created), or null.
    static TPrintForm* instance();

    void ShowPreview();
    void PrintPage();
    // Sizes the preview surface (or, in a job, takes the printer page) and the layer's geometry.
    void ResetView(QObject* Sender = nullptr);

    // Handlers of the pop-up menu.
    void Oppdater1Click();
    void Utskrift1Click();
    void Zoomin1Click();
    void Zoomut1Click();
    void Helsiden1Click();
    void Sidebredde1Click();
    void Roter1Click();
    // A press on the preview surface at (x, y) in its own pixels.
    void PaintBoxMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);

    // The printer set-up dialog: may change printer and orientation, true when the user
    // confirmed. QPrintDialog unless replaced (tests replace it to answer without a screen).
    using SetupDialog = std::function<bool(QPrinter& printer, QWidget* parent)>;
    SetupDialog PrinterSetupDialog1;
    // Whether a printer is installed: QPrinterInfo::availablePrinters() unless replaced.
    std::function<bool()> PrinterInstalled;

    QPrinter& printer();
    PageCanvas& previewCanvas() { return m_previewCanvas; }
    // True from the start to the end of a print job.
    bool jobActive() const { return m_jobActive; }
    // The PDF file the last job was saved to; empty when it went to a printer.
    QString lastPdfFile() const { return m_lastPdfFile; }

    QWidget* PaintBox = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Oppdater1 = nullptr;
    QAction* Utskrift1 = nullptr;
    QAction* N1 = nullptr;
    QMenu* Zoom1 = nullptr;
    QAction* Zoomin1 = nullptr;
    QAction* Zoomut1 = nullptr;
    QAction* Helsiden1 = nullptr;
    QAction* Sidebredde1 = nullptr;
    QAction* Roter1 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void redrawView();
    void PaintBoxPaint();
    void FormShow();
    void repaintPage();
    void finishJob();
    bool printToPdf(const QString& title, QString* finalPath, bool* userChosen);

    PageCanvas m_previewCanvas{96.0};
    std::unique_ptr<QPrinter> m_printer;
    bool m_jobActive = false;
    bool m_repaintPending = false;
    bool m_pdfInPlaceOfPrinter = false;  // the printer was set to PDF because none was installed
    bool m_paintFailed = false;  // the page procedure failed in the preview; blank until a command
    QString m_lastPdfFile;
};
