// The framework's standard page dressing: the company header block (frame, millimetre grid, rule,
// green title bar, company name, address and contact table from the settings) and the footer.
// The company texts are read from the current settings section at every call, so a changed
// setting shows at the next paint.
#include "printing/utskrift.h"

#include "framework/kv_reg.h"

namespace {

QString Setting(const char* key) { return IniReadString(QLatin1String(key)); }

}  // namespace

void PageHeader(const QString& title)
{
    PageState& s = pageState();

    PageFrame();

    // Grid of 4 mm squares from 5 mm inside the frame's left edge and 25 mm below its top to
    // 5 mm inside its right and bottom edges.
    SetOriginX(5);
    SetOriginY(25);
    s.RightMm -= 5;
    s.BottomMm -= 5;
    GridLines(4, PageLightCyan);
    s.RightMm += 5;
    s.BottomMm += 5;

    SetOriginX(0);
    SetOriginY(0);
    SetPenWidth(2);
    PageCanvas* c = s.Canvas;
    if (c)
        c->penColor = PageBlack;

    // The header rule, 20 mm below the frame's top.
    const int rule = s.FrameTop + MmToPx(20);
    if (c)
        c->line(s.FrameLeft, rule, s.FrameRight, rule);

    // The title bar in the right half of the header band.
    if (c) {
        c->brushColor = PageGreen;
        c->roundRect(MmToPx(s.HalfWidth + 1 + s.OriginX), s.FrameTop + MmToPx(1),
                     s.FrameRight - MmToPx(1), s.FrameTop + MmToPx(19), MmToPx(5), MmToPx(5));
    }
    SetFont(QStringLiteral("Arial"), 20);
    if (c)
        c->fontColor = PageWhite;
    TextAt(s.HalfWidth + 4, 2, title);

    if (c) {
        c->brushColor = PageWhite;
        c->fontColor = PageBlack;
        c->fontBold = c->fontItalic = c->fontUnderline = c->fontStrikeOut = false;
    }

    // Company name and address on the left.
    SetFont(QStringLiteral("Arial"), 20);
    const QString headerFont = Setting("Skriver_HeaderFont");
    if (c && !headerFont.isEmpty())
        c->fontName = headerFont;
    TextAt(4, 2, Setting("Firma_Navn"));
    SetFont(QStringLiteral("Arial"), 12);
    TextAt(4, 14, Setting("Firma_PostNr") + QLatin1Char(' ') + Setting("Firma_PostSted"));

    // The contact table: a column of labels, then the values 2 mm right of the widest label.
    SetFont(QStringLiteral("Arial"), 6);
    SetOriginX(60);
    SetOriginY(3);
    s.LineAdvance = true;
    s.WidestText = 0;
    for (const char* label : {"e-post:", "telefon:", "telefax:", "mobiltlf.:", "org.nr.:"})
        TextLine(QString::fromUtf8(label));
    SetOriginX(s.WidestText + 62);
    SetOriginY(3);
    for (const char* key : {"Firma_Epost", "Firma_Telefon", "Firma_Telefax", "Firma_Mobil", "Firma_OrgNr"})
        TextLine(Setting(key));

    SetOriginX(0);
    SetOriginY(0);
    SetPenWidth(1);
}

void PageFooter(const QString& text)
{
    PageState& s = pageState();
    PageCanvas* c = s.Canvas;
    const int w = c ? c->textWidth(text) : 0;
    const int n = MmToPx(s.HalfWidth) - w / 2;

    const QString font = Setting("Skriver_Font");
    if (c && !font.isEmpty())
        c->fontName = font;
    SetFontSize(8);
    if (!c)
        return;
    c->fontColor = PageBlack;
    const int h = c->textHeight(QStringLiteral("@My"));
    c->textOut(s.FrameLeft + MmToPx(5), s.FrameBottom - (h + 10),
               QString::number(n) + QLatin1Char('-') + text);
}
