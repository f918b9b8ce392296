// The per-user settings file: where it is and how one integer is read from
// it. Pure (no Qt); used on the window thread at start-up. The program never
// writes the file; it only creates the folder that holds it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hg {

// The settings file's name for a program invoked as `invokedAs` (argv[0]):
// its last path component with the last extension replaced by ".ini", or
// ".ini" appended when it has none ("hushgauge" -> "hushgauge.ini",
// "hg.bin" -> "hg.ini"). A leading dot starts no extension (".hg" ->
// ".hg.ini"). "" when `invokedAs` names no file ("", "dir/", ".", "..").
std::string SettingsFileName(std::string_view invokedAs);

// The full path of the settings file: the local application-data folder +
// "/Orvelle/Hushgauge/" + SettingsFileName(invokedAs), or of the running
// executable (/proc/self/exe) when `invokedAs` names no file. Creates the
// missing folders of that chain with mode 0700 and ignores whether that
// worked. Returns "" on any error, also when there is no application-data
// folder. Never throws.
std::string GetSettingsFilePath(std::string_view invokedAs) noexcept;

// The same for this process, invoked as its argv[0].
std::string GetSettingsFilePath() noexcept;

// An integer of the settings file: optional surrounding blanks, then an
// optional sign and decimal digits, or "0x", "0X" or "$" and hexadecimal
// digits. Nothing else is an integer, and neither is a value outside the
// signed 32-bit range.
std::optional<std::int32_t> ParseProfileInt(std::string_view text);

// The integer of `key` in `section` of the INI file at `path` (names compared
// without regard to case; the first matching key wins), or `defaultValue`
// when the file cannot be read, is no regular file, lacks the key or holds no
// integer there. Only reads. Never throws.
std::int32_t ReadProfileInt(const std::string &path, std::string_view section,
                            std::string_view key, std::int32_t defaultValue) noexcept;

} // namespace hg
