// The amount left as the writing text says it: rounded, an upper bound only ever rounded up.
#include <gtest/gtest.h>

#include "eject/writing_estimate.h"

namespace quaylet {
namespace {

TEST(WritingEstimateTest, ClaimsNoMorePrecisionThanTheFiguresHave) {
    const std::optional<std::uint64_t> none;
    const struct {
        WritebackReading left;
        const char* text;
    } cases[] = {
        {{none, none}, "Writing data to Stick…"},
        {{400'000, 90'000'000}, "Writing data to Stick… (less than 1 MB left)"},
        {{7'600'000, none}, "Writing data to Stick… (about 8 MB left)"},
        {{37'400'000, 3'000'000'000}, "Writing data to Stick… (about 40 MB left)"},
        {{1'400'000'000, none}, "Writing data to Stick… (about 1 GB left)"},
        {{none, 31'000'000}, "Writing data to Stick… (at most 40 MB left, counting all disks)"},
        {{none, 1'001'000'000}, "Writing data to Stick… (at most 2 GB left, counting all disks)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(writingEstimateText(StringTable::builtIn(), "Stick", c.left), c.text);
    }
}

} // namespace
} // namespace quaylet
