// The front ends' translations: the language taken from the locale, the English texts kept
// byte for byte where there is no catalogue, the catalogues holding every marked text, the
// rule a translation must keep, and the console showing translated characters but no control.

#include <QtCore/QFile>
#include <QtCore/QXmlStreamReader>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "frontends/cli/TerminalView.h"
#include "frontends/cli/TextTable.h"
#include "frontends/translation/TranslatedTexts.h"
#include "frontends/translation/UserLanguage.h"
#include "update/SequenceTexts.h"

namespace {

using translation::TranslatedTexts;
using translation::UserLanguage;

struct LocaleRow {
    const char* locale;
    bool german;
};

class LocaleTest : public testing::TestWithParam<LocaleRow> {};

TEST_P(LocaleTest, TextsFollowTheLocaleAndStayEnglishWithoutACatalogue)
{
    const UserLanguage language(QLocale(QLatin1String(GetParam().locale)),
                                {QStringLiteral(NORVIK_BUILD_TRANSLATIONS_DIR)});
    const TranslatedTexts texts(language.Own());
    EXPECT_EQ(language.Translated(), GetParam().german);
    const std::map<std::string_view, std::string_view> german = {
        {texts::kUpdated, "Die Firmware wurde erfolgreich aktualisiert !"},
        {texts::kWillBeUpdated, "Es wird aktualisiert von             auf"},
        {texts::kNoMatchProductAfter, ".\n\n"},
        {texts::kDriveNotOpenedFormat, "%s.\nDieses Laufwerk wird nicht aktualisiert."},
    };
    for (const auto& [source, translated] : german) {
        const std::string_view shown = texts.Translated(source);
        EXPECT_EQ(shown, GetParam().german ? translated : source);
        EXPECT_EQ(shown.data()[shown.size()], '\0');
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, LocaleTest,
                         testing::Values(LocaleRow{"C", false}, LocaleRow{"en_US", false}, LocaleRow{"xx_YY", false},
                                         LocaleRow{"fr_FR", false}, LocaleRow{"de_DE", true},
                                         LocaleRow{"de_AT", true}));

// The sources and finished translations of a catalogue, by context.
std::map<std::string, std::string> ReadCatalogue(const QString& path, const QString& context)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    std::map<std::string, std::string> messages;
    QXmlStreamReader xml(&file);
    QString currentContext, source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("name")) currentContext = xml.readElementText();
        if (xml.name() == QLatin1String("source")) source = xml.readElementText();
        if (xml.name() != QLatin1String("translation") || currentContext != context) continue;
        const bool unfinished = xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
        const QString translation = xml.readElementText();
        messages[source.toStdString()] = unfinished ? std::string() : translation.toStdString();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return messages;
}

TEST(Catalogues, TheTemplateAndTheGermanCatalogueHoldEveryMarkedText)
{
    const auto made = ReadCatalogue(QStringLiteral(NORVIK_BUILD_TRANSLATIONS_DIR "/norvik.ts"),
                                    QLatin1String(translation::kSequenceContext));
    const auto german = ReadCatalogue(QStringLiteral(NORVIK_SOURCE_TRANSLATIONS_DIR "/norvik_de.ts"),
                                      QLatin1String(translation::kSequenceContext));
    for (const std::string_view text : texts::kTranslatable) {
        const std::string source(text);
        EXPECT_EQ(made.count(source), 1u) << "not gathered: " << source;
        ASSERT_EQ(german.count(source), 1u) << "not in the German catalogue: " << source;
        EXPECT_TRUE(TranslationFits(text, german.at(source))) << source;
    }
    EXPECT_EQ(made.size(), german.size());
}

// The Windows console's table says what the catalogue says, text for text.
TEST(Catalogues, TheConsoleTableMatchesTheGermanCatalogue)
{
    const UserLanguage language(QLocale(QStringLiteral("de_DE")), {QStringLiteral(NORVIK_BUILD_TRANSLATIONS_DIR)});
    const TranslatedTexts catalogue(language.Own());
    const cli::TableTranslator table(cli::GermanTexts());
    EXPECT_EQ(cli::GermanTexts().size(), texts::kTranslatable.size() - 1);  // " drive.\n\n" twice
    for (const std::string_view text : texts::kTranslatable)
        EXPECT_EQ(table.Translated(text), catalogue.Translated(text)) << text;
}

struct FitRow {
    std::string_view source;
    std::string_view translation;
    bool fits;
};

class FitTest : public testing::TestWithParam<FitRow> {};

TEST_P(FitTest, ATranslationKeepsConversionsAndTheRevisionGap)
{
    EXPECT_EQ(TranslationFits(GetParam().source, GetParam().translation), GetParam().fits);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FitTest,
    testing::Values(FitRow{"Done.", "Fertig.", true}, FitRow{"Done.", "", false},
                    FitRow{"%d drive(s) left", "%d Laufwerk(e)", true},
                    FitRow{"%d drive(s) left", "%s Laufwerke", false}, FitRow{"%d drive(s) left", "Laufwerke", false},
                    FitRow{"%s.\nNot updated.", "%s. %d", false}, FitRow{"%s.\nNot updated.", "100 %", false},
                    FitRow{"from      to", "von      auf", true}, FitRow{"from      to", "von auf", false}));

struct ConsoleRow {
    std::string_view text;
    cli::Utf8 utf8;
    std::string_view shown;
};

class ConsoleTest : public testing::TestWithParam<ConsoleRow> {};

TEST_P(ConsoleTest, TranslatedCharactersReachTheTerminalAndNoControlDoes)
{
    char buffer[64] = {};
    std::FILE* out = fmemopen(buffer, sizeof buffer, "w");
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(cli::WriteAsText(out, GetParam().text, cli::LineFeeds::Kept, GetParam().utf8));
    std::fclose(out);
    EXPECT_EQ(std::string_view(buffer), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, ConsoleTest,
    testing::Values(ConsoleRow{"pr\xC3\xBC"
                               "fen",
                               cli::Utf8::Kept,
                               "pr\xC3\xBC"
                               "fen"},
                    ConsoleRow{"pr\xC3\xBC", cli::Utf8::Escaped, "pr\\xC3\\xBC"},
                    ConsoleRow{"\xE2\x82\xAC\xF0\x9F\x92\xBF", cli::Utf8::Kept, "\xE2\x82\xAC\xF0\x9F\x92\xBF"},
                    ConsoleRow{"a\xC2\x9B"
                               "2J",
                               cli::Utf8::Kept, "a\\xC2\\x9B2J"},
                    ConsoleRow{"\xC0\xAE\xE0\x80\xAE", cli::Utf8::Kept, "\\xC0\\xAE\\xE0\\x80\\xAE"},
                    ConsoleRow{"\xED\xA0\x80", cli::Utf8::Kept, "\\xED\\xA0\\x80"},
                    ConsoleRow{"x\xC3", cli::Utf8::Kept, "x\\xC3"},
                    ConsoleRow{"\x1B[2J", cli::Utf8::Kept, "\\x1B[2J"}));

}  // namespace
