#include "media/byte_reader.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

namespace kq::media {
namespace {

TEST(ByteReaderTest, ReadsLittleEndianIntegersAndFloats) {
    ByteWriter w;
    w.U8(0xAB);
    w.U16(0x1234);
    w.U32(0xDEADBEEF);
    w.U64(0x0102030405060708ull);
    w.I8(-2);
    w.I16(-3);
    w.I32(-4);
    w.I64(std::numeric_limits<int64_t>::min());
    w.F32(1.5f);
    w.F64(-0.1);
    ByteReader r(w.Data());
    EXPECT_EQ(r.U8(), 0xAB);
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_EQ(r.U32(), 0xDEADBEEFu);
    EXPECT_EQ(r.U64(), 0x0102030405060708ull);
    EXPECT_EQ(r.I8(), -2);
    EXPECT_EQ(r.I16(), -3);
    EXPECT_EQ(r.I32(), -4);
    EXPECT_EQ(r.I64(), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(r.F32(), 1.5f);
    EXPECT_EQ(r.F64(), -0.1);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.Remaining(), 0u);
    EXPECT_EQ(r.Offset(), w.Size());
}

TEST(ByteReaderTest, WriterLaysOutBytesLowFirst) {
    ByteWriter w;
    w.U32(0x11223344);
    w.U16(0xA1B2);
    w.F64(1.0); // 0x3FF0000000000000
    w.Bytes("xy");
    EXPECT_EQ(w.Data(), std::string("\x44\x33\x22\x11\xB2\xA1"
                                    "\0\0\0\0\0\0\xF0\x3F"
                                    "xy",
                                    16));
    w.PatchU32(2, 0xCAFEF00D);
    EXPECT_EQ(w.Data().substr(0, 6), std::string("\x44\x33\x0D\xF0\xFE\xCA", 6));
    EXPECT_EQ(w.Take().size(), 16u);
}

TEST(ByteReaderTest, FailedReadReturnsZeroKeepsOffsetAndSticks) {
    const std::string data("\x01\x02\x03", 3);
    ByteReader r(data);
    EXPECT_EQ(r.U16(), 0x0201);
    EXPECT_EQ(r.U32(), 0u); // only one byte left
    EXPECT_TRUE(r.Failed());
    EXPECT_TRUE(r.Truncated());
    EXPECT_EQ(r.Offset(), 2u); // where the failed read began
    // A read that would fit on its own fails too once the reader has failed.
    EXPECT_EQ(r.U8(), 0u);
    EXPECT_TRUE(r.Bytes(1).empty());
    EXPECT_FALSE(r.Skip(0));
    EXPECT_FALSE(r.Seek(0));
    EXPECT_EQ(r.Offset(), 2u);
}

TEST(ByteReaderTest, BytesSkipAndSeekStayWithinTheBuffer) {
    const std::string data = "abcdefgh";
    ByteReader r(data);
    EXPECT_EQ(r.Bytes(3), "abc");
    EXPECT_TRUE(r.Skip(2));
    EXPECT_EQ(r.Remaining(), 3u);
    EXPECT_EQ(r.Bytes(3), "fgh");
    EXPECT_TRUE(r.Bytes(0).empty());
    EXPECT_TRUE(r.Ok()); // a zero-byte read at the end fits
    EXPECT_TRUE(r.Seek(8));
    EXPECT_TRUE(r.Seek(1));
    EXPECT_EQ(r.U8(), 'b');
    EXPECT_FALSE(r.Seek(9));
    EXPECT_TRUE(r.Failed());
    EXPECT_EQ(r.Offset(), 2u);

    ByteReader huge(data);
    EXPECT_FALSE(huge.Skip(std::numeric_limits<size_t>::max()));
    EXPECT_EQ(huge.Offset(), 0u);
    ByteReader view(data);
    EXPECT_TRUE(view.Bytes(std::numeric_limits<size_t>::max()).empty());
    EXPECT_TRUE(view.Failed());

    ByteReader marked(data);
    marked.Fail();
    EXPECT_EQ(marked.U8(), 0u);
    EXPECT_EQ(marked.Offset(), 0u);
    EXPECT_FALSE(marked.Truncated()); // failed on a value, not at the end of the data
}

TEST(ByteReaderTest, EmptyBufferFailsEveryRead) {
    ByteReader r;
    EXPECT_EQ(r.Remaining(), 0u);
    EXPECT_TRUE(r.Seek(0));
    EXPECT_EQ(r.U8(), 0u);
    EXPECT_TRUE(r.Failed());
}

// Random operation sequences over random buffers of every small size, each held in a heap block
// of exactly its size so that ASan reports any read past the end. A plain model of the reader
// (offset, failed flag, byte-wise decode) predicts every result.
TEST(ByteReaderTest, RandomOperationsMatchABoundedModel) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 4000; ++round) {
        const size_t size = rng() % 40;
        const std::string content = test::RandomBytes(rng, size);
        auto block = std::make_unique<char[]>(size == 0 ? 1 : size);
        std::memcpy(block.get(), content.data(), size);
        // Truncated buffers: a view over a prefix of the block (size 0 included).
        ByteReader r(std::string_view(block.get(), size));
        size_t pos = 0;
        bool failed = false;
        auto expectLe = [&](size_t n) -> uint64_t {
            if (failed || n > size - pos) {
                failed = true;
                return 0;
            }
            uint64_t v = 0;
            for (size_t i = n; i-- > 0;) {
                v = (v << 8) | static_cast<uint8_t>(content[pos + i]);
            }
            pos += n;
            return v;
        };
        for (int step = 0; step < 30; ++step) {
            const unsigned op = rng() % 10;
            switch (op) {
            case 0:
                ASSERT_EQ(r.U8(), expectLe(1));
                break;
            case 1:
                ASSERT_EQ(r.U16(), expectLe(2));
                break;
            case 2:
                ASSERT_EQ(r.U32(), expectLe(4));
                break;
            case 3:
                ASSERT_EQ(r.U64(), expectLe(8));
                break;
            case 4: {
                const uint64_t bits = expectLe(8);
                ASSERT_EQ(std::bit_cast<uint64_t>(r.F64()), bits);
                break;
            }
            case 5: {
                const uint32_t bits = static_cast<uint32_t>(expectLe(4));
                ASSERT_EQ(std::bit_cast<uint32_t>(r.F32()), bits);
                break;
            }
            case 6: {
                const size_t n = rng() % 12;
                const bool fits = !failed && n <= size - pos;
                const std::string_view got = r.Bytes(n);
                if (fits) {
                    ASSERT_EQ(got, std::string_view(content).substr(pos, n));
                    pos += n;
                } else {
                    ASSERT_TRUE(got.empty());
                    failed = true;
                }
                break;
            }
            case 7: {
                const size_t n =
                    rng() % 3 == 0 ? std::numeric_limits<size_t>::max() - rng() % 4 : rng() % 12;
                const bool fits = !failed && n <= size - pos;
                ASSERT_EQ(r.Skip(n), fits);
                if (fits) {
                    pos += n;
                } else {
                    failed = true;
                }
                break;
            }
            case 8: {
                const size_t to = rng() % (size + 4);
                const bool fits = !failed && to <= size;
                ASSERT_EQ(r.Seek(to), fits);
                if (fits) {
                    pos = to;
                } else {
                    failed = true;
                }
                break;
            }
            default:
                ASSERT_EQ(r.I32(), static_cast<int32_t>(expectLe(4)));
                break;
            }
            ASSERT_EQ(r.Failed(), failed);
            ASSERT_EQ(r.Offset(), pos);
            ASSERT_LE(r.Offset(), r.Size());
            ASSERT_EQ(r.Remaining(), size - pos);
        }
    }
}

} // namespace
} // namespace kq::media
