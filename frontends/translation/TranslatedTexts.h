#pragma once
// The sequence's texts (update/SequenceTexts.h) in the user's language, translated once when
// the front end starts and kept as UTF-8 for the sequence to show and compose.

#include <QtCore/QByteArray>
#include <span>
#include <string_view>
#include <vector>

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
    // From one catalogue; one that holds nothing leaves every text as it is. The sources are the
    // sequence's texts, or a front end's longer list of them (in the same context); they are
    // kept, not copied.
    explicit TranslatedTexts(const QTranslator& translator,
                             std::span<const std::string_view> sources = texts::kTranslatable);

    std::string_view Translated(std::string_view source) const override;

private:
    void Keep(std::size_t index, const QString& translation);

    std::span<const std::string_view> sources;
    // Empty where the source text stands.
    std::vector<QByteArray> translated;
};

}  // namespace translation
