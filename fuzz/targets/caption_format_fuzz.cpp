// Fuzz target: the display's caption number formats and caption texts.
// libFuzzer's thread.
#include "fuzz_checks.h"
#include "fuzz_main.h"

HG_FUZZ_TARGET(hgfuzz::CheckCaptionFormatInput)
