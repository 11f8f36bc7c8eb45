#include "media/store.h"

#include "support/test_support.h"

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <limits>
#include <random>
#include <sstream>

namespace kq::media {
namespace {

using test::Bytes;

class StoreTest : public ::testing::Test {
protected:
    std::filesystem::path WritePack(std::string_view bytes) {
        return dir_.Write("game.kst", bytes);
    }

    // Opens the bytes as a pack and checks that a rejected pack leaves nothing behind.
    bool OpenBytes(std::string_view bytes) {
        const LoadResult opened = store_.OpenPack(WritePack(bytes));
        if (!opened) {
            EXPECT_TRUE(store_.Directory().empty());
            EXPECT_FALSE(store_.IsOpen());
            // The reason names a place inside the file.
            EXPECT_FALSE(opened.Error().what.empty());
            EXPECT_LE(opened.Error().offset, bytes.size());
            EXPECT_EQ(opened.Error().file, (dir_.Path() / "game.kst").string());
        }
        return opened.Ok();
    }

    test::TempDir dir_;
    TKQStore store_;
};

TEST_F(StoreTest, WriterProducesTheDocumentedLayout) {
    StoreWriter writer;
    writer.Add("a/b", "xy");
    writer.Add("C", "");
    const std::string expected =
        Bytes().Raw("xy").I32(2).Str("A\\B").I32(0).I32(2).Str("C").I32(2).I32(0).I32(2).Data();
    EXPECT_EQ(writer.Build(), expected);
}

TEST_F(StoreTest, WriterAndReaderRoundTrip) {
    StoreWriter writer;
    const std::string binary("\0\x01\xFF\0tail", 8);
    writer.Add("sounds/Theme.ogg", "ogg bytes");
    writer.Add("IMAGES\\HERO.AN", binary);
    writer.Add("empty.txt", "");
    const auto file = dir_.Path() / "out.kst";
    ASSERT_TRUE(writer.Write(file));

    ASSERT_TRUE(store_.OpenPack(file));
    ASSERT_EQ(store_.Directory().size(), 3u);
    EXPECT_EQ(store_.Directory()[0].name, "SOUNDS\\THEME.OGG");
    EXPECT_EQ(store_.Directory()[1].name, "IMAGES\\HERO.AN");
    EXPECT_EQ(store_.ReadMember("sounds\\theme.ogg"), "ogg bytes");
    EXPECT_EQ(store_.ReadMember("images/hero.an"), binary);
    EXPECT_EQ(store_.ReadMember("EMPTY.TXT"), std::string());
    EXPECT_EQ(store_.FileName(), file);
}

TEST_F(StoreTest, LookupIgnoresCaseAndServesTheFirstOfDuplicates) {
    StoreWriter writer;
    writer.Add("SOUNDS\\THEME.OGG", "first");
    writer.Add("sounds\\theme.ogg", "second");
    writer.Add("LOGOS\\LOGO1.JPG", "logo");
    ASSERT_TRUE(OpenBytes(writer.Build()));
    EXPECT_EQ(store_.IndexOf("sounds\\Theme.ogg"), 0);
    EXPECT_EQ(store_.IndexOf("logos/logo1.jpg"), 2);
    EXPECT_EQ(store_.IndexOf("logos\\logo1"), -1);
    EXPECT_EQ(store_.IndexOf("THEME.OGG"), -1);
    EXPECT_EQ(store_.ReadMember("sounds\\Theme.ogg"), "first");
}

TEST_F(StoreTest, MembersMayBeStoredInAnyOrder) {
    // Data of the second member first; the directory says where each one is.
    const std::string pack =
        Bytes().Raw("BBBAA").I32(2).Str("A").I32(3).I32(2).Str("B").I32(0).I32(3).I32(5).Data();
    ASSERT_TRUE(OpenBytes(pack));
    EXPECT_EQ(store_.ReadMember("a"), "AA");
    EXPECT_EQ(store_.ReadMember("b"), "BBB");
}

TEST_F(StoreTest, EmptyPackIsValidAndFindsNothing) {
    ASSERT_TRUE(OpenBytes(Bytes().I32(0).I32(0).Data()));
    EXPECT_TRUE(store_.IsOpen());
    EXPECT_TRUE(store_.Directory().empty());
    EXPECT_EQ(store_.IndexOf(""), -1);
    EXPECT_FALSE(store_.ReadMember("anything"));
}

TEST_F(StoreTest, ReadMemberToAppendsAndLeavesOutputAloneOnFailure) {
    StoreWriter writer;
    writer.Add("EMPTY", "");
    writer.Add("DATA", "payload");
    ASSERT_TRUE(OpenBytes(writer.Build()));

    std::ostringstream out;
    out << "keep:";
    EXPECT_TRUE(store_.ReadMemberTo("empty", out));
    EXPECT_EQ(out.str(), "keep:");
    EXPECT_TRUE(store_.ReadMemberTo("data", out));
    EXPECT_EQ(out.str(), "keep:payload");
    EXPECT_FALSE(store_.ReadMemberTo("missing", out));
    EXPECT_EQ(out.str(), "keep:payload");

    std::ostringstream failed;
    failed.setstate(std::ios::badbit);
    EXPECT_FALSE(store_.ReadMemberTo("data", failed));
}

TEST_F(StoreTest, RejectionSaysWhyAndWhere) {
    struct Case {
        std::string pack;
        LoadError::Problem problem;
        uint64_t offset;
        std::string_view what;
    };
    using enum LoadError::Problem;
    const Case cases[] = {
        // The trailer points past the directory's end (byte 4).
        {Bytes().I32(0).I32(100).Data(), Corrupt, 4, "directory offset 100"},
        {Bytes().I32(-1).I32(0).I32(0).Data(), Corrupt, 0, "negative member count"},
        // The only entry (at byte 4) names 50 bytes of which 10 are there.
        {Bytes().I32(1).I32(50).Raw("abcdefghij").I32(0).Data(), Truncated, 4, "name of member 0"},
        // Data "AB", then the directory at 2 whose entry (at 6) reaches past the end.
        {Bytes().Raw("AB").I32(1).Str("A").I32(0).I32(99).I32(2).Data(), Corrupt, 6,
         "member 0 (offset 0, size 99)"},
        {"xx", Truncated, 0, "shorter than its trailer"},
    };
    for (const Case& c : cases) {
        const LoadResult opened = store_.OpenPack(WritePack(c.pack));
        ASSERT_FALSE(opened) << c.what;
        EXPECT_EQ(opened.Error().problem, c.problem) << c.what;
        EXPECT_EQ(opened.Error().offset, c.offset) << c.what;
        EXPECT_NE(opened.Error().what.find(c.what), std::string::npos) << opened.Error().what;
        EXPECT_NE(opened.Error().Message("pack").find(" at byte " + std::to_string(c.offset)),
                  std::string::npos);
    }
    const LoadResult missing = store_.OpenPack(dir_.Path() / "nothing.kst");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.Error().problem, Unreadable);
}

TEST_F(StoreTest, MissingPackLeavesTheStoreEmpty) {
    EXPECT_FALSE(store_.OpenPack(dir_.Path() / "nothing.kst"));
    EXPECT_FALSE(store_.IsOpen());
    EXPECT_EQ(store_.IndexOf("A"), -1);
    std::ostringstream out;
    EXPECT_FALSE(store_.ReadMemberTo("A", out));
    EXPECT_FALSE(store_.ReadDirectory());
}

TEST_F(StoreTest, OpeningAnotherPackReplacesTheDirectory) {
    StoreWriter first;
    first.Add("ONE", "1");
    StoreWriter second;
    second.Add("TWO", "2");
    ASSERT_TRUE(store_.OpenPack(dir_.Write("a.kst", first.Build())));
    ASSERT_TRUE(store_.OpenPack(dir_.Write("b.kst", second.Build())));
    EXPECT_EQ(store_.IndexOf("ONE"), -1);
    EXPECT_EQ(store_.ReadMember("TWO"), "2");
    // A corrupt pack after a good one must not leave the old directory behind.
    EXPECT_FALSE(store_.OpenPack(dir_.Write("c.kst", "xx")));
    EXPECT_EQ(store_.IndexOf("TWO"), -1);
}

TEST_F(StoreTest, PackTruncatedAfterOpeningFailsTheRead) {
    StoreWriter writer;
    writer.Add("BIG", std::string(1000, 'x'));
    const auto file = WritePack(writer.Build());
    ASSERT_TRUE(store_.OpenPack(file));
    std::filesystem::resize_file(file, 10);
    EXPECT_FALSE(store_.ReadMember("BIG"));
    std::ostringstream out;
    EXPECT_FALSE(store_.ReadMemberTo("BIG", out));
    EXPECT_TRUE(out.str().empty());
}

// A pack with one member "A" of the given data offset and size over 8 bytes of data, built
// around the given directory offset and count.
std::string OneMemberPack(int32_t nameLength, int32_t offset, int32_t size, int32_t count = 1) {
    return Bytes()
        .Raw("12345678")
        .I32(count)
        .I32(nameLength)
        .Raw("A")
        .I32(offset)
        .I32(size)
        .I32(8)
        .Data();
}

struct CorruptCase {
    const char* what;
    std::string bytes;
};

TEST_F(StoreTest, CorruptDirectoriesAreRejected) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    ASSERT_TRUE(OpenBytes(OneMemberPack(1, 0, 8))); // the baseline the cases below break
    EXPECT_EQ(store_.ReadMember("A"), "12345678");

    const std::vector<CorruptCase> cases = {
        {"empty file", ""},
        {"shorter than the trailer", "\x01\x02\x03"},
        {"trailer only", Bytes().I32(0).Data()},
        {"directory offset past the end", Bytes().I32(0).I32(100).Data()},
        {"directory offset negative", Bytes().I32(0).I32(-4).Data()},
        {"directory offset at the trailer", Bytes().I32(0).I32(4).Data()},
        {"directory offset minimum", Bytes().I32(0).I32(kMin).Data()},
        {"negative count", Bytes().I32(-1).I32(0).Data()},
        {"huge count", Bytes().I32(kMax).I32(0).Data()},
        {"count larger than the entries", OneMemberPack(1, 0, 8, 2)},
        {"name length past the end", OneMemberPack(1000, 0, 8)},
        {"name length huge", OneMemberPack(kMax, 0, 8)},
        {"name length negative", OneMemberPack(-1, 0, 8)},
        {"data offset past the end", OneMemberPack(1, 1000, 1)},
        {"data offset negative", OneMemberPack(1, -1, 1)},
        {"data size past the end", OneMemberPack(1, 0, 1000)},
        {"data size negative", OneMemberPack(1, 0, -8)},
        {"offset plus size overflows", OneMemberPack(1, 4, kMax)},
        {"entry cut short", Bytes().Raw("1234").I32(1).I32(1).Raw("A").I32(0).I32(4).Data()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(OpenBytes(c.bytes));
        EXPECT_EQ(store_.IndexOf("A"), -1);
        std::ostringstream out;
        EXPECT_FALSE(store_.ReadMemberTo("A", out));
    }
}

// Each accepted pack must describe only bytes inside the file, and serve exactly them.
void ExpectSane(TKQStore& store, int64_t fileSize) {
    for (const auto& entry : store.Directory()) {
        ASSERT_GE(entry.offset, 0);
        ASSERT_GE(entry.size, 0);
        ASSERT_LE(entry.offset + entry.size, fileSize);
        const int index = store.IndexOf(entry.name);
        if (index < 0) {
            // Only a stored name that is not in upper case can be out of reach of lookups.
            ASSERT_NE(TKQStore::NormaliseMemberName(entry.name), entry.name);
            continue;
        }
        const auto data = store.ReadMember(entry.name);
        ASSERT_TRUE(data);
        ASSERT_EQ(static_cast<int64_t>(data->size()),
                  store.Directory()[static_cast<size_t>(index)].size);
    }
}

TEST_F(StoreTest, RandomAndMutatedPacksNeverReadOutOfBounds) {
    std::mt19937 rng(20240611);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int32_t edges[] = {0,
                             1,
                             -1,
                             4,
                             7,
                             8,
                             255,
                             65536,
                             std::numeric_limits<int32_t>::max(),
                             std::numeric_limits<int32_t>::min()};
    int accepted = 0;
    int rejected = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string pack;
        if (round % 10 == 0) {
            pack = test::RandomBytes(rng, static_cast<size_t>(pick(0, 64)));
        } else {
            StoreWriter writer;
            const int members = pick(0, 5);
            for (int m = 0; m < members; ++m) {
                writer.Add("M" + std::to_string(m),
                           test::RandomBytes(rng, static_cast<size_t>(pick(0, 40))));
            }
            pack = writer.Build();
            const int mutations = pick(0, 3);
            for (int k = 0; k < mutations && !pack.empty(); ++k) {
                const auto at = static_cast<size_t>(pick(0, static_cast<int>(pack.size()) - 1));
                switch (pick(0, 3)) {
                case 0:
                    pack[at] = static_cast<char>(pick(0, 255));
                    break;
                case 1: {
                    if (pack.size() - at < 4) {
                        break;
                    }
                    const auto v = static_cast<uint32_t>(int64_t{edges[pick(0, 9)]} + pick(-2, 2));
                    for (int i = 0; i < 4; ++i) {
                        pack[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
                    }
                    break;
                }
                case 2:
                    pack.resize(at);
                    break;
                default:
                    pack.insert(at, test::RandomBytes(rng, static_cast<size_t>(pick(1, 8))));
                    break;
                }
            }
        }
        SCOPED_TRACE(round);
        if (OpenBytes(pack)) {
            ++accepted;
            ExpectSane(store_, static_cast<int64_t>(pack.size()));
        } else {
            ++rejected;
        }
        if (HasFatalFailure()) {
            return;
        }
    }
    // Both paths must have been exercised for the test to mean anything.
    EXPECT_GT(accepted, 100);
    EXPECT_GT(rejected, 100);
}

} // namespace
} // namespace kq::media
