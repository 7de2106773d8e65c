#pragma once
// The sequence's texts (update/SequenceTexts.h) in the user's language, translated once when
// the front end starts and kept as UTF-8 for the sequence to show and compose.

#include <QtCore/QByteArray>
#include <array>
#include <string_view>

#include "update/SequenceTexts.h"
#include "update/Translatable.h"

class QTranslator;

namespace translation {

// The catalogue context of the sequence's texts.
inline constexpr char kSequenceContext[] = "Norvik";

class TranslatedTexts : public TextTranslator {
public:
    // From the translators installed in the application.
    TranslatedTexts();
    // From one catalogue; one that holds nothing leaves every text as it is.
    explicit TranslatedTexts(const QTranslator& translator);

    std::string_view Translated(std::string_view source) const override;

private:
    void Keep(std::size_t index, const QString& translation);

    // Empty where the source text stands.
    std::array<QByteArray, texts::kTranslatable.size()> translated;
};

}  // namespace translation
