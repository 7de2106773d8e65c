#pragma once
// Texts that a person reads are written in English here and translated by the front end that
// shows them: the core has no toolkit. The marker leaves the text as it is; lupdate finds it
// (as an alias of QT_TRANSLATE_NOOP) and puts it into the translators' catalogue.

#include <string_view>

#define NORVIK_TRANSLATABLE(context, text) text

// Whether a translation may stand for its source: not empty, the same printf conversions in the
// same order (the sequence hands formats to printf), and the revision gap kept where the source
// has one (a window places the old revision in it). A front end shows the source otherwise.
bool TranslationFits(std::string_view source, std::string_view translation);

// A front end's translations of the core's texts. Translated gives the text in the user's
// language, or the source itself where there is none; the result is terminated and lives as
// long as the translator.
class TextTranslator {
public:
    virtual ~TextTranslator() = default;
    virtual std::string_view Translated(std::string_view source) const = 0;
};
