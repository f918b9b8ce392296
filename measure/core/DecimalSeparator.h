// The decimal separator of the user's locale, for the readout texts. Window
// thread (QLocale::system() is read each time, so a text made after the
// locale changed uses the new separator).
#pragma once

#include <string>

namespace hg {

// The system locale's decimal separator as UTF-8 ("." or "," and the like).
std::string CurrentDecimalSeparator();

} // namespace hg
