#pragma once
// Bokmål for the texts Qt's own file dialog shows (Debian ships no Bokmål translation of Qt),
// so the open dialog speaks the same language as the rest of the program.
#include <QTranslator>

class NorwegianTexts : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
};
