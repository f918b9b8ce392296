// Reading fuzzer input bytes as typed values, and the checks' shared
// helpers. Used by the fuzz targets and by the regression tests that replay
// their inputs; single-threaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace hgfuzz {

// Takes values from the front of the input; past its end every value reads
// as zero bytes, so that any input, even an empty one, decodes.
class ByteReader {
public:
    ByteReader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    template <class T> T take()
    {
        unsigned char bytes[sizeof(T)] = {};
        const std::size_t n = size_ < sizeof(T) ? size_ : sizeof(T);
        if (n > 0)
            std::memcpy(bytes, data_, n);
        data_ += n;
        size_ -= n;
        T value;
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

    // Whatever is left, as text.
    std::string_view rest() const
    {
        return std::string_view(reinterpret_cast<const char *>(data_), size_);
    }

private:
    const std::uint8_t *data_;
    std::size_t size_;
};

// Decimal separators a locale may have: one byte, and several bytes of
// UTF-8 (Arabic decimal separator U+066B, narrow no-break space U+202F).
inline constexpr std::string_view kSeparators[] = {".", ",", "\xD9\xAB", "\xE2\x80\xAF", "'"};
inline constexpr std::size_t kSeparatorCount = sizeof kSeparators / sizeof kSeparators[0];

inline std::string_view PickSeparator(std::uint8_t choice)
{
    return kSeparators[choice % kSeparatorCount];
}

} // namespace hgfuzz
