// Emptying the temporary folders at start-up.
#include "framework/kv_reg.h"

void CleanTemporaryFiles(bool) {}
