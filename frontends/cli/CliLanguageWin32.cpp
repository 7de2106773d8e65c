#include <windows.h>

#include "frontends/cli/CliLanguage.h"
#include "frontends/cli/TextTable.h"

namespace cli {

// The German table where the user's interface language is German and the console shows UTF-8
// (chcp 65001), the only character set the translations are written in; English otherwise.
struct CliLanguage::Catalogue {
    TableTranslator texts{GermanTexts()};
};

CliLanguage::CliLanguage()
{
    const bool german = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_GERMAN;
    if (german && GetConsoleOutputCP() == CP_UTF8) catalogue = std::make_unique<Catalogue>();
}

CliLanguage::~CliLanguage() = default;

const TextTranslator* CliLanguage::Texts() const { return catalogue != nullptr ? &catalogue->texts : nullptr; }

}  // namespace cli
