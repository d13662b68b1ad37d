// The page compiler as a program: what it refuses, with file and line.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class webc : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("webc_test_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(const std::string &name, const std::string &text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }

    // Runs the compiler on files.txt; returns its exit status, message in error_.
    int run(const std::string &extra = "") {
        std::string cmd = std::string(WEBC_PATH) + " --manifest " + (dir_ / "files.txt").string() +
                          " --pages " + dir_.string() + " --table t --out " +
                          (dir_ / "out.cpp").string() + " " + extra + " 2> " +
                          (dir_ / "err.txt").string();
        int status = std::system(cmd.c_str());
        std::ifstream in(dir_ / "err.txt");
        std::stringstream text;
        text << in.rdbuf();
        error_ = text.str();
        return WEXITSTATUS(status);
    }

    int compile_page(const std::string &page) {
        write("files.txt", "p.htm 0x0 - p.htm\n");
        write("p.htm", page);
        return run();
    }

    std::string output() {
        std::ifstream in(dir_ / "out.cpp");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir_;
    std::string error_;
};

TEST_F(webc, GoodManifestCompilesRowsAndDeclaresSymbols) {
    write("files.txt",
          "\"\" 0x201 - p.htm\nb.cgi 0x4000 pending @\"\"\nc.gif 0x202 - placeholder\n"
          "d.cgi 0x4000 my_handler placeholder\n");
    write("p.htm", "a<!--#loop my_loop 1 2-->b<!--#tag my_tag $0 0x10-->c<!--#endloop-->");
    ASSERT_EQ(run("--count 4"), 0) << error_;
    std::string out = output();
    EXPECT_NE(out.find("int my_handler(httpd_event *, httpd_request *);"), std::string::npos);
    EXPECT_NE(out.find("void my_tag(const uint16_t[3], httpd_tag_out *, httpd_request *);"),
              std::string::npos);
    EXPECT_NE(out.find("{0x12, 0, {0, 16, 0}, {.tag = my_tag}}"), std::string::npos);
    EXPECT_NE(out.find("{0x01, 4, {1, 2, 0}, {.loop = my_loop}}"), std::string::npos);
    EXPECT_NE(out.find("{\"b.cgi\", httpd_pending_handler, page_0, 0x4000}"), std::string::npos);
    EXPECT_NE(out.find("{nullptr, nullptr, nullptr, 0}"), std::string::npos);
}

TEST_F(webc, TemplateErrorsNameFileAndLine) {
    EXPECT_EQ(compile_page("x\n<!--#loop a-->"), 1);
    EXPECT_NE(error_.find("p.htm:2: loop without endloop"), std::string::npos) << error_;
    EXPECT_EQ(compile_page("\n\n<!--#endloop-->"), 1);
    EXPECT_NE(error_.find("p.htm:3: endloop without loop"), std::string::npos) << error_;
    EXPECT_EQ(compile_page("<!--#tag a"), 1);
    EXPECT_NE(error_.find("without \"-->\""), std::string::npos);
    EXPECT_EQ(compile_page("<!--#include x-->"), 1);
    EXPECT_NE(error_.find("unknown marker \"include\""), std::string::npos);
    EXPECT_EQ(compile_page("<!--#tag 9a-->"), 1);
    EXPECT_EQ(compile_page("<!--#tag a 1 2 3 4-->"), 1);
    EXPECT_NE(error_.find("at most 3 arguments"), std::string::npos);
    EXPECT_EQ(compile_page("<!--#tag a 65536-->"), 1);
    EXPECT_EQ(compile_page("<!--#tag a -1-->"), 1);
    EXPECT_EQ(compile_page("<!--#tag a $0-->"), 1);
    EXPECT_NE(error_.find("argument $0 names no enclosing loop"), std::string::npos);
    EXPECT_EQ(compile_page("<!--#loop a $0--><!--#endloop-->"), 1);
    EXPECT_EQ(compile_page("<!--#loop a--><!--#tag t $1--><!--#endloop-->"), 1);
}

TEST_F(webc, LoopLimitsAreEnforced) {
    std::string four =
        "<!--#loop a--><!--#loop a--><!--#loop a--><!--#loop a-->"
        "<!--#endloop--><!--#endloop--><!--#endloop--><!--#endloop-->";
    EXPECT_EQ(compile_page(four), 1);
    EXPECT_NE(error_.find("more than 3 nested loops"), std::string::npos);
    std::string three =
        "<!--#loop a--><!--#loop b--><!--#loop c--><!--#tag t $0 $1 $2-->"
        "<!--#endloop--><!--#endloop--><!--#endloop-->";
    EXPECT_EQ(compile_page(three), 0) << error_;
    std::string big = "<!--#loop a-->";
    for (int i = 0; i < 254; i++)
        big += "<!--#tag t-->";
    EXPECT_EQ(compile_page(big + "<!--#endloop-->"), 0) << error_;
    EXPECT_EQ(compile_page(big + "<!--#tag t--><!--#endloop-->"), 1);
    EXPECT_NE(error_.find("more than 255 records"), std::string::npos);
}

TEST_F(webc, LongTextsSplitButStaticFilesMustFitOneRecord) {
    EXPECT_EQ(compile_page(std::string(70000, 'a')), 0) << error_;
    EXPECT_NE(output().find("{0x80, 0, {4465, 0, 0}"), std::string::npos);
    write("files.txt", "big.gif 0x202 - big.gif\n");
    write("big.gif", std::string(65536, 'a'));
    EXPECT_EQ(run(), 1);
    EXPECT_NE(error_.find("larger than 65535 bytes"), std::string::npos);
    write("big.gif", std::string(65535, '\0'));
    EXPECT_EQ(run(), 0) << error_;
}

TEST_F(webc, ManifestErrorsAreReported) {
    write("files.txt", "b.htm 0x0 - placeholder\na.htm 0x0 - placeholder\n");
    EXPECT_EQ(run(), 1);
    EXPECT_NE(error_.find("files.txt:2: rows must be in byte order"), std::string::npos);
    write("files.txt", "A.htm 0x0 - placeholder\na.htm 0x0 - placeholder\n");
    EXPECT_EQ(run(), 1);
    EXPECT_NE(error_.find("hides behind"), std::string::npos);
    write("files.txt", "a.htm 0x0 - placeholder\n");
    EXPECT_EQ(run("--count 2"), 1);
    EXPECT_NE(error_.find("1 rows, expected 2"), std::string::npos);
    write("files.txt", "a.htm zz - placeholder\n");
    EXPECT_EQ(run(), 1);
    write("files.txt", "a.htm 0x0 bad-name placeholder\n");
    EXPECT_EQ(run(), 1);
    write("files.txt", "a.htm 0x0 - @none.htm\n");
    EXPECT_EQ(run(), 1);
    EXPECT_NE(error_.find("names no row"), std::string::npos);
    write("files.txt", "a.htm 0x0 - missing.htm\n");
    EXPECT_EQ(run(), 1);
    EXPECT_NE(error_.find("cannot be read"), std::string::npos);
    write("files.txt", "a.htm 0x0 -\n");
    EXPECT_EQ(run(), 1);
}

}  // namespace
