#pragma once
// Where a window puts the two revision labels in the sentence under the drive list: the old
// revision centred in the run of spaces after "from", the new one a space after "to", both on the
// sentence's line. The window measures the sentence's pieces and the revisions in the fonts it
// uses; the placement is the same arithmetic for every toolkit.

#include <array>
#include <string_view>

#include "update/SequenceTexts.h"

namespace revisions {

// The pieces of the sentence a window measures, in the sentence's font.
inline constexpr std::string_view kBeforeGap = texts::kWillBeUpdatedBeforeGap;
inline constexpr std::string_view kThroughGap =
    texts::kWillBeUpdated.substr(0, texts::kWillBeUpdated.find_last_of(' ') + 1);
inline constexpr std::array<char, texts::kWillBeUpdated.size() + 1> kSentenceAndSpaceText = [] {
    std::array<char, texts::kWillBeUpdated.size() + 1> text = {};
    for (std::size_t i = 0; i < texts::kWillBeUpdated.size(); ++i) text[i] = texts::kWillBeUpdated[i];
    text.back() = ' ';
    return text;
}();
inline constexpr std::string_view kSentenceAndSpace(kSentenceAndSpaceText.data(), kSentenceAndSpaceText.size());

}  // namespace revisions

// A label's place in the window's client area, in pixels.
struct LabelRect {
    int left;
    int top;
    int width;
    int height;
};

// The measured widths, in pixels: the three pieces of the sentence (revisions::kBeforeGap,
// kThroughGap, kSentenceAndSpace) in its font, the two revisions in theirs.
struct RevisionWidths {
    int beforeGap;
    int throughGap;
    int sentenceAndSpace;
    int oldRevision;
    int newRevision;
};

struct RevisionPlaces {
    LabelRect oldRevision;
    LabelRect newRevision;
};

// sentence: the sentence label's place; clientWidth: the window's, which the new revision's
// label does not pass. Each label is its text's width and a pixel each side.
RevisionPlaces PlaceRevisions(const RevisionWidths& widths, const LabelRect& sentence, int clientWidth);
