#pragma once
// A text put together from pieces in a fixed buffer, always terminated; pieces that do not fit
// are cut. For the sequence's messages and the lines it hands the system.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

template <std::size_t N>
class FixedText {
public:
    FixedText& operator<<(std::string_view piece)
    {
        const std::size_t count = std::min(piece.size(), N - 1 - length);
        std::memcpy(text + length, piece.data(), count);
        length += count;
        text[length] = '\0';
        return *this;
    }
    // Bytes from drives and packages made harmless for a line of plain text: anything but
    // printable ASCII becomes '?'.
    void MaskUnprintable()
    {
        std::replace_if(
            text, text + length, [](char c) { return c < 0x20 || c > 0x7E; }, '?');
    }
    std::string_view View() const { return std::string_view(text, length); }
    const char* Terminated() const { return text; }

private:
    char text[N] = {};
    std::size_t length = 0;
};
