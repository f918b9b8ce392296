// The settings file's place (XDG configuration folder) and the reading of
// one integer from it with inih. Pure (no Qt); window thread, at start-up.
#include "SettingsFile.h"

#include "SpecialFolders.h"

#include <cerrno>
#include <cstdio>
#include <strings.h>

#include <fcntl.h>
#include <ini.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hg {

namespace {

constexpr std::string_view kSettingsSubFolder = "/Orvelle/Hushgauge/";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Digits of `base` (10 or 16) as a magnitude; nullopt for no digits, a
// non-digit, or a magnitude above 2^31 (the largest a negative int32 needs).
std::optional<std::int64_t> ParseMagnitude(std::string_view digits, int base)
{
    if (digits.empty())
        return std::nullopt;
    constexpr std::int64_t kLimit = std::int64_t{1} << 31;
    std::int64_t value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0 || d >= base)
            return std::nullopt;
        value = value * base + d;
        if (value > kLimit)
            return std::nullopt;
    }
    return value;
}

// The path of the running executable, "" when it cannot be read.
std::string OwnExecutablePath()
{
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size())
        return {};
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
}

// Creates every missing folder of `folder` (an absolute path) with mode 0700.
// Failures are left for the read to find out (it then finds no file).
void CreateFolderChain(const std::string &folder)
{
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
    }
    if (!folder.empty() && folder.back() != '/')
        ::mkdir(folder.c_str(), 0700);
}

struct ProfileLookup {
    std::string_view section;
    std::string_view key;
    bool found = false;
    bool failed = false; // the value could not be kept (out of memory)
    std::string value;
};

// Names compare without regard to case or surrounding blanks.
bool SameName(const char *name, std::string_view wanted)
{
    const std::string_view have = Trim(name);
    return have.size() == wanted.size() &&
           ::strncasecmp(have.data(), wanted.data(), wanted.size()) == 0;
}

int ProfileHandler(void *user, const char *section, const char *name, const char *value)
{
    // Called from inih's C code: nothing may be thrown through it.
    auto *lookup = static_cast<ProfileLookup *>(user);
    if (!lookup->found && SameName(section, lookup->section) && SameName(name, lookup->key)) {
        lookup->found = true;
        try {
            lookup->value = value;
        } catch (...) {
            lookup->failed = true;
        }
    }
    return 1;
}

} // namespace

std::string SettingsFileName(std::string_view invokedAs)
{
    const std::size_t slash = invokedAs.rfind('/');
    std::string_view name = slash == std::string_view::npos ? invokedAs : invokedAs.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return {};
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0)
        name = name.substr(0, dot);
    return std::string(name) + ".ini";
}

std::string GetSettingsFilePath(std::string_view invokedAs) noexcept
{
    try {
        std::string base = GetSpecialFolderPath(CSIDL_LOCAL_APPDATA);
        // Without a configuration folder there is no settings file: the
        // folder is not made at the root of the file system instead.
        if (base.empty())
            return {};
        if (base == "/")
            base.clear(); // the sub-folder starts with its own slash
        std::string name = SettingsFileName(invokedAs);
        if (name.empty())
            name = SettingsFileName(OwnExecutablePath());
        if (name.empty())
            return {};
        const std::string folder = base + std::string(kSettingsSubFolder);
        CreateFolderChain(folder);
        return folder + name;
    } catch (...) {
        return {};
    }
}

std::string GetSettingsFilePath() noexcept
{
    // glibc keeps argv[0] as the program was invoked; it may be null when the
    // program was started with an empty argument vector.
    const char *invokedAs = program_invocation_name;
    return GetSettingsFilePath(invokedAs != nullptr ? std::string_view(invokedAs) : std::string_view());
}

std::optional<std::int32_t> ParseProfileInt(std::string_view text)
{
    text = Trim(text);
    std::optional<std::int64_t> magnitude;
    bool negative = false;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        magnitude = ParseMagnitude(text.substr(2), 16);
    } else if (!text.empty() && text[0] == '$') {
        magnitude = ParseMagnitude(text.substr(1), 16);
    } else {
        if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
            negative = text[0] == '-';
            text.remove_prefix(1);
        }
        magnitude = ParseMagnitude(text, 10);
    }
    if (!magnitude)
        return std::nullopt;
    const std::int64_t value = negative ? -*magnitude : *magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::int32_t ReadProfileInt(const std::string &path, std::string_view section,
                            std::string_view key, std::int32_t defaultValue) noexcept
{
    if (path.empty())
        return defaultValue;
    try {
        // Non-blocking open, then only a regular file is read: a fifo or a
        // device planted under the settings name must not hang the start.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return defaultValue;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return defaultValue;
        }
        std::FILE *file = ::fdopen(fd, "r");
        if (file == nullptr) {
            ::close(fd);
            return defaultValue;
        }
        ProfileLookup lookup;
        lookup.section = section;
        lookup.key = key;
        ::ini_parse_file(file, ProfileHandler, &lookup);
        std::fclose(file);
        if (!lookup.found || lookup.failed)
            return defaultValue;
        return ParseProfileInt(lookup.value).value_or(defaultValue);
    } catch (...) {
        return defaultValue;
    }
}

} // namespace hg
