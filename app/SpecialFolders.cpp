// The special-folder lookup over the XDG base-directory variables. Pure (no
// Qt); called on the window thread at start-up.
#include "SpecialFolders.h"

#include <cstdlib>
#include <string_view>

namespace hg {

namespace {

// An environment variable's value when it is an absolute path, else "".
// Trailing slashes are dropped ("/" itself stays), as the path is used as a
// folder that further components are appended to.
std::string AbsoluteFromEnv(const char *name)
{
    const char *value = std::getenv(name);
    if (value == nullptr || value[0] != '/')
        return {};
    std::string path(value);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

std::string GetSpecialFolderPath(int csidl) noexcept
{
    try {
        if (csidl != CSIDL_LOCAL_APPDATA)
            return {};
        if (std::string config = AbsoluteFromEnv("XDG_CONFIG_HOME"); !config.empty())
            return config;
        std::string home = AbsoluteFromEnv("HOME");
        if (home.empty())
            return {};
        if (home == "/")
            home.clear();
        return home + "/.config";
    } catch (...) {
        return {};
    }
}

} // namespace hg
