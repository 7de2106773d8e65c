#pragma once
// The sequence's texts and the console's own (CliTexts.h) in the user's language for the console. On Linux: the system locale's
// catalogue, where the terminal's character set is UTF-8 (the only one the translations are
// written in); on Windows, and wherever no catalogue fits, the English texts.

#include <memory>

#include "update/Translatable.h"

namespace cli {

class CliLanguage {
public:
    CliLanguage();
    ~CliLanguage();
    CliLanguage(const CliLanguage&) = delete;
    CliLanguage& operator=(const CliLanguage&) = delete;

    // Null: the English texts.
    const TextTranslator* Texts() const;

private:
    struct Catalogue;
    std::unique_ptr<Catalogue> catalogue;
};

}  // namespace cli
