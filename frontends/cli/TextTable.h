#pragma once
// Translations carried in the program's own data, as pairs of source and translation, for a
// console program that loads no catalogue (the one for Windows). The German table is made at
// build time from the same catalogue as the Qt programs' (data/translations/norvik_de.ts).

#include <span>
#include <string_view>

#include "update/Translatable.h"

namespace cli {

struct TextPair {
    const char* source;
    const char* translation;
};

// The German catalogue's translations of the sequence's texts.
std::span<const TextPair> GermanTexts();

class TableTranslator : public TextTranslator {
public:
    explicit TableTranslator(std::span<const TextPair> pairs) : pairs(pairs) {}
    // A translation that does not fit its source (TranslationFits) is not used.
    std::string_view Translated(std::string_view source) const override;

private:
    std::span<const TextPair> pairs;
};

}  // namespace cli
