#include "WireCodec.h"

#include <charconv>
#include <cstdlib>

namespace zirv::wire {

namespace {

constexpr std::array<size_t, 4> hyphenPositions{8, 13, 18, 23};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string uuidText(const QUuid& uuid)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    const QByteArray bytes = uuid.toRfc4122();
    std::string text;
    text.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text.push_back('-');
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0f]);
    }
    return text;
}

std::optional<QUuid> parseUuid(std::string_view text)
{
    if (text.size() != 36)
        return std::nullopt;
    std::array<char, 16> bytes{};
    size_t out = 0;
    for (size_t i = 0; i < 36;) {
        if (i == hyphenPositions[0] || i == hyphenPositions[1] || i == hyphenPositions[2]
            || i == hyphenPositions[3]) {
            if (text[i] != '-')
                return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[out++] = static_cast<char>((high << 4) | low);
        i += 2;
    }
    return QUuid::fromRfc4122(QByteArrayView(bytes.data(), 16));
}

nlohmann::json floatJson(float value)
{
    // Widening 0.1f gives 0.100000001490116...; going through the float's
    // shortest decimal form writes 0.1 as the sender meant it.
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc())
        return static_cast<double>(value);
    *end = '\0';
    return std::strtod(buffer, nullptr);
}

} // namespace zirv::wire
