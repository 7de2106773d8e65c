// The front ends' translations: the language taken from the locale, the English texts kept
// byte for byte where there is no catalogue, the catalogues holding every marked text, the
// rule a translation must keep, and the console showing translated characters but no control.

#include <QtCore/QFile>
#include <QtCore/QXmlStreamReader>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "device/DriveRecord.h"
#include "frontends/cli/CliCommands.h"
#include "frontends/cli/CliOptions.h"
#include "frontends/cli/CliTexts.h"
#include "frontends/cli/TerminalView.h"
#include "frontends/cli/TextTable.h"
#include "frontends/translation/TranslatedTexts.h"
#include "frontends/translation/UserLanguage.h"
#include "package/PackageFromFile.h"
#include "package/PackageReader.h"
#include "payload/PackageBlock.h"
#include "update/SequenceTexts.h"

namespace {

using translation::TranslatedTexts;
using translation::UserLanguage;

TranslatedTexts TextsFor(const char* locale)
{
    const UserLanguage language(QLocale(QLatin1String(locale)), {QStringLiteral(NORVIK_BUILD_TRANSLATIONS_DIR)});
    return TranslatedTexts(language.Own(), cli::console::kTranslatable);
}

class LocaleTest : public testing::TestWithParam<std::pair<const char*, bool>> {};

TEST_P(LocaleTest, TextsFollowTheLocaleAndStayEnglishWithoutACatalogue)
{
    const auto [locale, german] = GetParam();
    const TranslatedTexts texts = TextsFor(locale);
    const std::map<std::string_view, std::string_view> translations = {
        {texts::kUpdated, "Die Firmware wurde erfolgreich aktualisiert !"},
        {texts::kWillBeUpdated, "Es wird aktualisiert von             auf"},
        {texts::kDriveNotOpenedFormat, "%s.\nDieses Laufwerk wird nicht aktualisiert."},
        {cli::console::kNotAllowedFormat, "nicht erlaubt: %.*s"},
    };
    for (const auto& [source, translated] : translations) {
        const std::string_view shown = texts.Translated(source);
        EXPECT_EQ(shown, german ? translated : source);
        EXPECT_EQ(shown.data()[shown.size()], '\0');
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, LocaleTest,
                         testing::Values(std::pair{"C", false}, std::pair{"en_US", false}, std::pair{"xx_YY", false},
                                         std::pair{"de_DE", true}));

// The sequence's sources of a catalogue, each with its finished translation (empty: none).
std::map<std::string, std::string> ReadCatalogue(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    std::map<std::string, std::string> messages;
    QXmlStreamReader xml(&file);
    QString context, source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("name")) context = xml.readElementText();
        if (xml.name() == QLatin1String("source")) source = xml.readElementText();
        if (xml.name() != QLatin1String("translation") || context != QLatin1String(translation::kSequenceContext))
            continue;
        const bool unfinished = !xml.attributes().value(QLatin1String("type")).isEmpty();
        messages[source.toStdString()] = unfinished ? std::string() : xml.readElementText().toStdString();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return messages;
}

// The console's table (the Windows program's) is made from the German catalogue by the build's
// own reader of it: it must say what lrelease's catalogue says, text for text.
TEST(Catalogues, TheTemplateTheGermanCatalogueAndTheConsoleTableHoldEveryMarkedText)
{
    const auto made = ReadCatalogue(QStringLiteral(NORVIK_BUILD_TRANSLATIONS_DIR "/norvik.ts"));
    const auto german = ReadCatalogue(QStringLiteral(NORVIK_SOURCE_TRANSLATIONS_DIR "/norvik_de.ts"));
    const TranslatedTexts catalogue = TextsFor("de_DE");
    const cli::TableTranslator table(cli::GermanTexts());
    EXPECT_EQ(made.size(), german.size());
    for (const std::string_view text : cli::console::kTranslatable) {
        const std::string source(text);
        EXPECT_EQ(made.count(source), 1u) << "not gathered: " << source;
        ASSERT_EQ(german.count(source), 1u) << "not in the German catalogue: " << source;
        EXPECT_TRUE(TranslationFits(text, german.at(source))) << source;
        EXPECT_EQ(table.Translated(text), catalogue.Translated(text)) << source;
    }
    const cli::TextPair misfit[] = {{texts::kDriveNotOpenedFormat, "%d.\nNicht aktualisiert."}};
    EXPECT_EQ(cli::TableTranslator(misfit).Translated(texts::kDriveNotOpenedFormat), texts::kDriveNotOpenedFormat);
}

// The console finds the package reader's refusals by their words, so the two must agree.
TEST(Catalogues, TheConsoleWordsAPackageRefusalAsThePackageReaderDoes)
{
    const auto package = std::make_unique<PackageFromFile>();
    std::string reason;
    EXPECT_FALSE(ReadPackageFromFile(NORVIK_BUILD_TRANSLATIONS_DIR, *package, reason));
    EXPECT_EQ(reason, cli::console::kIsDirectory);
}

// Under the console's German table (the Windows program's), list's verdicts and a usage error
// are German for the person, while the usage error handed on for the JSON document stays English.
TEST(Translations, TheConsoleShowsItsOwnTextsInGermanAndKeepsTheEnglishForJson)
{
    const cli::TableTranslator german(cli::GermanTexts());
    cli::SetConsoleTranslator(&german);
    const PackageReader package(payload::OwnPackageBlock());
    DriveRecord record{};
    char verdict[cli::kVerdictSize];
    EXPECT_EQ(cli::FormatVerdict(record, package, false, verdict), "nicht erlaubt: Laufwerk nicht vorhanden");
    record.present = 1;
    record.updatable = 1;
    EXPECT_EQ(cli::FormatVerdict(record, package, false, verdict), "aktualisierbar Bank=1 aktuell=0 neu=RN08");
    const char* const arguments[] = {"--frob", "list"};
    cli::CliOptions options;
    std::string error, shown;
    EXPECT_EQ(cli::ParseCliOptions(2, arguments, options, error, &shown), cli::Request::Usage);
    EXPECT_EQ(error, "unknown option --frob");
    EXPECT_EQ(shown, "unbekannte Option --frob");
    cli::SetConsoleTranslator(nullptr);
    EXPECT_EQ(cli::FormatVerdict(record, package, false, verdict), "updatable bank=1 current=0 new=RN08");
}

TEST(Translations, ATranslationKeepsConversionsAndTheRevisionGap)
{
    const struct {
        std::string_view source, translation;
        bool fits;
    } rows[] = {{"Done.", "", false},
                {"%d drive(s) left", "%d Laufwerk(e)", true},
                {"%d drive(s) left", "%s Laufwerke", false},
                {"%d drive(s) left", "Laufwerke", false},
                {"%s.\nNot updated.", "100 %", false},
                {"from      to", "von      auf", true},
                {"from      to", "von auf", false}};
    for (const auto& row : rows) EXPECT_EQ(TranslationFits(row.source, row.translation), row.fits) << row.translation;
}

// A translated text reaches a UTF-8 terminal whole; a control, also one in UTF-8's clothes
// (C1, overlong, surrogate, cut short), goes out as \xNN, and so does every byte from 7Fh on
// without a translation.
TEST(Translations, TranslatedCharactersReachTheTerminalAndNoControlDoes)
{
    const struct {
        std::string_view text;
        cli::Utf8 utf8;
        std::string_view shown;
    } rows[] = {{"pr\xC3\xBC", cli::Utf8::Kept, "pr\xC3\xBC"},
                {"pr\xC3\xBC", cli::Utf8::Escaped, "pr\\xC3\\xBC"},
                {"\xE2\x82\xAC\xF0\x9F\x92\xBF", cli::Utf8::Kept, "\xE2\x82\xAC\xF0\x9F\x92\xBF"},
                {"a\xC2\x9B", cli::Utf8::Kept, "a\\xC2\\x9B"},
                {"\xC0\xAE\xED\xA0\x80", cli::Utf8::Kept, "\\xC0\\xAE\\xED\\xA0\\x80"},
                {"x\xC3", cli::Utf8::Kept, "x\\xC3"},
                {"\x1B[2J", cli::Utf8::Kept, "\\x1B[2J"}};
    for (const auto& row : rows) {
        char buffer[64] = {};
        std::FILE* out = fmemopen(buffer, sizeof buffer, "w");
        ASSERT_NE(out, nullptr);
        EXPECT_TRUE(cli::WriteAsText(out, row.text, cli::LineFeeds::Kept, row.utf8));
        std::fclose(out);
        EXPECT_EQ(std::string_view(buffer), row.shown);
    }
}

}  // namespace
