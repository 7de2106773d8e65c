#include "frontends/translation/TranslatedTexts.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTranslator>
#include <string>

namespace translation {

namespace {

constexpr std::string_view kRevisionGap = "  ";

// The printf conversions of a text, each from its '%' to its conversion letter, one after the
// other.
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

TranslatedTexts::TranslatedTexts()
{
    for (std::size_t i = 0; i < texts::kTranslatable.size(); ++i)
        Keep(i, QCoreApplication::translate(kSequenceContext, texts::kTranslatable[i].data()));
}

TranslatedTexts::TranslatedTexts(const QTranslator& translator)
{
    for (std::size_t i = 0; i < texts::kTranslatable.size(); ++i)
        Keep(i, translator.translate(kSequenceContext, texts::kTranslatable[i].data()));
}

void TranslatedTexts::Keep(std::size_t index, const QString& translation)
{
    const QByteArray utf8 = translation.toUtf8();
    const std::string_view source = texts::kTranslatable[index];
    const std::string_view candidate(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    if (candidate != source && TranslationFits(source, candidate)) translated[index] = utf8;
}

// Texts of equal wording share a translation.
std::string_view TranslatedTexts::Translated(std::string_view source) const
{
    for (std::size_t i = 0; i < texts::kTranslatable.size(); ++i) {
        if (texts::kTranslatable[i] != source || translated[i].isEmpty()) continue;
        return std::string_view(translated[i].constData(), static_cast<std::size_t>(translated[i].size()));
    }
    return source;
}

}  // namespace translation
