// Runs the built kqscript program on a deeply recursive script: the program gives scripts the
// stack the interpreter's call bound needs.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

const fs::path kKqscript = fs::path(KQ_BINARY_DIR) / "kqscript";

TEST(KqscriptRecursion, RoutinesRecurseToTheCallBound) {
    if (!fs::exists(kKqscript)) {
        KQ_SKIP_MISSING() << "build the kqscript target first: " << kKqscript;
    }
    kq::test::TempDir dir;
    const fs::path script =
        dir.Write("deep.txt", "FUNCTION DOWN(N); BEGIN IF N = 0 THEN RESULT := 0 ELSE RESULT := "
                              "DOWN(N - 1) + 1 END; D := DOWN(1999); E := DOWN(2000);");
    const fs::path out = dir.Path() / "out.txt";
    const fs::path err = dir.Path() / "err.txt";
    const std::string command = "'" + kKqscript.string() + "' '" + script.string() + "' >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1); // the second call goes past the bound
    EXPECT_NE(kq::test::ReadAll(out).find("D = Integer 1999"), std::string::npos);
    EXPECT_NE(kq::test::ReadAll(err).find("Too many nested calls, procedure DOWN"),
              std::string::npos);
}

} // namespace
