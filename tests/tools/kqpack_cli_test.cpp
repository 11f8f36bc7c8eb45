// Runs the built kqpack program to check what a shell sees: exit codes and messages.
#include "media/image_test_util.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

const fs::path kKqpack = fs::path(KQ_BINARY_DIR) / "kqpack";

class KqpackCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kKqpack)) {
            KQ_SKIP_MISSING() << "build the kqpack target first: " << kKqpack;
        }
    }

    // Runs kqpack with the arguments (already quoted for the shell); stderr is kept in err_.
    int Run(const std::string& args) {
        const fs::path errFile = dir_.Path() / "stderr.txt";
        const std::string command = "'" + kKqpack.string() + "' " + args + " >'" +
                                    (dir_.Path() / "stdout.txt").string() + "' 2>'" +
                                    errFile.string() + "'";
        const int status = std::system(command.c_str());
        err_ = kq::test::ReadAll(errFile);
        out_ = kq::test::ReadAll(dir_.Path() / "stdout.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

    kq::test::TempDir dir_;
    std::string out_, err_;
};

TEST_F(KqpackCliTest, ExitCodesTellUsageFromBadInput) {
    EXPECT_EQ(Run(""), 2);
    EXPECT_EQ(Run("frobnicate"), 2);
    EXPECT_EQ(Run("build"), 2); // missing SCENE and -o
    EXPECT_EQ(Run("list a.kst --codepage no-such-cp"), 2);
    EXPECT_EQ(Run("--help"), 0);

    const fs::path bad =
        dir_.Write("bad.json", R"({"class": "TKQDB", "children": [{"class": "Nope"}]})");
    EXPECT_EQ(Run("build " + Quoted(bad) + " -o " + Quoted(dir_.Path() / "g.kqf")), 1);
    EXPECT_NE(err_.find("/children/0/class: unknown class 'Nope'"), std::string::npos) << err_;
    EXPECT_EQ(Run("dump " + Quoted(dir_.Path() / "missing.kqf")), 1);
    EXPECT_EQ(Run("list " + Quoted(bad)), 1);
}

TEST_F(KqpackCliTest, BuildDumpAndTruncatedDump) {
    const fs::path json = dir_.Write("scene.json", R"({"class": "TKQDB", "props": {"Id": "G"},
        "children": [{"class": "Screen", "props": {"Id": "A"}},
                     {"class": "Screen", "props": {"Id": "B", "Tag": "a long enough tag"}}]})");
    const fs::path kqf = dir_.Path() / "g.kqf";
    ASSERT_EQ(Run("build " + Quoted(json) + " -o " + Quoted(kqf)), 0) << err_;
    ASSERT_EQ(Run("dump " + Quoted(kqf)), 0) << err_;
    EXPECT_NE(out_.find("\"class\": \"TKQScreen\""), std::string::npos);
    EXPECT_TRUE(err_.empty()) << err_;

    // Cut inside the second screen: the dump keeps the first, warns, and still succeeds.
    std::string bytes = kq::test::ReadAll(kqf);
    const fs::path cut = dir_.Write("cut.kqf", bytes.substr(0, bytes.size() - 10));
    const fs::path json2 = dir_.Path() / "cut.json";
    ASSERT_EQ(Run("dump " + Quoted(cut) + " -o " + Quoted(json2)), 0);
    EXPECT_NE(err_.find("warning"), std::string::npos) << err_;
    EXPECT_NE(err_.find("stopped at the record of child 1"), std::string::npos) << err_;
    const std::string kept = kq::test::ReadAll(json2);
    EXPECT_NE(kept.find("\"Id\": \"A\""), std::string::npos);
    EXPECT_EQ(kept.find("\"Id\": \"B\""), std::string::npos);
}

TEST_F(KqpackCliTest, FilterEndToEnd) {
    auto pixel = [](int x, int y) {
        return static_cast<uint32_t>((x * 30) << 24 | (x * 20) << 16 | (y * 25) << 8 | 0x40);
    };
    const fs::path in = dir_.Write("in.png", kq::test::MakePng(9, 7, pixel));
    const fs::path out = dir_.Path() / "out.png";
    const std::string files = Quoted(in) + " " + Quoted(out);
    // Negative parameters are values, not options.
    ASSERT_EQ(Run("filter " + files + " --filter flwave --par1 -2.5 --par2 3 --par3 2"), 0) << err_;
    kq::media::DecodedPicture result = kq::media::DecodePng(kq::test::ReadAll(out));
    ASSERT_TRUE(result);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(result->At(x, y) >> 24, pixel(x, y) >> 24) << x << "," << y;
        }
    }
    EXPECT_NE(kq::test::ReadAll(out), kq::test::ReadAll(in));

    ASSERT_EQ(Run("filter " + files + " --filter 11 --par1 80 --seed 5"), 0) << err_;
    const std::string seeded = kq::test::ReadAll(out);
    ASSERT_EQ(Run("filter " + files + " --filter flAddNoise --par1 80 --seed 5"), 0) << err_;
    EXPECT_EQ(kq::test::ReadAll(out), seeded);

    EXPECT_EQ(Run("filter " + files + " --filter 40"), 0) << err_;
    EXPECT_EQ(Run("filter " + files + " --filter -1"), 1);
    EXPECT_EQ(err_, "kqpack: unknown filter '-1' (a number from 0, or a name such as flWave)\n");
    EXPECT_EQ(Run("filter " + Quoted(dir_.Path() / "none.png") + " " + Quoted(out) + " --filter 2"),
              1);
    EXPECT_EQ(Run("filter " + files), 2); // --filter is required
}

TEST_F(KqpackCliTest, ParticlesPrintSetWritePrintRoundTrip) {
    const fs::path first = dir_.Path() / "first.bin";
    ASSERT_EQ(Run("particles --set rate=25 --set color_start=0x80FF0000 --set last_pattern=-1 "
                  "--set spread=-0.75 -o " +
                  Quoted(first)),
              0)
        << err_;
    ASSERT_EQ(Run("particles " + Quoted(first)), 0) << err_;
    const std::string printed = out_;
    EXPECT_NE(printed.find("\"rate\": 25,"), std::string::npos) << printed;
    EXPECT_NE(printed.find("\"color_start\": 2164195328,"), std::string::npos) << printed;
    EXPECT_NE(printed.find("\"spread\": -0.75,"), std::string::npos) << printed;
    EXPECT_NE(printed.find("\"newest_first\": 0\n}"), std::string::npos) << printed;

    // Writing from the file with one change and printing again changes exactly that line.
    const fs::path second = dir_.Path() / "second.bin";
    ASSERT_EQ(Run("particles " + Quoted(first) + " --set duration=4.5 -o " + Quoted(second)), 0)
        << err_;
    ASSERT_EQ(Run("particles " + Quoted(second)), 0) << err_;
    std::string expected = printed;
    const std::string from = "\"duration\": 0,";
    expected.replace(expected.find(from), from.size(), "\"duration\": 4.5,");
    EXPECT_EQ(out_, expected);
    // With no change the bytes are the same.
    const fs::path third = dir_.Path() / "third.bin";
    ASSERT_EQ(Run("particles " + Quoted(second) + " -o " + Quoted(third)), 0) << err_;
    EXPECT_EQ(kq::test::ReadAll(third), kq::test::ReadAll(second));

    EXPECT_EQ(Run("particles"), 2);
    EXPECT_EQ(Run("particles " + Quoted(first) + " --set rate=1"), 2); // --set needs -o
    EXPECT_EQ(Run("particles --set rate=x -o " + Quoted(third)), 1);
    EXPECT_EQ(err_, "kqpack: bad value 'x' for rate: expected a finite number\n");
    EXPECT_EQ(Run("particles " + Quoted(dir_.Path() / "none.bin")), 1);
}

} // namespace
