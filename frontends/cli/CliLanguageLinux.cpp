#include <langinfo.h>

#include <clocale>
#include <cstring>
#include <string>

#include "frontends/cli/CliLanguage.h"
#include "frontends/translation/TranslatedTexts.h"
#include "frontends/translation/UserLanguage.h"

namespace cli {

namespace {

// Whether the environment's character set is UTF-8. The program's own locale stays "C", so that
// nothing else it prints changes.
bool TerminalTakesUtf8()
{
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string kept = current != nullptr ? current : "C";
    const bool utf8 = std::setlocale(LC_CTYPE, "") != nullptr && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    std::setlocale(LC_CTYPE, kept.c_str());
    return utf8;
}

}  // namespace

struct CliLanguage::Catalogue {
    translation::UserLanguage language{QLocale::system(), translation::CatalogueDirectories()};
    translation::TranslatedTexts texts{language.Own()};
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
