#include <gtest/gtest.h>

#include <string_view>

#include "engine/VDX_unit_Messages.h"

namespace vdx {
namespace {

TEST(StageTextTest, EveryWindowNamesEachOfItsStagesAndFallsBackForTheRest) {
    using K = TProgressKind;
    struct TCase {
        TProgressKind kind;
        std::int32_t phase;
        std::u16string_view text;
    };
    const TCase cases[] = {
        {K::Search, kPhaseScanning, u"Scanning folders"},
        {K::Search, kPhaseCompleted, u"Scanning completed"},
        {K::Search, kPhasePreparingTables, u"Preparing tables"},
        {K::Search, kPhaseCleanup, u"Cleanup files"},
        {K::Search, kPhaseIndexing, u"Indexing"},
        {K::Search, kPhaseAborted, u"Scanning folders"},
        {K::Search, kPhaseComparing, u"Scanning folders"},
        {K::Content, kPhaseComparing, u"Comparing files content"},
        {K::Content, kPhaseCompleted, u"Comparing completed"},
        {K::Content, kPhasePreparingViewTables, u"Preparing view tables"},
        {K::Content, kPhaseIndexingTables, u"Indexing tables"},
        {K::Content, kPhaseAborted, u"Undefined"},
        {K::Content, kPhaseIndexing, u"Undefined"},
        {K::Delete, kPhaseDeleting, u"Deleting files"},
        {K::Delete, kPhaseCompleted, u"Delete completed"},
        {K::Delete, kPhasePreparingTables, u"Preparing tables"},
        {K::Delete, kPhaseCleanup, u"Cleanup files"},
        {K::Delete, kPhaseIndexing, u"Indexing"},
        {K::Delete, kPhasePreparingViewTables, u"Deleting files"},
        {K::Delete, kPhaseAborted, u"Deleting files"},
        {K::Copy, kPhaseCopying, u"Copying files"},
        {K::Copy, kPhaseCompleted, u"Copying completed"},
        {K::Copy, kPhaseIndexing, u"Indexing"},
        {K::Copy, kPhaseIndexingTables, u"Copying files"},
        {K::Move, kPhaseCopying, u"Moving files"},
        {K::Move, kPhaseCompleted, u"Moving completed"},
        {K::Move, kPhaseCleanup, u"Cleanup files"},
        {K::Move, -1, u"Moving files"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(StageText(c.kind, c.phase), c.text)
            << "window " << static_cast<int>(c.kind) << ", phase " << c.phase;
}

} // namespace
} // namespace vdx
