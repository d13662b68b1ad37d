// Flash driver over a file: geometry, NOR programming, erase, bounds, the
// flash file's size check and fault injection.
#include <unistd.h>

#include <vector>

#include "flash_layout.h"
#include "storage_test_env.h"

namespace {

using storage_test::StorageTest;
using storage_test::TempDir;

using flash_nor = StorageTest;

std::vector<uint8_t> read_sector(int sector) {
    std::vector<uint8_t> buf(FLASH_SECTOR_SIZE);
    EXPECT_EQ(flashBlkRead(sector, buf.data(), 0, static_cast<int>(buf.size())), 0);
    return buf;
}

TEST_F(flash_nor, NewFileIsErasedWithTheChipGeometry) {
    EXPECT_EQ(flash_sector_size, 65536);
    EXPECT_EQ(flashNumSectors(), 64);
    EXPECT_EQ(std::filesystem::file_size(flash_file), 4u << 20);
    std::string content = storage_test::read_file(flash_file);
    EXPECT_EQ(content.find_first_not_of('\xff'), std::string::npos);
    flash_host_close();
    EXPECT_EQ(flashNumSectors(), 0);
    EXPECT_EQ(flashBlkRead(0, content.data(), 0, 1), -1);
}

TEST_F(flash_nor, ProgrammingOnlyClearsBitsAndEraseSetsThem) {
    const uint8_t first[2] = {0xF0, 0x3C};
    const uint8_t second[2] = {0x0F, 0xFF};
    ASSERT_EQ(flashBlkWrite(5, first, 100, 2), 0);
    ASSERT_EQ(flashBlkWrite(5, second, 100, 2), 0);
    std::vector<uint8_t> sector = read_sector(5);
    EXPECT_EQ(sector[100], 0x00);
    EXPECT_EQ(sector[101], 0x3C);
    EXPECT_EQ(sector[99], 0xFF);

    // The file holds what the chip holds, at once.
    std::string file = storage_test::read_file(flash_file);
    EXPECT_EQ(static_cast<uint8_t>(file[5 * FLASH_SECTOR_SIZE + 101]), 0x3C);

    ASSERT_EQ(flashEraseBank(5, 1), 0);
    sector = read_sector(5);
    EXPECT_EQ(sector[100], 0xFF);
    EXPECT_EQ(sector[101], 0xFF);
}

TEST_F(flash_nor, ContentSurvivesReopen) {
    const char text[] = "kept";
    ASSERT_EQ(flashBlkWrite(63, text, FLASH_SECTOR_SIZE - 4, 4), 0);
    reboot();
    char back[4];
    ASSERT_EQ(flashBlkRead(63, back, FLASH_SECTOR_SIZE - 4, 4), 0);
    EXPECT_EQ(std::string(back, 4), "kept");
}

TEST_F(flash_nor, SectorBoundsAreEnforced) {
    uint8_t buf[16] = {};
    EXPECT_EQ(flashBlkRead(-1, buf, 0, 1), -1);
    EXPECT_EQ(flashBlkRead(64, buf, 0, 1), -1);
    EXPECT_EQ(flashBlkRead(0, buf, FLASH_SECTOR_SIZE - 8, 16), -1);
    EXPECT_EQ(flashBlkRead(0, buf, -1, 1), -1);
    EXPECT_EQ(flashBlkRead(0, buf, 0, -1), -1);
    EXPECT_EQ(flashBlkRead(0, nullptr, 0, 1), -1);
    EXPECT_EQ(flashBlkWrite(64, buf, 0, 1), -1);
    EXPECT_EQ(flashBlkWrite(1, buf, FLASH_SECTOR_SIZE, 1), -1);
    EXPECT_EQ(flashEraseBank(-1, 1), -1);
    EXPECT_EQ(flashEraseBank(60, 5), -1);
    EXPECT_EQ(flashEraseBank(0, -1), -1);
    EXPECT_EQ(flash_erase(100, FLASH_SECTOR_SIZE), -1);  // not sector-aligned
    EXPECT_EQ(flash_read(FLASH_SIZE - 2, buf, 4), -1);
    // The last byte of the chip and a range ending there are fine.
    EXPECT_EQ(flashBlkRead(63, buf, FLASH_SECTOR_SIZE - 16, 16), 0);
    EXPECT_EQ(flashEraseBank(60, 4), 0);
    EXPECT_EQ(flash_host_write_ops(), 4u);
}

TEST_F(flash_nor, FileOfAnotherSizeIsRefusedAndLeftAloneUnlessCutShortForUse) {
    TempDir other;
    auto path = other.path / "short.bin";
    storage_test::write_file(path, std::string(1000, 'x'));
    EXPECT_EQ(flash_host_open(path.c_str(), 0), -1);
    EXPECT_NE(std::string(flash_host_last_error()).find("1000 bytes"), std::string::npos);
    EXPECT_EQ(storage_test::read_file(path), std::string(1000, 'x'));
    auto large = other.path / "large.bin";
    storage_test::write_file(large, std::string(FLASH_SIZE + 1, 'x'));
    EXPECT_EQ(flash_host_open(large.c_str(), 1), -1);
    EXPECT_EQ(std::filesystem::file_size(large), FLASH_SIZE + 1);
    // Opened for use, a file cut short keeps its bytes and the rest reads erased.
    ASSERT_EQ(flash_host_open(path.c_str(), 1), 0);
    EXPECT_EQ(storage_test::read_file(path),
              std::string(1000, 'x') + std::string(FLASH_SIZE - 1000, '\xFF'));
    flash_host_close();
    EXPECT_EQ(flash_host_open((other.path / "missing.bin").c_str(), 0), -1);
    EXPECT_FALSE(std::filesystem::exists(other.path / "missing.bin"));
}

TEST_F(flash_nor, InitWithoutAFileCreatesTheDefaultOne) {
    TempDir work;
    auto old = std::filesystem::current_path();
    std::filesystem::current_path(work.path);
    flash_host_close();
    EXPECT_EQ(flashNumSectors(), 0);
    EXPECT_EQ(flashInit(), 0);
    EXPECT_TRUE(std::filesystem::exists(work.path / "var" / "flash.bin"));
    flash_host_close();
    std::filesystem::current_path(old);
}

TEST_F(flash_nor, StopFaultFailsEveryLaterWrite) {
    const uint8_t zero = 0;
    flash_host_fault_after(1, flash_fault::stop);
    EXPECT_EQ(flashBlkWrite(2, &zero, 0, 1), 0);
    EXPECT_EQ(flashBlkWrite(2, &zero, 1, 1), -1);
    EXPECT_EQ(flashEraseBank(2, 1), -1);
    EXPECT_EQ(read_sector(2)[0], 0x00);
    EXPECT_EQ(read_sector(2)[1], 0xFF);
    flash_host_fault_clear();
    EXPECT_EQ(flashBlkWrite(2, &zero, 1, 1), 0);
}

TEST_F(flash_nor, TornFaultChangesHalfTheRange) {
    std::vector<uint8_t> zeros(100, 0);
    flash_host_fault_after(0, flash_fault::torn);
    EXPECT_EQ(flashBlkWrite(3, zeros.data(), 0, 100), -1);
    std::vector<uint8_t> sector = read_sector(3);
    EXPECT_EQ(sector[49], 0x00);
    EXPECT_EQ(sector[50], 0xFF);

    flash_host_fault_after(0, flash_fault::torn);
    EXPECT_EQ(flashEraseBank(3, 1), -1);
    sector = read_sector(3);
    EXPECT_EQ(sector[0], 0xFF);  // first half erased, the rest untouched
}

}  // namespace
