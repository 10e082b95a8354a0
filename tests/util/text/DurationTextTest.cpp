#include "util/text/DurationText.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <string>

TEST(FormatDuration, ResultsByLevel)
{
    struct Row
    {
        double seconds;
        const char* byLevel[4];   // levels 0, 1, 2, 3
    } rows[] = {
        {0, {"00", "00:00", "00:00:00", "00 00:00:00"}},
        {7, {"07", "00:07", "00:00:07", "00 00:00:07"}},
        {65, {"01:05", "01:05", "00:01:05", "00 00:01:05"}},
        {3661, {"01:01:01", "01:01:01", "01:01:01", "00 01:01:01"}},
        {90061, {"01 01:01:01", "01 01:01:01", "01 01:01:01", "01 01:01:01"}},
    };
    for (const Row& row : rows)
    {
        for (int nLevel = 0; nLevel < 4; ++nLevel)
        {
            SCOPED_TRACE(testing::Message() << row.seconds << " s, level " << nLevel);
            EXPECT_STREQ(row.byLevel[nLevel], FormatDuration(row.seconds, nLevel, 0));
        }
    }
}

TEST(FormatDuration, Table)
{
    const double dInf = std::numeric_limits<double>::infinity();
    struct Row
    {
        double seconds;
        int level;
        int digits;
        const char* expected;
    } rows[] = {
        {86399, 2, 0, "23:59:59"},
        {72000, 2, 0, "20:00:00"},   // hours from the full rest of the day
        {86400, 0, 0, "01 00:00:00"},
        {100 * 86400.0 + 5, 2, 1, "100 00:00:05.0"},
        {3661.5, 0, 2, "01:01:01.50"},
        {90061.25, 3, 2, "01 01:01:01.25"},
        {0, 3, 3, "00 00:00:00.000"},
        {2.5, 0, 1, "02.5"},
        // Level out of range counts as 0, not as the nearest bound.
        {7, 5, 0, "07"}, {7, -1, 0, "07"}, {3600, 4, 0, "01:00:00"},
        // Without a fraction the whole seconds are truncated ...
        {59.9, 0, 0, "59"}, {5.75, 1, -1, "00:05"},
        // ... with one, every field comes from the rounded value.
        {59.9999, 0, 2, "01:00.00"},
        {0.9996, 0, 3, "01.000"},
        {3599.999, 0, 2, "01:00:00.00"},
        {86399.9999, 2, 3, "01 00:00:00.000"},
        {59.994, 0, 2, "59.99"},
        {1.0 / 3, 0, 20, "00.33333333333333331483"},
        {0.125, 0, 2, "00.12"},   // an exact tie goes to the even digit
        {0.0995, 0, 3, "00.100"},  // a carry through every decimal stops short of the seconds
        // The 15th decimal is the last whose rounding can carry into the seconds.
        {1 - 0x1p-53, 0, 15, "01.000000000000000"}, {1 - 0x1p-53, 0, 16, "00.9999999999999999"},
        // The day count is not cut to 16 bits.
        {5662310400.0, 0, 0, "65536 00:00:00"},
        {1e300, 0, 0, "106751991167300 15:30:07"},
        {1e300, 1, 2, "106751991167300 15:30:07.00"},
        // Negative and non-finite seconds count as 0.
        {-5.5, 1, 0, "00:00"}, {-0.0, 3, 2, "00 00:00:00.00"}, {-1e-9, 0, 3, "00.000"},
        {dInf, 0, 1, "00.0"}, {-dInf, 2, 0, "00:00:00"},
        {std::numeric_limits<double>::quiet_NaN(), 3, 2, "00 00:00:00.00"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(testing::Message() << row.seconds << " s, level " << row.level << ", " << row.digits << " digits");
        EXPECT_STREQ(row.expected, FormatDuration(row.seconds, row.level, row.digits));
    }
}

TEST(FormatDuration, FractionDigitsBeyondADoublesExpansion)
{
    // 0.5 has one decimal; the rest are zeros however many are asked for.
    std::string expected = "00.5" + std::string(1199, '0');
    EXPECT_STREQ(expected.c_str(), FormatDuration(0.5, 0, 1200));

    // The smallest double, 2^-1074 = 5^1074 / 10^1074 (about 4.94e-324), has
    // the longest expansion: its first nonzero decimal is the 324th, its last
    // the 1074th, a 5.
    const std::string tiny = FormatDuration(std::numeric_limits<double>::denorm_min(), 0, 1100).GetString();
    ASSERT_EQ(3u + 1100, tiny.size());
    EXPECT_EQ("00." + std::string(323, '0') + "4", tiny.substr(0, 3 + 324));
    EXPECT_EQ("5" + std::string(26, '0'), tiny.substr(3 + 1073));
}

TEST(FormatBitRate, UnitBoundaries)
{
    struct Row
    {
        LONGLONG rate;
        const char* expected;
    } rows[] = {
        {0, "0 bps"}, {-5, "-5 bps"}, {1023, "1023 bps"},
        {LLONG_MIN, "-9223372036854775808 bps"},
        {1024, "1.00 kbps"}, {1536, "1.50 kbps"}, {1000000, "976.56 kbps"},
        {1048575, "1024.00 kbps"},   // rounded, not moved up a unit
        {1048576, "1.00 Mbps"}, {1073741823, "1024.00 Mbps"},
        {1073741824, "1.00 Gbps"}, {5LL << 30, "5.00 Gbps"},
        {LLONG_MAX, "8589934592.00 Gbps"},
        {1152, "1.12 kbps"},   // 1.125: an exact tie goes to the even digit
        {1441792, "1.38 Mbps"},   // 1.375: the even digit is up
        {576460752308792216LL, "536870912.00 Gbps"},   // past 2^53 the rate is first the nearest double
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.rate);
        EXPECT_STREQ(row.expected, FormatBitRate(row.rate));
    }
}
