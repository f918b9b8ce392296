// The decimal separator comes from the user's locale (Qt's own locale data,
// so no system locale needs to be installed). Its own binary, because it
// sets the process's locale environment before Qt first reads it.
#include "measure/core/DecimalSeparator.h"
#include "measure/core/Readout.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(CurrentDecimalSeparator, IsTheLocalesSeparator)
{
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    const std::string separator = hg::CurrentDecimalSeparator();
    EXPECT_EQ(separator, ",");
    EXPECT_EQ(hg::ReadoutText(0.012345f, 0.000015, separator),
              "Peak: 1,2350% / -38,2 dB | Avg: -96,5 dB");
}

} // namespace
