// "Test utskrift": the built-in page that uses every operation of the print layer once, so that a
// preview or a print shows at a glance whether lines, shapes, hatching, fonts, alignment and
// rotated text come out right.
#include "printing/utskrift.h"

void TestPage()
{
    PageHeader(QStringLiteral("Test utskrift"));
    SetPenWidth(1);

    // A pipe lying on its side: two edges, the left end as a half ellipse, the right end face
    // (filled white over the edges' ends) and its bore.
    SetOriginX(10);
    SetOriginY(40);
    DrawLine(20, 0, 140, 0);
    DrawLine(20, 100, 140, 0);
    DrawArc(0, 0, 40, 100, 20, 0, 20, 100);
    DrawEllipse(140, 0, 180, 100);
    DrawEllipse(143, 5, 177, 95);

    SetFont(QStringLiteral("Arial"), 10);
    DrawArrow(113, 10, 2, 3);

    SetOriginX(10);
    SetOriginY(170);
    DrawLine(100, 0, 0, 30);

    SetFont(QStringLiteral("Arial Black"), 12);
    TextAt(10, 0, QStringLiteral("TESTING"));
    HatchRect(21, 11, 29, 19, BrushDiagonalCross);
    HatchRect(21, 26, 29, 34, BrushDiagonalCross);

    // Right-aligned lines that end on one vertical line.
    for (const char* line : {"Test 123", "Ny linje under", "Skal være på", "Samme vertikale linje"}) {
        TextRight(100, QString::fromUtf8(line));
        LineFeed(1.0);
    }

    SetFont(QStringLiteral("Arial"), 10);
    TextAt(38, 24, QStringLiteral("Testing 1234"));

    PageFooter(QStringLiteral("tegningskilde: TEST"));

    // A ruler of 92 digits in the fixed-pitch font just below the header rule, then the
    // Norwegian capitals in two proportional fonts.
    SetFont(QStringLiteral("Courier New"), 10);
    SetOriginX(0);
    SetOriginY(0);
    QString ruler;
    for (int i = 0; i < 9; ++i)
        ruler += QStringLiteral("1234567890");
    ruler += QStringLiteral("12");
    TextAt(1, 21, ruler);

    SetFont(QStringLiteral("Arial"), 22);
    TextAt(1, 31, QString::fromUtf8("Dette er en test 123 ÆØÅ xxxx Dette er en test 123 ÆØÅ"));
    SetFont(QStringLiteral("Times New Roman"), 16);
    TextAt(1, 41, QString::fromUtf8("Dette er en test 123 ÆØÅ xxxx Dette er en test 123 xxx ÆØÅ "
                                    "Dette er en test 123 ÆØÅ"));

    // A fan of texts every 10 degrees about one point, the last one horizontal.
    SetFont(QStringLiteral("Arial"), 12);
    for (int i = 1; i <= 36; ++i)
        TextRotated(i * 100, 100, 250,
                    QStringLiteral("Rotert tekst, ") + QString::number(i * 10) + QStringLiteral(" grader"));
}
