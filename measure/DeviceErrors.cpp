// Texts of the device error boxes (see DeviceErrors.h).
#include "DeviceErrors.h"

namespace hg {

QString DeviceErrorText(DeviceError kind, const QString &entry, int code)
{
    const QString head = kind == DeviceError::Init ? QStringLiteral("Error while initializing input device: ")
                                                   : QStringLiteral("Error while starting input device: ");
    return head + entry + QStringLiteral("\r\n") + QStringLiteral("BASS error code: ") + QString::number(code);
}

} // namespace hg
