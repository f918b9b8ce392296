// Checks of the settings file's reading path: raw bytes as the whole file,
// read through inih and the integer format as start-up reads its scaling
// value, and the integer format against a reference reading built on
// std::from_chars. Single-threaded (one temporary file per process).
#include "fuzz_checks.h"
#include "fuzz_input.h"

#include "DPIFunctions.h"
#include "SettingsFile.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace hgfuzz {

namespace {

// A file in a private temporary folder, removed at exit. The folder lies in
// memory (/dev/shm) where there is one: a run rewrites the file many
// thousand times a second.
const std::string &TemporarySettingsPath()
{
    static const std::string path = [] {
        const char *base = std::getenv("TMPDIR");
        struct stat st {};
        const char *root = base != nullptr && *base == '/'          ? base
                           : ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm"
                                                                    : "/tmp";
        std::string dir = std::string(root) + "/hg-fuzz-settings.XXXXXX";
        if (::mkdtemp(dir.data()) == nullptr)
            return std::string();
        static std::string removeDir = dir;
        static std::string removeFile = dir + "/hushgauge.ini";
        std::atexit([] {
            ::unlink(removeFile.c_str());
            ::rmdir(removeDir.c_str());
        });
        return removeFile;
    }();
    return path;
}

bool WriteWhole(const std::string &path, std::string_view bytes)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The settings file's integer format, read another way: from_chars does
// the digits and their range.
std::optional<std::int32_t> ReferenceInt(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    int base = 10;
    bool negative = false;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.starts_with("$")) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.starts_with("+") || text.starts_with("-")) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars takes no sign of its own here, and a text of digits only.
    if (text.empty() || text.front() == '-' || text.front() == '+')
        return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    if (magnitude > (negative ? 2147483648ull : 2147483647ull))
        return std::nullopt;
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                              : static_cast<std::int64_t>(magnitude));
}

std::string Show(std::string_view bytes)
{
    std::string out;
    for (unsigned char c : bytes.substr(0, 80)) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            out += esc;
        }
    }
    return out + (bytes.size() > 80 ? "..." : "");
}

std::string ShowInt(std::optional<std::int32_t> v) { return v ? std::to_string(*v) : "none"; }

} // namespace

std::string CheckSettingsInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);

    const std::optional<std::int32_t> parsed = hg::ParseProfileInt(bytes);
    const std::optional<std::int32_t> reference = ReferenceInt(bytes);
    if (parsed != reference)
        return "ParseProfileInt(\"" + Show(bytes) + "\") gives " + ShowInt(parsed) + ", the reference " +
               ShowInt(reference);

    const std::string &path = TemporarySettingsPath();
    if (path.empty() || !WriteWhole(path, bytes))
        return "the temporary settings file cannot be written";
    const std::int32_t value = hg::ReadProfileInt(path, "Display", "Scaling", 0);
    const std::int32_t ppi = hg::UsableScalingSetting(value);
    const bool inRange = value >= hg::kMinScalingPPI && value <= hg::kMaxScalingPPI;
    if (ppi != (inRange ? value : 0))
        return "settings file \"" + Show(bytes) + "\": value " + std::to_string(value) + " gives PPI " +
               std::to_string(ppi);

    // The same bytes as the value of the key, in a file whose names differ
    // in case and blanks: the file gives what the integer format gives. Only
    // for a value that inih hands on whole (one short line, no comment).
    const bool plainValue =
        size < 100 && std::none_of(bytes.begin(), bytes.end(), [](char c) {
            return c == '\n' || c == '\r' || c == ';' || c == '#' || c == '\0';
        });
    if (plainValue) {
        const std::string file = "; Hushgauge\n[ display ]\nscaling=1\n[DISPLAY]\n  SCALING =" + std::string(bytes) +
                                 "\nScaling=7\n[Other]\nScaling=5\n";
        if (!WriteWhole(path, file))
            return "the temporary settings file cannot be written";
        const std::int32_t read = hg::ReadProfileInt(path, "Display", "Scaling", -1);
        // The first matching key wins: that is the one of "[ display ]".
        if (read != 1)
            return "the first \"Scaling\" of \"Display\" is not the one read (" + std::to_string(read) + ")";
        const std::string second = "[DISPLAY]\n  SCALING =" + std::string(bytes) + "\nScaling=7\n";
        if (!WriteWhole(path, second))
            return "the temporary settings file cannot be written";
        const std::int32_t again = hg::ReadProfileInt(path, "Display", "Scaling", -1);
        const std::int32_t expected = reference.value_or(-1);
        if (again != expected)
            return "settings value \"" + Show(bytes) + "\" reads as " + std::to_string(again) + ", not " +
                   std::to_string(expected);
    }
    return "";
}

} // namespace hgfuzz
