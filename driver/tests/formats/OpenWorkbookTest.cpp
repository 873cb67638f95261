// What OpenWorkbook refuses before any reader sees it, and how it tells formats apart.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "driver/tests/formats/Cells.h"

namespace tabrix::formats {
namespace {

using testing::ErrorOf;
using testing::Workbooks;

class OpenWorkbookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/tabrix-open-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(OpenWorkbookTest, OnlyRegularFilesAreOpenedAndNothingBlocks) {
  const std::string fifo = dir_ + "/Sales.xlsx";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // No writer holds the FIFO: a blocking open would wait here for ever.
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(fifo); }), fifo + ": a FIFO, not a workbook file");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(dir_); }), dir_ + ": a folder, not a workbook file");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook("/dev/null"); }),
            "/dev/null: a character device, not a workbook file");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(dir_ + "/missing.xlsx"); }),
            dir_ + "/missing.xlsx: no such file");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook("/etc/passwd/Sales.xlsx"); }),
            "/etc/passwd/Sales.xlsx: cannot be opened (Not a directory)");
  // A link to a FIFO is refused as the FIFO; a link to a workbook is read.
  const std::string link = dir_ + "/link.xlsx";
  ASSERT_EQ(symlink(fifo.c_str(), link.c_str()), 0);
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(link); }), link + ": a FIFO, not a workbook file");
  const std::string good = dir_ + "/good.xls";
  ASSERT_EQ(symlink(Workbooks("kinds.xlsx").c_str(), good.c_str()), 0);
  EXPECT_EQ(OpenWorkbook(good)->Tables().size(), 5u);
}

TEST_F(OpenWorkbookTest, AFileThatCannotBeReadSaysWhy) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string locked = dir_ + "/locked.xlsx";
  std::filesystem::copy_file(Workbooks("kinds.xlsx"), locked);
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(locked); }),
            locked + ": cannot be opened (Permission denied)");
}

TEST_F(OpenWorkbookTest, FormatsAreToldByContentNotByName) {
  const std::string dir = Workbooks("");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(Workbooks("text.xlsx")); }),
            dir + "text.xlsx: not a workbook");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(Workbooks("empty.xlsx")); }),
            dir + "empty.xlsx: not a workbook (the file is empty)");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(Workbooks("encrypted.xlsx")); }),
            dir + "encrypted.xlsx: encrypted (a workbook protected by a password)");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(Workbooks("nostream.xls")); }),
            dir + "nostream.xls: not a workbook (a compound file without a workbook stream)");
  // An .xls named .xlsx, and the other way round, are read as what they are.
  const std::string swapped = dir_ + "/legacy.xlsx";
  std::filesystem::copy_file(Workbooks("legacy.xls"), swapped);
  EXPECT_EQ(OpenWorkbook(swapped)->Tables()[0].name, "Legacy");
  const std::string other = dir_ + "/kinds.xls";
  std::filesystem::copy_file(Workbooks("kinds.xlsx"), other);
  EXPECT_EQ(OpenWorkbook(other)->Tables()[0].name, "Data");
}

size_t OpenDescriptors() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++n;
  return n;
}

TEST_F(OpenWorkbookTest, NoDescriptorIsLeftOpen) {
  const size_t before = OpenDescriptors();
  for (const char* name :
       {"kinds.xlsx", "legacy.xls", "truncated.xlsx", "truncated.xls", "malformed.xlsx",
        "doctype.xlsx", "noid.xlsx", "huge.xlsx", "encrypted.xlsx", "text.xlsx", "badindex.xlsx"}) {
    try {
      auto book = OpenWorkbook(Workbooks(name));
      for (size_t i = 0; i < book->Tables().size(); ++i)
        if (book->Tables()[i].isSheet) testing::ReadAll(*book, i);
    } catch (const FormatError&) {
    }
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace tabrix::formats
