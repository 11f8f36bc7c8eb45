// The state-file record format, the 10-byte extended float and the replacing file write.
#include "scene/state_file_format.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <random>
#include <vector>

namespace kq::scene::state {
namespace {

using test::Bytes;

Extended Ext(std::initializer_list<uint8_t> bytes) {
    Extended e{};
    std::copy(bytes.begin(), bytes.end(), e.begin());
    return e;
}

// Builds an extended value from its significand and exponent field.
Extended ExtOf(uint64_t significand, uint16_t exponentField, bool negative = false) {
    Extended e{};
    for (int i = 0; i < 8; ++i) {
        e[i] = static_cast<uint8_t>(significand >> (8 * i));
    }
    const uint16_t top = static_cast<uint16_t>(exponentField | (negative ? 0x8000 : 0));
    e[8] = static_cast<uint8_t>(top);
    e[9] = static_cast<uint8_t>(top >> 8);
    return e;
}

TEST(StateExtendedTest, KnownBytePatterns) {
    struct Case {
        double value;
        Extended bytes;
    };
    const std::vector<Case> cases = {
        {1.0, Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F})},
        {-1.0, Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xBF})},
        {2.0, Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x40})},
        {0.5, Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFE, 0x3F})},
        {3.0, Ext({0, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0x40})},
        {-12.375, Ext({0, 0, 0, 0, 0, 0, 0, 0xC6, 0x02, 0xC0})},
        {0.1, Ext({0x00, 0xD0, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F})},
        {0.0, Ext({0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
        {-0.0, Ext({0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80})},
        {HUGE_VAL, Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F})},
        {-HUGE_VAL, Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF})},
        // The smallest subnormal double, 2^-1074, is a normal extended number.
        {std::ldexp(1.0, -1074), ExtOf(uint64_t{1} << 63, 16383 - 1074)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DoubleToExtended(c.value), c.bytes) << c.value;
        const double back = ExtendedToDouble(c.bytes.data());
        EXPECT_EQ(std::bit_cast<uint64_t>(back), std::bit_cast<uint64_t>(c.value)) << c.value;
    }
}

TEST(StateExtendedTest, ReadsFullPrecisionValuesToTheNearestDouble) {
    // 0.1 and pi as an x87 unit stores them (64 significant bits).
    const Extended tenth = Ext({0xCD, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F});
    EXPECT_EQ(ExtendedToDouble(tenth.data()), 0.1);
    const Extended pi = Ext({0x35, 0xC2, 0x68, 0x21, 0xA2, 0xDA, 0x0F, 0xC9, 0x00, 0x40});
    EXPECT_EQ(ExtendedToDouble(pi.data()), M_PI);
    // Halfway between two doubles: 1 + 2^-53 rounds to even (1.0), 1 + 3 x 2^-53 up.
    EXPECT_EQ(ExtendedToDouble(ExtOf((uint64_t{1} << 63) | (uint64_t{1} << 10), 16383).data()),
              1.0);
    EXPECT_EQ(ExtendedToDouble(ExtOf((uint64_t{1} << 63) | (uint64_t{3} << 10), 16383).data()),
              1.0 + std::ldexp(1.0, -51));
}

TEST(StateExtendedTest, ValuesOutsideTheDoubleRange) {
    EXPECT_EQ(ExtendedToDouble(ExtOf(uint64_t{1} << 63, 0x7FFE).data()), HUGE_VAL);
    EXPECT_EQ(ExtendedToDouble(ExtOf(uint64_t{1} << 63, 0x7FFE, true).data()), -HUGE_VAL);
    EXPECT_EQ(ExtendedToDouble(ExtOf(uint64_t{1} << 63, 1).data()), 0.0);
    EXPECT_EQ(ExtendedToDouble(ExtOf(~uint64_t{0}, 0).data()), 0.0); // extended denormal
    EXPECT_TRUE(std::isnan(ExtendedToDouble(ExtOf(0xC000000000000000u, 0x7FFF).data())));
    const Extended nan = DoubleToExtended(std::nan(""));
    EXPECT_EQ(nan[9] & 0x7F, 0x7F);
    EXPECT_EQ(nan[8], 0xFF);
    EXPECT_EQ(nan[7] & 0xC0, 0xC0); // integer bit and quiet bit
    EXPECT_TRUE(std::isnan(ExtendedToDouble(nan.data())));
    // Rounding into the subnormal range happens once: 2^-1075 is a tie and goes to 0 (even),
    // 3 x 2^-1075 to 2 x 2^-1074, anything above a half unit to one unit.
    const uint16_t halfUnit = 16383 - 1075;
    EXPECT_EQ(ExtendedToDouble(ExtOf(uint64_t{1} << 63, halfUnit).data()), 0.0);
    EXPECT_EQ(ExtendedToDouble(ExtOf(0xC000000000000000u, halfUnit + 1).data()),
              std::ldexp(2.0, -1074));
    EXPECT_EQ(ExtendedToDouble(ExtOf((uint64_t{1} << 63) | 1, halfUnit).data()),
              std::ldexp(1.0, -1074));
    // The largest double survives; the next extended step above it rounds up to infinity.
    const double max = std::numeric_limits<double>::max();
    EXPECT_EQ(ExtendedToDouble(DoubleToExtended(max).data()), max);
    EXPECT_EQ(ExtendedToDouble(ExtOf(~uint64_t{0}, 16383 + 1023).data()), HUGE_VAL);
}

TEST(StateExtendedTest, EveryDoubleSurvivesTheRoundTripBitForBit) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 200000; ++i) {
        const uint64_t bits = rng();
        const double v = std::bit_cast<double>(bits);
        if (std::isnan(v)) {
            continue;
        }
        const Extended e = DoubleToExtended(v);
        ASSERT_EQ(std::bit_cast<uint64_t>(ExtendedToDouble(e.data())), bits) << v;
    }
    for (double v : {1e300, -1e-300, 123456789.123, -0.0001, 4503599627370497.0, 1e-310}) {
        EXPECT_EQ(ExtendedToDouble(DoubleToExtended(v).data()), v);
    }
}

TEST(StateRecordTest, WriterLayoutIsLittleEndianWithTaggedValues) {
    RecordWriter w;
    w.Int(7, "X", -2);
    w.Word(7, "W", 0xBEEF);
    w.Object(7, "H", 12);
    w.String(7, "S", "ab");
    w.String(7, "E", "");
    w.Float(7, "F", 1.0);
    Bytes expected;
    expected.I32(7).Str("X").U8('I').I32(-2);
    expected.I32(7).Str("W").U8('W').U16(0xBEEF);
    expected.I32(7).Str("H").U8('O').I32(12);
    expected.I32(7).Str("S").U8('S').Str("ab");
    expected.I32(7).Str("E").U8('S').I32(0);
    expected.I32(7).Str("F").U8('E').Raw(std::string("\0\0\0\0\0\0\0\x80\xFF\x3F", 10));
    EXPECT_EQ(w.Data(), expected.Data());

    RecordReader r(w.Data());
    Record rec;
    ASSERT_EQ(r.Next(rec), RecordReader::Status::Ok);
    EXPECT_EQ(rec.key, 7);
    EXPECT_EQ(rec.name, "X");
    EXPECT_EQ(rec.intValue, -2);
    ASSERT_EQ(r.Next(rec), RecordReader::Status::Ok);
    EXPECT_EQ(rec.wordValue, 0xBEEF);
    ASSERT_EQ(r.Next(rec), RecordReader::Status::Ok);
    EXPECT_EQ(rec.tag, 'O');
    EXPECT_EQ(rec.intValue, 12);
    ASSERT_EQ(r.Next(rec), RecordReader::Status::Ok);
    EXPECT_EQ(rec.text, "ab");
    ASSERT_EQ(r.Next(rec), RecordReader::Status::Ok);
    EXPECT_EQ(rec.text, "");
    ASSERT_EQ(r.Next(rec), RecordReader::Status::Ok);
    EXPECT_EQ(rec.floatValue, 1.0);
    EXPECT_EQ(r.Next(rec), RecordReader::Status::End);
}

TEST(StateRecordTest, UnknownTagCarriesNoValueBytes) {
    Bytes b;
    b.I32(3).Str("A").U8('Z');
    b.I32(3).Str("B").U8('I').I32(5);
    RecordReader r(b.Data());
    Record rec;
    ASSERT_EQ(r.Next(rec), RecordReader::Status::Ok);
    EXPECT_EQ(rec.tag, 'Z');
    ASSERT_EQ(r.Next(rec), RecordReader::Status::Ok);
    EXPECT_EQ(rec.name, "B");
    EXPECT_EQ(rec.intValue, 5);
    EXPECT_EQ(r.Next(rec), RecordReader::Status::End);
}

TEST(StateRecordTest, HostileLengthsStopTheReader) {
    const std::vector<std::string> inputs = {
        Bytes().I32(1).I32(-1).Data(),
        Bytes().I32(1).I32(0x7FFFFFFF).Raw("abc").Data(),
        Bytes().I32(1).Str("N").U8('S').I32(-5).Data(),
        Bytes().I32(1).Str("N").U8('S').I32(0x7FFFFFF0).Raw("xyz").Data(),
        Bytes().I32(1).Str("N").Data(), // no tag
        Bytes().I32(1).Str("N").U8('E').Raw("123456789").Data(),
        Bytes().I32(1).Str("N").U8('W').U8(1).Data(),
        Bytes().I32(1).Str("N").U8('O').U16(1).Data(),
        Bytes().U16(1).Data(),
    };
    for (const std::string& in : inputs) {
        RecordReader r(in);
        Record rec;
        EXPECT_EQ(r.Next(rec), RecordReader::Status::Corrupt);
        EXPECT_EQ(r.Offset(), 0u);
    }
}

TEST(StateRecordTest, EveryTruncationEndsCleanlyAfterTheWholeRecordsBeforeIt) {
    RecordWriter w;
    std::vector<size_t> boundaries = {0};
    w.Int(1, "ORDER", 5);
    boundaries.push_back(w.Data().size());
    w.String(1, "TAG", "hello");
    boundaries.push_back(w.Data().size());
    w.Float(2, "RX", -3.25);
    boundaries.push_back(w.Data().size());
    w.Word(2, "W", 9);
    boundaries.push_back(w.Data().size());
    w.Object(2, "H", 1);
    boundaries.push_back(w.Data().size());
    const std::string full = w.Data();
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        // A copy of exactly cut bytes, so that ASan sees any read past the end.
        const std::vector<char> copy(full.begin(), full.begin() + static_cast<ptrdiff_t>(cut));
        RecordReader r(std::string_view(copy.data(), copy.size()));
        Record rec;
        size_t whole = 0;
        RecordReader::Status s;
        while ((s = r.Next(rec)) == RecordReader::Status::Ok) {
            ++whole;
        }
        const bool atBoundary =
            std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
        EXPECT_EQ(s, atBoundary ? RecordReader::Status::End : RecordReader::Status::Corrupt) << cut;
        EXPECT_EQ(boundaries[whole], r.Offset()) << cut;
        EXPECT_LE(r.Offset(), cut);
    }
}

TEST(StateRecordTest, RandomBytesNeverReadPastTheEnd) {
    std::mt19937 rng(11);
    for (int i = 0; i < 2000; ++i) {
        const std::string bytes = test::RandomBytes(rng, rng() % 64);
        const std::vector<char> copy(bytes.begin(), bytes.end());
        RecordReader r(std::string_view(copy.data(), copy.size()));
        Record rec;
        size_t lastOffset = 0;
        while (r.Next(rec) == RecordReader::Status::Ok) {
            ASSERT_GT(r.Offset(), lastOffset); // always makes progress
            lastOffset = r.Offset();
        }
        EXPECT_LE(r.Offset(), copy.size());
    }
}

class ReplaceFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::filesystem::path target = dir.Path() / "save.dat";
};

TEST_F(ReplaceFileTest, ReplacesTheWholeFileAndLeavesNoTemporary) {
    dir.Write("save.dat", "an older and much longer save");
    std::string error;
    ASSERT_TRUE(WriteFileReplacing(target, "new", error)) << error;
    EXPECT_EQ(test::ReadAll(target), "new");
    EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(target)));
}

TEST_F(ReplaceFileTest, FailureAtAnyPointKeepsTheOldFile) {
    dir.Write("save.dat", "old save");
    const std::string payload(100, 'n');
    for (size_t failAfter : {size_t{0}, size_t{1}, size_t{50}, size_t{99}}) {
        std::string error;
        EXPECT_FALSE(WriteFileReplacing(target, payload, error, {failAfter}));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(test::ReadAll(target), "old save") << failAfter;
        EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(target))) << failAfter;
    }
    std::string error;
    EXPECT_TRUE(WriteFileReplacing(target, payload, error, {100}));
    EXPECT_EQ(test::ReadAll(target), payload);
}

TEST_F(ReplaceFileTest, UnwritablePlacesFail) {
    std::string error;
    EXPECT_FALSE(WriteFileReplacing(dir.Path() / "missing" / "save.dat", "x", error));
    // A folder where the file should be: the rename cannot replace it.
    std::filesystem::create_directories(target);
    EXPECT_FALSE(WriteFileReplacing(target, "x", error));
    EXPECT_TRUE(std::filesystem::is_directory(target));
    EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(target)));
}

} // namespace
} // namespace kq::scene::state
