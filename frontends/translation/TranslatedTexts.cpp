#include "frontends/translation/TranslatedTexts.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTranslator>

namespace translation {

TranslatedTexts::TranslatedTexts() : sources(texts::kTranslatable), translated(sources.size())
{
    for (std::size_t i = 0; i < sources.size(); ++i)
        Keep(i, QCoreApplication::translate(kSequenceContext, sources[i].data()));
}

TranslatedTexts::TranslatedTexts(const QTranslator& translator, std::span<const std::string_view> sources)
    : sources(sources), translated(sources.size())
{
    for (std::size_t i = 0; i < sources.size(); ++i) Keep(i, translator.translate(kSequenceContext, sources[i].data()));
}

void TranslatedTexts::Keep(std::size_t index, const QString& translation)
{
    const QByteArray utf8 = translation.toUtf8();
    const std::string_view source = sources[index];
    const std::string_view candidate(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    if (candidate != source && TranslationFits(source, candidate)) translated[index] = utf8;
}

// Texts of equal wording share a translation.
std::string_view TranslatedTexts::Translated(std::string_view source) const
{
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (sources[i] != source || translated[i].isEmpty()) continue;
        return std::string_view(translated[i].constData(), static_cast<std::size_t>(translated[i].size()));
    }
    return source;
}

}  // namespace translation
