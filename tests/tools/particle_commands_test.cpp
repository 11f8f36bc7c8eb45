#include "tools/particle_commands.h"

#include "media/particle_system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <sstream>

namespace kq::tools {
namespace {

namespace fs = std::filesystem;

std::string Field(const std::string& json, const std::string& name) {
    const std::string key = "\"" + name + "\": ";
    const size_t at = json.find(key);
    if (at == std::string::npos) {
        return "<missing>";
    }
    const size_t start = at + key.size();
    return json.substr(start, json.find_first_of(",\n", start) - start);
}

TEST(ParticleCommands, JsonListsEveryFieldInFileOrder) {
    media::ParticleParams p;
    p.firstPattern = -2;
    p.unused = 0xCAFEF00D;
    p.blend = 0x504;
    p.rate = 0.1f;
    p.spread = -1.5e-7f;
    p.colorMiddle = 0xFF102030;
    p.newestFirst = 1;
    media::ParticleBlock block = media::EncodeParticleParams(p);
    media::SetParticleWord(block, 22,
                           std::bit_cast<uint32_t>(std::numeric_limits<float>::quiet_NaN()));
    const std::string json = ParticleBlockJson(block, block.size());

    size_t last = 0;
    for (const media::ParticleField& field : media::ParticleFields()) {
        const size_t at = json.find("\"" + std::string(field.name) + "\"");
        ASSERT_NE(at, std::string::npos) << field.name;
        EXPECT_GT(at, last) << field.name;
        last = at;
    }
    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(Field(json, "first_pattern"), "-2");
    EXPECT_EQ(Field(json, "unused"), "3405705229");
    EXPECT_EQ(Field(json, "blend"), "1284");
    EXPECT_EQ(Field(json, "rate"), "0.1"); // the shortest form that reads back the same float
    EXPECT_EQ(Field(json, "spread"), "-1.5e-07");
    EXPECT_EQ(Field(json, "color_middle"), "4279246896");
    EXPECT_EQ(Field(json, "size_variation"), "null"); // NaN
    EXPECT_EQ(Field(json, "newest_first"), "1");

    // A short file: the fields it lacks (a partly read one included) are null.
    const std::string cut = ParticleBlockJson(block, 18);
    EXPECT_EQ(Field(cut, "unused"), "3405705229");
    EXPECT_EQ(Field(cut, "blend"), "1284");
    EXPECT_EQ(Field(cut, "rate"), "null");
    EXPECT_EQ(Field(cut, "newest_first"), "null");
}

TEST(ParticleCommands, AssignmentsParseByFieldKind) {
    media::ParticleBlock block{};
    EXPECT_FALSE(SetParticleField(block, "last_pattern=-7"));
    EXPECT_FALSE(SetParticleField(block, "color_start=0xFF00ff80"));
    EXPECT_FALSE(SetParticleField(block, "blend=260"));
    EXPECT_FALSE(SetParticleField(block, "life_max=2.5e1"));
    EXPECT_FALSE(SetParticleField(block, "unused=4294967295"));
    const media::ParticleParams p = media::DecodeParticleParams(block);
    EXPECT_EQ(p.lastPattern, -7);
    EXPECT_EQ(p.colorStart, 0xFF00FF80u);
    EXPECT_EQ(p.blend, 260u);
    EXPECT_EQ(p.lifeMax, 25.0f);
    EXPECT_EQ(p.unused, 0xFFFFFFFFu);

    EXPECT_EQ(SetParticleField(block, "rate"), "expected NAME=VALUE, got 'rate'");
    EXPECT_EQ(SetParticleField(block, "speed=1"), "unknown field 'speed'");
    EXPECT_EQ(SetParticleField(block, "rate=nan"),
              "bad value 'nan' for rate: expected a finite number");
    EXPECT_TRUE(SetParticleField(block, "rate=1e39"));      // beyond a float
    EXPECT_TRUE(SetParticleField(block, "rate=2x"));        // trailing text
    EXPECT_TRUE(SetParticleField(block, "relative=1.5"));   // not an integer
    EXPECT_TRUE(SetParticleField(block, "blend=-1"));       // unsigned
    EXPECT_TRUE(SetParticleField(block, "first_pattern=")); // empty
    EXPECT_TRUE(SetParticleField(block, "color_end=0x100000000"));
    EXPECT_EQ(media::DecodeParticleParams(block).lastPattern, -7); // failures changed nothing
}

TEST(ParticleCommands, WriteFromZerosOrFromAFileAndPrint) {
    test::TempDir dir;
    std::ostringstream out, err;
    const fs::path made = dir.Path() / "made.bin";
    ASSERT_EQ(
        ParticlesWriteCommand(std::nullopt, {"rate=12", "duration=3", "newest_first=1"}, made, err),
        0)
        << err.str();
    const std::string bytes = test::ReadAll(made);
    ASSERT_EQ(bytes.size(), 136u);
    media::ParticleSystem system;
    ASSERT_TRUE(system.LoadFromFile(made));
    EXPECT_EQ(system.Params().rate, 12);
    EXPECT_EQ(system.Params().duration, 3);
    EXPECT_EQ(system.Params().newestFirst, 1);
    EXPECT_EQ(system.Params().lifeMax, 0);

    // From a short input: what it has is kept, the rest is zero.
    const fs::path shortFile = dir.Write("short.bin", bytes.substr(0, 20));
    const fs::path grown = dir.Path() / "grown.bin";
    ASSERT_EQ(ParticlesWriteCommand(shortFile, {"life_min=1"}, grown, err), 0) << err.str();
    ASSERT_EQ(ParticlesPrintCommand(grown, out, err), 0);
    EXPECT_EQ(Field(out.str(), "rate"), "12");
    EXPECT_EQ(Field(out.str(), "duration"), "0");
    EXPECT_EQ(Field(out.str(), "life_min"), "1");

    // Bad assignments write nothing; unreadable files fail.
    const fs::path none = dir.Path() / "none.bin";
    EXPECT_EQ(ParticlesWriteCommand(std::nullopt, {"rate=1", "bogus=2"}, none, err), 1);
    EXPECT_FALSE(fs::exists(none));
    EXPECT_NE(err.str().find("kqpack: unknown field 'bogus'"), std::string::npos);
    EXPECT_EQ(ParticlesPrintCommand(none, out, err), 1);
    EXPECT_EQ(ParticlesWriteCommand(none, {}, made, err), 1);
}

} // namespace
} // namespace kq::tools
