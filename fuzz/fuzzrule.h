#pragma once
// The fuzz targets' rules: a broken rule names its file, line and text on stderr and aborts,
// which fails the run (libFuzzer keeps the input; the replay program reports it).
#include <cstdio>
#include <cstdlib>

inline void FuzzRuleCheck(bool rule, const char* text, const char* file, int line)
{
    if (rule)
        return;
    std::fprintf(stderr, "%s:%d: broken rule: %s\n", file, line, text);
    std::abort();
}
#define Require(rule) FuzzRuleCheck((rule), #rule, __FILE__, __LINE__)
