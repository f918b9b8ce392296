// Where the per-user folders of the desktop are: the stand-in for the shell's
// special-folder lookup. Pure (no Qt); called on the window thread at start-up.
#pragma once

#include <string>

namespace hg {

// The per-user, non-roaming application-data folder (the XDG configuration
// folder here).
inline constexpr int CSIDL_LOCAL_APPDATA = 28;

// The file-system path of the special folder `csidl`, without a trailing
// slash, or "" when the folder is unknown or cannot be found. Only
// CSIDL_LOCAL_APPDATA is known: $XDG_CONFIG_HOME when it is an absolute path,
// else $HOME/.config (when $HOME is an absolute path). Never throws.
std::string GetSpecialFolderPath(int csidl) noexcept;

} // namespace hg
