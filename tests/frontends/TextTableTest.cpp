// The console's table of translations, on both systems: every text of the sequence has its
// German translation, and a translation that does not fit its source is not used.

#include <gtest/gtest.h>

#include <algorithm>

#include "frontends/cli/TextTable.h"
#include "update/SequenceTexts.h"

namespace {

TEST(TextTable, EveryTextOfTheSequenceHasAFittingGermanTranslation)
{
    const cli::TableTranslator german(cli::GermanTexts());
    for (const std::string_view text : texts::kTranslatable) {
        const auto pairs = cli::GermanTexts();
        EXPECT_TRUE(std::any_of(pairs.begin(), pairs.end(), [text](const cli::TextPair& pair) {
            return pair.source == text;
        })) << text;
        const std::string_view shown = german.Translated(text);
        EXPECT_TRUE(TranslationFits(text, shown)) << text;
        EXPECT_EQ(shown.data()[shown.size()], '\0');
    }
    EXPECT_EQ(german.Translated(texts::kDone), "Fertig.");
    EXPECT_EQ(german.Translated(texts::kCheckDisc),
              "Disc und Schublade pr\xC3\xBC"
              "fen...");
}

TEST(TextTable, ATranslationThatDoesNotFitLeavesTheSource)
{
    constexpr cli::TextPair kPairs[] = {{texts::kDriveNotOpenedFormat, "%d.\nNicht aktualisiert."},
                                        {texts::kWillBeUpdated.data(), "Es wird von auf"},
                                        {texts::kDone.data(), ""},
                                        {texts::kInquiry.data(), "Abfrage ..."}};
    const cli::TableTranslator table(kPairs);
    EXPECT_EQ(table.Translated(texts::kDriveNotOpenedFormat), texts::kDriveNotOpenedFormat);
    EXPECT_EQ(table.Translated(texts::kWillBeUpdated), texts::kWillBeUpdated);
    EXPECT_EQ(table.Translated(texts::kDone), texts::kDone);
    EXPECT_EQ(table.Translated(texts::kInquiry), "Abfrage ...");
    EXPECT_EQ(table.Translated(texts::kTrayIn), texts::kTrayIn);
}

}  // namespace
