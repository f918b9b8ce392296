// Fuzz target: the settings file from raw bytes to the PPI start-up uses.
// libFuzzer's thread.
#include "fuzz_checks.h"
#include "fuzz_main.h"

HG_FUZZ_TARGET(hgfuzz::CheckSettingsInput)
