#include "frontends/cli/TextTable.h"

namespace cli {

namespace {

constexpr TextPair kGermanTexts[] = {
#include "GermanTexts.inc"
};

}  // namespace

std::span<const TextPair> GermanTexts() { return kGermanTexts; }

std::string_view TableTranslator::Translated(std::string_view source) const
{
    for (const TextPair& pair : pairs)
        if (source == pair.source && TranslationFits(source, pair.translation)) return pair.translation;
    return source;
}

}  // namespace cli
