#include "frontends/cli/CliLanguage.h"

namespace cli {

// The console program for Windows carries no catalogue yet: its texts stay English.
struct CliLanguage::Catalogue {};

CliLanguage::CliLanguage() = default;

CliLanguage::~CliLanguage() = default;

const TextTranslator* CliLanguage::Texts() const { return nullptr; }

}  // namespace cli
