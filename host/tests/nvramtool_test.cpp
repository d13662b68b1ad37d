// nvramtool as a user runs it: values on standard output, diagnostics on
// standard error, exit status 1 for an absent name.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "flash_layout.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class nvramtool : public ::testing::Test {
  protected:
    fs::path dir;
    fs::path flash;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "nvramtool_XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        flash = dir / "flash.bin";
    }
    void TearDown() override { fs::remove_all(dir); }

    ToolRun run(std::vector<std::string> args) {
        args.insert(args.begin(), flash.string());
        const fs::path out = dir / "out", err = dir / "err";
        pid_t pid = fork();
        if (pid == 0) {
            int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(o, 1);
            dup2(e, 2);
            std::vector<char *> argv{const_cast<char *>(NVRAMTOOL_PATH)};
            for (auto &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(NVRAMTOOL_PATH, argv.data());
            _exit(127);
        }
        ToolRun r;
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        r.out = slurp(out);
        r.err = slurp(err);
        return r;
    }
};

TEST_F(nvramtool, ValuesGoToStandardOutputAndDiagnosticsToStandardError) {
    ASSERT_EQ(run({"set", "a", "1"}).status, 0);
    ASSERT_EQ(run({"set", "b", "2"}).status, 0);  // the second copy
    // Damage the first copy's body: the store opens from the second one and
    // says why it ignored the first.
    {
        std::fstream f(flash, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(FLASH_NVRAM_OFFSET + 16);
        f.put('X');
    }
    ToolRun dump = run({"dump"});
    EXPECT_EQ(dump.status, 0);
    EXPECT_EQ(dump.out, "a=1\nb=2\n");
    EXPECT_NE(dump.err.find("ignored"), std::string::npos) << dump.err;

    ToolRun get = run({"get", "b"});
    EXPECT_EQ(get.status, 0);
    EXPECT_EQ(get.out, "2\n");

    ToolRun absent = run({"get", "nope"});
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.out, "");
    EXPECT_NE(absent.err.find("nope is not set"), std::string::npos);
}

}  // namespace
