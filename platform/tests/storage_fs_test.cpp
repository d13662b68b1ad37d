// RAM file system: name mapping, confinement, directories, listing and the
// flash copy.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "flash_layout.h"
#include "storage_test_env.h"

namespace {

using storage_test::ConsoleCapture;
using storage_test::read_file;
using storage_test::write_file;

class FsTest : public storage_test::StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        use_fs();
    }
    static bool put(const char *name, const std::string &content) {
        FILE *f = sal_fopen(name, "w");
        if (f == nullptr) return false;
        std::fputs(content.c_str(), f);
        return sal_fclose(f) == 0;
    }
    static std::string get(const char *name) {
        FILE *f = sal_fopen(name, "rb");
        if (f == nullptr) return "<none>";
        std::string out;
        char buf[256];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        sal_fclose(f);
        return out;
    }
    static std::string cwd() {
        char buf[64];
        return sal_getcwd(buf, sizeof buf) ? buf : "<none>";
    }
};

using fs_paths = FsTest;
using fs_flash = FsTest;

TEST_F(fs_paths, FlashAndHostPrefixesMapToTheirRoots) {
    ASSERT_TRUE(put("flash:a.txt", "local"));
    ASSERT_TRUE(put("host:b.txt", "remote"));
    ASSERT_TRUE(put("/c.txt", "rooted"));
    EXPECT_EQ(read_file(fs_root / "a.txt"), "local");
    EXPECT_EQ(read_file(tftp_root / "b.txt"), "remote");
    EXPECT_EQ(read_file(fs_root / "c.txt"), "rooted");
    EXPECT_FALSE(std::filesystem::exists(fs_root / "b.txt"));
    EXPECT_EQ(get("a.txt"), "local");
    EXPECT_EQ(get("flash:/c.txt"), "rooted");
    EXPECT_EQ(get("host:/b.txt"), "remote");
    errno = 0;
    EXPECT_EQ(sal_fopen("tape:x", "r"), nullptr);
    EXPECT_EQ(errno, ENODEV);
}

TEST_F(fs_paths, NamesCannotLeaveTheirRoot) {
    write_file(tmp.path / "outside.txt", "secret");
    for (const char *name : {"..", "../outside.txt", "flash:../outside.txt", "host:../outside.txt",
                             "/a/../../outside.txt", "./../fs/x"}) {
        errno = 0;
        EXPECT_EQ(sal_fopen(name, "r"), nullptr) << name;
        EXPECT_EQ(errno, EACCES) << name;
        EXPECT_NE(sal_remove(name), 0) << name;
    }
    EXPECT_NE(sal_cd(".."), 0);
    EXPECT_EQ(read_file(tmp.path / "outside.txt"), "secret");
    // ".." inside the root is fine, and an absolute name stays inside.
    ASSERT_EQ(sal_mkdir("d"), 0);
    ASSERT_TRUE(put("d/../inside.txt", "in"));
    EXPECT_EQ(read_file(fs_root / "inside.txt"), "in");
    EXPECT_EQ(get("/tmp/../inside.txt"), "in");
    EXPECT_EQ(sal_fopen(tmp.path.c_str(), "r"), nullptr);
}

TEST_F(fs_paths, SymbolicLinksAreNotFollowed) {
    std::filesystem::create_directory(tmp.path / "elsewhere");
    write_file(tmp.path / "elsewhere" / "f", "outside");
    std::filesystem::create_directory_symlink(tmp.path / "elsewhere", fs_root / "dirlink");
    std::filesystem::create_symlink(tmp.path / "elsewhere" / "f", fs_root / "filelink");
    EXPECT_EQ(sal_fopen("dirlink/f", "r"), nullptr);
    EXPECT_EQ(sal_fopen("filelink", "r"), nullptr);
    EXPECT_EQ(sal_fopen("filelink", "w"), nullptr);
    EXPECT_NE(sal_cd("dirlink"), 0);
    EXPECT_NE(sal_mkdir("dirlink/new"), 0);
    EXPECT_EQ(read_file(tmp.path / "elsewhere" / "f"), "outside");
    EXPECT_FALSE(std::filesystem::exists(tmp.path / "elsewhere" / "new"));
}

TEST_F(fs_paths, CurrentAndHomeDirectories) {
    EXPECT_EQ(cwd(), "/");
    char home[64];
    EXPECT_STREQ(sal_homedir_get(home, sizeof home), "/");
    ASSERT_EQ(sal_mkdir("scripts"), 0);
    ASSERT_EQ(sal_mkdir("flash:scripts/rc"), 0);
    ASSERT_EQ(sal_cd("scripts/rc"), 0);
    EXPECT_EQ(cwd(), "/scripts/rc");
    ASSERT_TRUE(put("here", "x"));
    EXPECT_TRUE(std::filesystem::exists(fs_root / "scripts" / "rc" / "here"));
    ASSERT_EQ(sal_cd(".."), 0);
    EXPECT_EQ(cwd(), "/scripts");
    ASSERT_EQ(sal_homedir_set("rc"), 0);
    EXPECT_STREQ(sal_homedir_get(home, sizeof home), "/scripts/rc/");
    ASSERT_EQ(sal_cd("flash:"), 0);
    EXPECT_EQ(cwd(), "/");
    ASSERT_EQ(sal_cd(nullptr), 0);
    EXPECT_EQ(cwd(), "/scripts/rc");

    EXPECT_LT(sal_cd("missing"), 0);
    EXPECT_LT(sal_cd("here"), 0);  // a file
    EXPECT_LT(sal_cd("host:"), 0);
    EXPECT_LT(sal_homedir_set("missing"), 0);
    EXPECT_EQ(cwd(), "/scripts/rc");
    char tiny[4];
    EXPECT_EQ(sal_getcwd(tiny, sizeof tiny), nullptr);
    EXPECT_EQ(sal_homedir_get(tiny, sizeof tiny), nullptr);
}

TEST_F(fs_paths, RemoveRenameAndDirectoriesReportFailures) {
    ASSERT_TRUE(put("one", "1"));
    EXPECT_EQ(sal_rename("one", "two"), 0);
    EXPECT_EQ(get("two"), "1");
    EXPECT_NE(sal_rename("one", "three"), 0);
    EXPECT_NE(sal_rename("two", "host:two"), 0);  // no moves between the two roots
    EXPECT_EQ(sal_remove("two"), 0);
    EXPECT_NE(sal_remove("two"), 0);
    ASSERT_EQ(sal_mkdir("d"), 0);
    EXPECT_NE(sal_mkdir("d"), 0);
    ASSERT_TRUE(put("d/f", "x"));
    EXPECT_NE(sal_rmdir("d"), 0);  // not empty
    EXPECT_NE(sal_remove("d"), 0);
    EXPECT_EQ(sal_remove("d/f"), 0);
    EXPECT_EQ(sal_rmdir("d"), 0);
    EXPECT_NE(sal_rmdir("/"), 0);
    EXPECT_NE(sal_remove(nullptr), 0);
    EXPECT_NE(sal_mkdir(""), 0);
    EXPECT_EQ(sal_fopen("x", "q"), nullptr);
    EXPECT_EQ(sal_fopen("x", nullptr), nullptr);
    EXPECT_EQ(sal_fopen("/", "r"), nullptr);
    EXPECT_EQ(sal_fclose(nullptr), EOF);
    EXPECT_EQ(sal_flash_boot("loader"), -1);
}

TEST_F(fs_paths, LsListsFilesAndDirectories) {
    ASSERT_TRUE(put("b.soc", "12345"));
    ASSERT_EQ(sal_mkdir("a"), 0);
    ConsoleCapture console;
    EXPECT_EQ(sal_ls(".", 0), 0);
    EXPECT_EQ(console.out, "     <DIR>  a/\n         5  b.soc\n");
    console.out.clear();
    EXPECT_EQ(sal_ls("flash:b.soc", 0), 0);
    EXPECT_EQ(console.out, "         5  b.soc\n");
    console.out.clear();
    EXPECT_EQ(sal_ls("nothing", 0), -1);
    EXPECT_EQ(console.out, "ls: nothing: no such file or directory\n");
}

TEST_F(fs_flash, ClosingAWrittenFileWritesTheFlashCopy) {
    const uint64_t before = flash_host_write_ops();
    FILE *f = sal_fopen("flash:kept.soc", "r");
    EXPECT_EQ(f, nullptr);
    ASSERT_TRUE(put("flash:kept.soc", "echo hi\n"));
    ASSERT_EQ(sal_mkdir("dir"), 0);
    ASSERT_TRUE(put("dir/inner", "deep"));
    EXPECT_GT(flash_host_write_ops(), before);

    // Reading and an unchanged sync write nothing.
    const uint64_t synced = flash_host_write_ops();
    EXPECT_EQ(get("kept.soc"), "echo hi\n");
    EXPECT_EQ(sal_flash_sync(), 0);
    EXPECT_EQ(flash_host_write_ops(), synced);

    // A reboot loses the RAM file system; it comes back from flash.
    std::filesystem::remove_all(fs_root);
    reboot();
    use_fs();
    EXPECT_EQ(get("kept.soc"), "echo hi\n");
    EXPECT_EQ(get("dir/inner"), "deep");
}

TEST_F(fs_flash, RemovalsReachTheFlashCopy) {
    ASSERT_TRUE(put("a", "1"));
    ASSERT_TRUE(put("b", "2"));
    ASSERT_EQ(sal_remove("a"), 0);
    ASSERT_EQ(sal_rename("b", "c"), 0);
    std::filesystem::remove_all(fs_root);
    use_fs();
    EXPECT_EQ(get("a"), "<none>");
    EXPECT_EQ(get("b"), "<none>");
    EXPECT_EQ(get("c"), "2");
}

TEST_F(fs_flash, AnExistingDirectoryIsNotOverwrittenFromFlash) {
    ASSERT_TRUE(put("f", "flash copy"));
    write_file(fs_root / "f", "edited by hand");
    use_fs();
    EXPECT_EQ(get("f"), "edited by hand");
}

TEST_F(fs_flash, FormatEmptiesTheFileSystemAndItsCopy) {
    ASSERT_EQ(sal_mkdir("d"), 0);
    ASSERT_TRUE(put("d/f", "x"));
    ASSERT_EQ(sal_cd("d"), 0);
    ASSERT_EQ(sal_flash_init(1), 0);
    EXPECT_TRUE(std::filesystem::is_empty(fs_root));
    EXPECT_EQ(cwd(), "/");
    ASSERT_EQ(sal_flash_init(0), 0);
    EXPECT_TRUE(std::filesystem::is_empty(fs_root));
    use_fs();
    EXPECT_TRUE(std::filesystem::is_empty(fs_root));
}

TEST_F(fs_flash, FileSystemLargerThanItsRegionFailsTheClose) {
    ConsoleCapture console;
    FILE *f = sal_fopen("big", "w");
    ASSERT_NE(f, nullptr);
    std::string chunk(64 * 1024, 'z');
    for (uint32_t done = 0; done <= FLASH_FS_SIZE; done += chunk.size())
        std::fwrite(chunk.data(), 1, chunk.size(), f);
    EXPECT_EQ(sal_fclose(f), EOF);
    EXPECT_NE(console.out.find("does not fit"), std::string::npos);
    EXPECT_LT(sal_flash_sync(), 0);
    EXPECT_EQ(sal_remove("big"), 0);  // removing it makes the copy fit again
    EXPECT_EQ(sal_flash_sync(), 0);
}

TEST_F(fs_flash, CorruptCopyIsReportedAndTheFileSystemStartsEmpty) {
    ASSERT_TRUE(put("f", "content"));
    uint8_t zero = 0;
    ASSERT_EQ(flash_program(FLASH_FS_OFFSET + 20, &zero, 1), 0);
    std::filesystem::remove_all(fs_root);
    ConsoleCapture console;
    use_fs();
    EXPECT_NE(console.out.find("CRC mismatch"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(fs_root));
}

TEST_F(fs_paths, LogFileNamesStayInsideTheFileSystem) {
    const auto victim = tmp.path / "victim";
    write_file(victim, "keep");
    EXPECT_LT(sal_log_file_set(victim.c_str(), 0), 0);
    EXPECT_LT(sal_log_file_set("../escape.log", 0), 0);
    EXPECT_EQ(read_file(victim), "keep");
    EXPECT_FALSE(std::filesystem::exists(tmp.path / "escape.log"));
    ASSERT_EQ(sal_log_file_set("flash:kept.log", 1), 0);
    sal_log_file_set(nullptr, 0);
    EXPECT_TRUE(std::filesystem::exists(fs_root / "kept.log"));
}

TEST_F(fs_paths, OpeningAFifoFailsInsteadOfBlocking) {
    ASSERT_EQ(::mkfifo((fs_root / "pipe").c_str(), 0644), 0);
    errno = 0;
    EXPECT_EQ(sal_fopen("flash:pipe", "r"), nullptr);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(sal_fopen("flash:pipe", "w"), nullptr);
}

}  // namespace
