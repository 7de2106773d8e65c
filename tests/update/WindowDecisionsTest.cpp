// What both windows decide: where the revision labels go, and what a request to stop does while
// drives are written.

#include <gtest/gtest.h>

#include <vector>

#include "update/RevisionPlacement.h"
#include "update/StopRequestPolicy.h"

namespace {

bool operator==(const LabelRect& a, const LabelRect& b)
{
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

TEST(RevisionPlacementTest, OldCentredInTheGapNewAfterToWithinTheWindow)
{
    const LabelRect sentence = {10, 5, 300, 16};
    struct Case {
        const char* what;
        RevisionWidths widths;
        int clientWidth;
        LabelRect oldRevision;
        LabelRect newRevision;
    };
    const Case cases[] = {
        {"both fit", {100, 170, 200, 30, 40}, 400, {129, 5, 32, 16}, {210, 5, 42, 16}},
        {"old wider than the gap starts at it", {100, 170, 200, 90, 40}, 400, {110, 5, 92, 16}, {210, 5, 42, 16}},
        {"new cut at the window's edge", {100, 170, 200, 30, 40}, 230, {129, 5, 32, 16}, {210, 5, 20, 16}},
    };
    for (const Case& c : cases) {
        const RevisionPlaces places = PlaceRevisions(c.widths, sentence, c.clientWidth);
        EXPECT_TRUE(places.oldRevision == c.oldRevision) << c.what;
        EXPECT_TRUE(places.newRevision == c.newRevision) << c.what;
    }
}

TEST(RevisionPlacementTest, MeasuredPiecesEndAtTheGapAndAfterTo)
{
    EXPECT_EQ(revisions::kBeforeGap, "It will be updated from");
    EXPECT_EQ(revisions::kThroughGap, "It will be updated from             ");
    EXPECT_EQ(revisions::kSentenceAndSpace, "It will be updated from             to ");
}

// Each step: a request (the window asked), the flash starting or ending, or a signal the system
// holds; then what the policy answers.
TEST(StopRequestPolicyTest, RequestsHeldWhileDrivesAreWrittenEndTheProgramAfter)
{
    enum class Step { Request, FlashStarts, FlashEnds };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        bool signalHeld;
        bool lastRequestAllowed;
        bool stopRequested;
        bool endsAtLastStep;
    };
    const Case cases[] = {
        {"request before the flash is honoured", {Step::Request}, false, true, false, false},
        {"request during the flash is held", {Step::FlashStarts, Step::Request}, false, false, true, false},
        {"held request ends the program after",
         {Step::FlashStarts, Step::Request, Step::FlashEnds},
         false,
         false,
         true,
         true},
        {"flash without a request ends nothing", {Step::FlashStarts, Step::FlashEnds}, false, true, false, false},
        {"request after the flash is honoured",
         {Step::FlashStarts, Step::FlashEnds, Step::Request},
         false,
         true,
         false,
         false},
        {"held signal ends the program after", {Step::FlashStarts, Step::FlashEnds}, true, true, true, true},
        {"held signal does not end it while drives are written", {Step::FlashStarts}, true, true, true, false},
    };
    for (const Case& c : cases) {
        StopRequestPolicy policy;
        bool allowed = true;
        bool ends = false;
        for (Step step : c.steps) {
            ends = false;
            if (step == Step::Request) allowed = policy.Request();
            if (step != Step::Request) ends = policy.FlashUnderway(step == Step::FlashStarts, c.signalHeld);
        }
        EXPECT_EQ(allowed, c.lastRequestAllowed) << c.what;
        EXPECT_EQ(policy.StopRequested(c.signalHeld), c.stopRequested) << c.what;
        EXPECT_EQ(ends, c.endsAtLastStep) << c.what;
    }
}

}  // namespace
