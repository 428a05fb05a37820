#include "printing/printform.h"

#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "framework/uihooks.h"
#include "viewer/guardedapplication.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QTemporaryFile>
#include <QTimer>
#include <cstdio>
#include <sys/stat.h>
#include <new>
#include <stdexcept>

namespace {

const QString kWindowName = QStringLiteral("UTSKRIFTFORM");
const QString kCaptionError = QStringLiteral("FEIL");

TPrintForm* s_instance = nullptr;

QSize PrimaryScreenSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize();
}

std::runtime_error UserError(const QString& text) { return std::runtime_error(text.toStdString()); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// FormCreate and FormDestroy

TPrintForm::TPrintForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("PrintForm"));
    setWindowTitle(QString::fromUtf8("Forhåndsvisning"));
    // Closing the preview only hides it, and it never keeps the program running on its own.
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette white = palette();
    white.setColor(QPalette::Window, PageWhite);
    setPalette(white);
    setAutoFillBackground(true);
    move(366, 172);
    resize(554, 392);

    PaintBox = new QWidget(this);
    PaintBox->setObjectName(QStringLiteral("PaintBox"));
    PaintBox->setGeometry(0, 0, 554, 392);
    PaintBox->setCursor(Qt::CrossCursor);
    PaintBox->setPalette(white);
    PaintBox->setAutoFillBackground(true);
    PaintBox->setContextMenuPolicy(Qt::CustomContextMenu);
    PaintBox->installEventFilter(this);

    PopupMenu1 = new QMenu(this);
    Oppdater1 = PopupMenu1->addAction(QStringLiteral("Oppdater"));
    Utskrift1 = PopupMenu1->addAction(QStringLiteral("Utskrift"));
    N1 = PopupMenu1->addSeparator();
    Zoom1 = PopupMenu1->addMenu(QStringLiteral("Zoom"));
    Zoomin1 = Zoom1->addAction(QStringLiteral("Zoom in"));
    Zoomut1 = Zoom1->addAction(QStringLiteral("Zoom ut"));
    Helsiden1 = Zoom1->addAction(QStringLiteral("Hele siden"));
    Sidebredde1 = Zoom1->addAction(QStringLiteral("Sidebredde"));
    Roter1 = PopupMenu1->addAction(QStringLiteral("Roter"));
    connect(Oppdater1, &QAction::triggered, this, &TPrintForm::Oppdater1Click);
    connect(Utskrift1, &QAction::triggered, this, &TPrintForm::Utskrift1Click);
    connect(Zoomin1, &QAction::triggered, this, &TPrintForm::Zoomin1Click);
    connect(Zoomut1, &QAction::triggered, this, &TPrintForm::Zoomut1Click);
    connect(Helsiden1, &QAction::triggered, this, &TPrintForm::Helsiden1Click);
    connect(Sidebredde1, &QAction::triggered, this, &TPrintForm::Sidebredde1Click);
    connect(Roter1, &QAction::triggered, this, &TPrintForm::Roter1Click);
    connect(PaintBox, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (!m_jobActive)
            PopupMenu1->popup(PaintBox->mapToGlobal(pos));
    });

    PrinterSetupDialog1 = [](QPrinter& printer, QWidget* owner) {
        QPrintDialog dialog(&printer, owner);
        return dialog.exec() == QDialog::Accepted;
    };
    PrinterInstalled = [] { return !QPrinterInfo::availablePrinters().isEmpty(); };

    // FormCreate
    PreviewState& v = previewState();
    const int zoom = IniReadInteger(QStringLiteral("PreViewZoom"));
    if (zoom > 0)
        v.Zoom = ClampZoom(zoom);
    v.Rotated = IniReadBool(QStringLiteral("RotatedView"));
    // A placement file that cannot be read is reported; the window keeps its design place.
    RunGuarded([this] {
        WindowPlacement placement{x(), y(), width(), height(), false};
        QString diverse;
        LoadWindowPos(placement, PrimaryScreenSize(), kWindowName, diverse);
        move(placement.left, placement.top);
        resize(placement.width, placement.height);
        if (placement.maximized)
            setWindowState(windowState() | Qt::WindowMaximized);
    });

    s_instance = this;
}

TPrintForm::~TPrintForm()
{
    // FormDestroy
    IniWriteInteger(QStringLiteral("PreViewZoom"), previewState().Zoom);
    // The bounds the window has now, for a maximised window its maximised bounds, as
    // FormCreate applies them (position of the frame, size of the client area).
    const QRect bounds(pos(), size());
    // Nothing may escape a destructor: a placement that cannot be stored is reported.
    RunGuarded([&] {
        SaveWindowPos(WindowPlacement{bounds.x(), bounds.y(), bounds.width(), bounds.height(), isMaximized()},
                      kWindowName);
    });

    if (pageState().Canvas == &m_previewCanvas)
        pageState().Canvas = nullptr;
    if (s_instance == this)
        s_instance = nullptr;
}

TPrintForm* TPrintForm::instance() { return s_instance; }

QPrinter& TPrintForm::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

// ---------------------------------------------------------------------------------------------
// Events

bool TPrintForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == PaintBox) {
        if (event->type() == QEvent::Paint) {
            if (m_jobActive || pageState().Printing) {
                // The layer draws on the printer page now; this paint comes after the job.
                m_repaintPending = true;
                return true;
            }
            PaintBoxPaint();
            return true;
        }
        // The second press of a fast double click comes as MouseButtonDblClick; it is a press
        // like the first, so a page that counts clicks sees both.
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            const auto* press = static_cast<QMouseEvent*>(event);
            const QPoint at = press->position().toPoint();
            PaintBoxMouseDown(press->button(), press->modifiers(), at.x(), at.y());
            return false;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TPrintForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TPrintForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (PaintBox && !m_jobActive && !pageState().Printing)
        PaintBox->move(SurfaceLeft(width(), PaintBox->width()), 0);
}

void TPrintForm::FormShow()
{
    if (!m_jobActive)
        ResetView(this);
}

void TPrintForm::PaintBoxPaint()
{
    PageState& s = pageState();
    if (!s.Canvas)
        s.Canvas = &m_previewCanvas;
    if (m_paintFailed)
        return;  // a blank page until the user asks again
    QPainter painter(PaintBox);
    m_previewCanvas.bind(&painter);
    QString failure;
    try {
        ResetView(this);
        if (previewState().PageProc)
            previewState().PageProc();
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        failure = QStringLiteral("Ukjent feil i siden som skulle vises");
    }
    m_previewCanvas.unbind();
    if (!failure.isNull()) {
        // Shown once, after the paint: a message box inside a paint would paint again and fail
        // again. The page stays blank until the user refreshes, zooms or shows it anew.
        m_paintFailed = true;
        LogLine("FEIL: Forhåndsvisningen kunne ikke tegnes: " + failure);
        QTimer::singleShot(0, this, [failure] { ShowError(failure); });
    }
}

void TPrintForm::PaintBoxMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)
{
    if (m_jobActive || button != Qt::LeftButton)
        return;
    const PageState& s = pageState();
    if (previewState().PageClick)
        previewState().PageClick(button, shift, x - s.FrameLeft, y - s.FrameTop);
    repaintPage();
}

void TPrintForm::repaintPage()
{
    update();
    PaintBox->update();
}

// ---------------------------------------------------------------------------------------------
// Menu commands. Each view command repaints even when the surface keeps its size: a page that
// failed before is drawn anew only by a paint.

void TPrintForm::Oppdater1Click()
{
    if (m_jobActive)
        return;
    m_paintFailed = false;
    repaintPage();
}

void TPrintForm::Utskrift1Click()
{
    if (m_jobActive)
        return;
    PrintPage();
    ShowPreview();
}

// After a view command: the page is drawn anew at the new zoom or orientation, also when a
// page that failed before is to be tried again with the same zoom.
void TPrintForm::redrawView()
{
    m_paintFailed = false;
    ResetView(this);
    repaintPage();
}

void TPrintForm::Zoomin1Click()
{
    if (m_jobActive)
        return;
    previewState().Zoom = ZoomIn(previewState().Zoom);
    redrawView();
}

void TPrintForm::Zoomut1Click()
{
    if (m_jobActive)
        return;
    previewState().Zoom = ZoomOut(previewState().Zoom);
    redrawView();
}

void TPrintForm::Helsiden1Click()
{
    if (m_jobActive)
        return;
    previewState().Zoom = FitPageZoom(PrimaryScreenSize().height(), previewState().Rotated);
    redrawView();
}

void TPrintForm::Sidebredde1Click()
{
    if (m_jobActive)
        return;
    previewState().Zoom = FitWidthZoom(PrimaryScreenSize().width(), previewState().Rotated);
    redrawView();
}

void TPrintForm::Roter1Click()
{
    if (m_jobActive)
        return;
    PreviewState& v = previewState();
    v.Rotated = !v.Rotated;
    redrawView();
    IniWriteBool(QStringLiteral("RotatedView"), v.Rotated);
}

// ---------------------------------------------------------------------------------------------
// The view and the two entry points

void TPrintForm::ResetView(QObject* Sender)
{
    Q_UNUSED(Sender);
    PageState& s = pageState();
    const PreviewState& v = previewState();
    if (s.Printing) {
        // The printer page; the preview surface is left as it is, nobody sees it during a job.
        QPrinter& pr = printer();
        pr.setPageOrientation(v.Rotated ? QPageLayout::Landscape : QPageLayout::Portrait);
        const QRect page = pr.pageLayout().paintRectPixels(pr.resolution());
        const bool landscape = pr.pageLayout().orientation() == QPageLayout::Landscape;
        SetPageGeometry(page.width(), page.height(), PrinterScale(page.width(), page.height(), landscape));
        return;
    }
    // Zoom is held to 1..MaxPreviewZoom where it is set; a value set from outside is held here too,
    // so the surface and Scale always come from one zoom.
    const int zoom = ClampZoom(v.Zoom);
    const QSize surface = PreviewSurfaceSize(zoom, v.Rotated);
    if (PaintBox->size() != surface)
        PaintBox->resize(surface);
    SetPageGeometry(surface.width(), surface.height(), zoom);
    const int left = SurfaceLeft(width(), surface.width());
    if (PaintBox->x() != left || PaintBox->y() != 0)
        PaintBox->move(left, 0);
}

void TPrintForm::ShowPreview()
{
    if (m_jobActive)
        return;
    PageState& s = pageState();
    s.Canvas = &m_previewCanvas;
    s.Printing = false;
    m_paintFailed = false;
    // A minimised window is brought back first, to the state it had (maximised or normal).
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    if (isVisible()) {
        raise();
        activateWindow();
    } else {
        show();
    }
    repaintPage();
}

void TPrintForm::finishJob()
{
    PageState& s = pageState();
    s.Canvas = &m_previewCanvas;
    s.Printing = false;
    m_jobActive = false;
    ResetView(this);
    if (m_repaintPending) {
        m_repaintPending = false;
        repaintPage();
    }
}

void TPrintForm::PrintPage()
{
    if (m_jobActive)
        return;
    PreviewState& v = previewState();
    PageState& s = pageState();
    QPrinter& pr = printer();

    pr.setPageOrientation(IniReadBool(QStringLiteral("RotatedView")) ? QPageLayout::Landscape
                                                                     : QPageLayout::Portrait);
    // The page is the paper less what the printer cannot reach; the layout's margins come from
    // the settings and are drawn by the page itself.
    pr.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);

    // With no printer installed the job becomes a PDF file. Every PDF job gets a fresh name that
    // no earlier file has; only a name the user typed in this job's dialog may replace a file.
    const bool installed = PrinterInstalled ? PrinterInstalled() : false;
    if (!installed) {
        if (pr.outputFormat() != QPrinter::PdfFormat)
            pr.setOutputFormat(QPrinter::PdfFormat);
        pr.setPageSize(QPageSize(QPageSize::A4));
        m_pdfInPlaceOfPrinter = true;
    } else if (m_pdfInPlaceOfPrinter) {
        // A printer has come since the last job: back to it.
        pr.setOutputFormat(QPrinter::NativeFormat);
        m_pdfInPlaceOfPrinter = false;
    }
    const QString title = v.PrintTitle.isEmpty() ? pr.docName() : v.PrintTitle;
    QString pdfFolder;
    QString suggested;
    if (pr.outputFormat() == QPrinter::PdfFormat) {
        pdfFolder = tavlundpath(QStringLiteral("export/pdf"));
        suggested = FreePdfPath(pdfFolder, title);
        pr.setOutputFileName(suggested);
    }

    if (IniReadInteger(QStringLiteral("Skriver_VisDialog")) != 1) {
        if (!PrinterSetupDialog1 || !PrinterSetupDialog1(pr, this))
            return;
    }
    v.Rotated = pr.pageLayout().orientation() == QPageLayout::Landscape;

    QString finalPath;
    bool userChosen = false;
    if (pr.outputFormat() == QPrinter::PdfFormat) {
        const QString chosen = pr.outputFileName();
        userChosen = !chosen.isEmpty() && chosen != suggested;
        if (userChosen) {
            finalPath = QFileInfo(chosen).absoluteFilePath();
        } else {
            if (pdfFolder.isEmpty())
                pdfFolder = tavlundpath(QStringLiteral("export/pdf"));
            finalPath = suggested.isEmpty() ? FreePdfPath(pdfFolder, title) : suggested;
        }
    }

    s.Printing = true;
    m_jobActive = true;
    ResetView(this);
    if (!v.PrintTitle.isEmpty())
        pr.setDocName(v.PrintTitle);

    std::unique_ptr<PageCanvas> canvas(new (std::nothrow) PageCanvas(pr.resolution()));
    if (!canvas) {
        finishJob();
        ShowMessage(kCaptionError, QStringLiteral("Kan ikke opprette nytt printcanvas"));
        return;
    }

    // A PDF is written beside its final name and moved there only when the page is whole, so
    // that a failed job leaves no half file and an earlier file is never touched.
    std::unique_ptr<QTemporaryFile> partial;
    if (!finalPath.isEmpty()) {
        const QFileInfo target(finalPath);
        partial = std::make_unique<QTemporaryFile>(target.absolutePath() + QStringLiteral("/.") +
                                                   target.completeBaseName() + QStringLiteral("-XXXXXX.part"));
        partial->setAutoRemove(true);
        if (!partial->open()) {
            // The folder is at fault here, not the print canvas: the user is told which folder.
            const QString folder = target.absolutePath();
            LogLine("FEIL: Utskrift: kan ikke skrive i mappen " + folder);
            finishJob();
            throw UserError("Utskriften kunne ikke lagres i mappen " + QDir::toNativeSeparators(folder) +
                            ": mappen finnes ikke eller kan ikke ta imot filer.");
        }
        partial->close();
        pr.setOutputFileName(partial->fileName());
    }

    QPainter painter;
    if (!painter.begin(&pr)) {
        LogLine("FEIL: Utskrift: jobben kunne ikke starte på " +
                (finalPath.isEmpty() ? pr.printerName() : finalPath));
        if (!finalPath.isEmpty())
            pr.setOutputFileName(finalPath);
        finishJob();
        ShowMessage(kCaptionError, QStringLiteral("Kan ikke tilordne printpeker"));
        return;
    }
    canvas->bind(&painter);
    s.Canvas = canvas.get();

    try {
        if (v.PageProc)
            v.PageProc();
    } catch (...) {
        // The job ends here. A PDF is thrown away; a printer gets what was drawn, since Qt's print
        // engines cannot take back a started job.
        canvas->unbind();
        painter.end();
        if (!finalPath.isEmpty())
            pr.setOutputFileName(finalPath);
        finishJob();
        LogLine(QStringLiteral("FEIL: Utskrift: siden kunne ikke tegnes, jobben er avbrutt"));
        throw;
    }

    canvas->unbind();
    const bool ended = painter.end();
    v.PrintTitle.clear();
    canvas.reset();
    const bool printerFailed = !ended || pr.printerState() == QPrinter::Error;
    if (!finalPath.isEmpty())
        pr.setOutputFileName(finalPath);
    finishJob();

    if (finalPath.isEmpty()) {
        if (printerFailed)
            throw UserError("Utskriften kunne ikke sendes til skriveren " + pr.printerName() + ".");
        LogLine("Utskrift sendt til " + pr.printerName());
        return;
    }

    const QString written = partial->fileName();
    if (printerFailed || QFileInfo(written).size() == 0)
        throw UserError("Utskriften kunne ikke skrives til " + finalPath + ".");
    QString savedAs = finalPath;
    if (userChosen) {
        // The user named this file in the dialog and agreed to replace it there.
        if (std::rename(QFile::encodeName(written).constData(), QFile::encodeName(finalPath).constData()) != 0)
            throw UserError("Kan ikke lagre utskriften som " + finalPath + ".");
    } else {
        // QFile::rename never replaces an existing file; a name taken meanwhile moves on to the next.
        while (!QFile::rename(written, savedAs)) {
            if (!QFileInfo::exists(savedAs))
                throw UserError("Kan ikke lagre utskriften som " + savedAs + ".");
            savedAs = FreePdfPath(pdfFolder, title);
        }
    }
    partial->setAutoRemove(false);
    // The part file was private to this job; the PDF gets the mode any new file of the user gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(QFile::encodeName(savedAs).constData(), 0666 & ~mask);
    m_lastPdfFile = savedAs;
    pr.setOutputFileName(savedAs);
    LogLine("Utskrift lagret som " + savedAs);
    QString text = QStringLiteral("Utskriften er lagret som PDF-fil:\n") + QDir::toNativeSeparators(savedAs);
    if (!installed)
        text = QStringLiteral("Ingen skriver er installert. ") + text;
    ShowMessage(QStringLiteral("Utskrift"), text);
}

// ---------------------------------------------------------------------------------------------
// The entry points for every caller

void ShowPreview()
{
    TPrintForm* form = TPrintForm::instance();
    if (!form)
        throw UserError(QString::fromUtf8("Forhåndsvisningen er ikke opprettet."));
    form->ShowPreview();
}

void PrintPage()
{
    TPrintForm* form = TPrintForm::instance();
    if (!form)
        throw UserError(QString::fromUtf8("Forhåndsvisningen er ikke opprettet."));
    form->PrintPage();
}
