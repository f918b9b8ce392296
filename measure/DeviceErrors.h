// Texts of the main window's device error boxes. Pure logic (Qt Core strings
// only); used on the window thread.
#pragma once

#include <QString>

namespace hg {

enum class DeviceError { Init, Start };

// "Error while initializing input device: <entry>\r\nBASS error code: <code>"
// and the same with "starting" for a failed start.
QString DeviceErrorText(DeviceError kind, const QString &entry, int code);

} // namespace hg
