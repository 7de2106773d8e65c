#include "update/Translatable.h"

#include <string>

namespace {

constexpr std::string_view kRevisionGap = "  ";

// The printf conversions of a text, each from its '%' to its conversion letter, one after the
// other; a '%' without a conversion letter after it stands for itself.
std::string ConversionsOf(std::string_view text)
{
    std::string conversions;
    for (std::size_t at = text.find('%'); at != std::string_view::npos; at = text.find('%', at)) {
        const std::size_t end = text.find_first_of("%csdioxXufFeEgGaApn", at + 1);
        if (end == std::string_view::npos) return conversions + "%?";
        conversions.append(text.substr(at, end - at + 1)).push_back(' ');
        at = end + 1;
    }
    return conversions;
}

}  // namespace

bool TranslationFits(std::string_view source, std::string_view translation)
{
    if (translation.empty() || ConversionsOf(source) != ConversionsOf(translation)) return false;
    return source.find(kRevisionGap) == std::string_view::npos ||
           translation.find(kRevisionGap) != std::string_view::npos;
}
