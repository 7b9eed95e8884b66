// Inputs the fuzzers found that once broke the host's input side, kept as
// regular tests.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "AudioBuffer.h"
#include "AudioInput.h"
#include "Options.h"

namespace {

using OrqHost::DecodePcm;
using OrqHost::ParseIsoTime;
using OrqHost::PcmFormat;

// Full-scale positive samples decode below 1, as negative full scale decodes
// to exactly -1: a 32-bit value this close to 2^31 rounded up to 1.0f.
TEST(HostInputFindings, FullScaleSamplesOfEveryWidthDecodeBelowOne)
{
    const std::vector<std::vector<std::uint8_t>> fullScale = {
        {0xFF}, {0xFF, 0x7F}, {0xFF, 0xFF, 0x7F}, {0xFF, 0xFF, 0xFF, 0x7F}, {0xC0, 0xFF, 0xFF, 0x7F}};
    for (const std::vector<std::uint8_t>& bytes : fullScale) {
        const PcmFormat format{16000, 1, static_cast<std::uint32_t>(8 * bytes.size())};
        std::vector<float> decoded;
        DecodePcm(bytes.data(), bytes.size(), format, decoded);
        ASSERT_EQ(decoded.size(), 1u);
        EXPECT_LT(decoded[0], 1.0f) << format.bitsPerSample << " bits";
        EXPECT_GT(decoded[0], 0.99f) << format.bitsPerSample << " bits";
    }
}

// A day the month does not have is a malformed time, not a day of the next
// month: 2026-02-31 once started the run on 2026-03-03.
TEST(HostArgumentFindings, StartTimeOnADayTheMonthLacksIsRefused)
{
    EXPECT_FALSE(ParseIsoTime("2026-02-31"));
    EXPECT_FALSE(ParseIsoTime("2026-04-31T10:00:00Z"));
    EXPECT_FALSE(ParseIsoTime("2025-02-29T00:00:00+01:00"));
    EXPECT_FALSE(ParseIsoTime("1900-02-29"));
    EXPECT_EQ(ParseIsoTime("2024-02-29"), 1709164800000ULL);
    EXPECT_EQ(ParseIsoTime("2000-02-29"), 951782400000ULL);
    EXPECT_EQ(ParseIsoTime("2026-12-31T23:59:59Z"), 1798761599000ULL);
}

}  // namespace
