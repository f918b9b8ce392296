// The user's decimal separator through Qt Core's QLocale (see
// DecimalSeparator.h). Window thread.
#include "measure/core/DecimalSeparator.h"

#include <QLocale>

namespace hg {

std::string CurrentDecimalSeparator()
{
    return QLocale::system().decimalPoint().toStdString();
}

} // namespace hg
