#include <cstdlib>
#include <cstring>
#include <string_view>

#include "frontends/cli/CliLanguage.h"
#include "frontends/cli/CliTexts.h"
#include "frontends/translation/TranslatedTexts.h"
#include "frontends/translation/UserLanguage.h"

namespace cli {

namespace {

// Whether the environment names UTF-8 as the character set (LC_ALL, else LC_CTYPE, else LANG,
// as the C library takes them). Read from the name, since the locale itself need not be
// generated on the machine for the terminal to take UTF-8.
bool TerminalTakesUtf8()
{
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        name = std::getenv(variable);
        if (name != nullptr && name[0] != '\0') break;
    }
    if (name == nullptr) return false;
    const char* codeset = std::strchr(name, '.');
    if (codeset == nullptr) return false;
    const std::string_view set(codeset + 1, std::strcspn(codeset + 1, "@"));
    return set == "UTF-8" || set == "utf8" || set == "UTF8" || set == "utf-8";
}

}  // namespace

struct CliLanguage::Catalogue {
    translation::UserLanguage language{QLocale::system(), translation::CatalogueDirectories()};
    translation::TranslatedTexts texts{language.Own(), console::kTranslatable};
};

CliLanguage::CliLanguage()
{
    if (!TerminalTakesUtf8()) return;
    catalogue = std::make_unique<Catalogue>();
    if (!catalogue->language.Translated()) catalogue.reset();
}

CliLanguage::~CliLanguage() = default;

const TextTranslator* CliLanguage::Texts() const { return catalogue != nullptr ? &catalogue->texts : nullptr; }

}  // namespace cli
