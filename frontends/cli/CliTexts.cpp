#include "frontends/cli/CliTexts.h"

namespace cli {

namespace {

const TextTranslator* consoleTranslator = nullptr;

}  // namespace

void SetConsoleTranslator(const TextTranslator* translator) { consoleTranslator = translator; }

const TextTranslator* ConsoleTranslator() { return consoleTranslator; }

std::string_view ConsoleText(std::string_view source)
{
    return consoleTranslator != nullptr ? consoleTranslator->Translated(source) : source;
}

// The marked texts are literals and the translations are kept terminated.
const char* ConsoleFormat(std::string_view source) { return ConsoleText(source).data(); }

}  // namespace cli
