// A change made under the lock its existence test was read under reads the file once: the
// rewrite takes the text already read, unless the file changed meanwhile or someone still
// holds that text.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/odbcini/OdbcIni.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::Slurp;
using testsupport::Spit;
namespace ini = platform::odbcini;

namespace {

// Bytes this process has read through read(2) and its kin, from /proc/self/io.
long long BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return -1;
}

class ReadOnce : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tabrix-readonce-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    dir = tmpl;
    file = dir + "/user.ini";
    // Large enough that a second read stands out from everything else a rewrite reads.
    std::string text;
    for (int i = 0; i < 20000; ++i)
      text += "[S" + std::to_string(i) + "]\nDriver = Some Driver\nDBQ = /data/book.xlsx\n\n";
    Spit(file, text);
    size = static_cast<long long>(text.size());
  }
  void TearDown() override { fs::remove_all(dir); }

  // Appends a section; the text the edit was given goes to `seen`.
  bool Rewrite(std::string& seen) {
    std::string reason;
    const bool ok = ini::RewriteFile(
        file, false, 0600,
        [&](std::string& text, std::string&) {
          seen = text;
          text += "[New]\n";
          return true;
        },
        reason);
    EXPECT_TRUE(ok) << reason;
    return ok;
  }

  std::string dir, file;
  long long size = 0;
};

TEST_F(ReadOnce, ARewriteUnderTheLockOfAnEarlierReadTakesItsText) {
  const std::string before = Slurp(file);
  ini::FileLock lock(file);
  ASSERT_EQ(*ini::ReadSharedFile(file), before);
  const long long read = BytesRead();
  std::string seen;
  ASSERT_TRUE(Rewrite(seen));
  EXPECT_EQ(seen, before);
  EXPECT_LT(BytesRead() - read, size / 2) << "the file was read again";
  EXPECT_EQ(Slurp(file), before + "[New]\n");
}

TEST_F(ReadOnce, ASecondReaderUnderTheLockSharesTheFirstReadersText) {
  const std::string before = Slurp(file);
  ini::FileLock lock(file);
  const auto first = ini::ReadSharedFile(file);
  const long long read = BytesRead();
  const auto second = ini::ReadSharedFile(file);
  EXPECT_EQ(second, first);
  EXPECT_LT(BytesRead() - read, size / 2) << "the file was read again";
  // Changed in place meanwhile: the next reader reads what the file holds now.
  std::ofstream(file, std::ios::app) << "; a note\n";
  EXPECT_EQ(*ini::ReadSharedFile(file), before + "; a note\n");
  EXPECT_EQ(*first, before);
}

// Files of several MiB are read into room of a different shape: every byte still arrives, as
// a text an edit can grow.
TEST_F(ReadOnce, AFileOfSeveralMebibytesReadsWhole) {
  std::string text;
  for (int i = 0; text.size() < (size_t{9} << 20); ++i)
    text += "[Source" + std::to_string(i) + "]\nDriver = Some Driver\nDBQ = /data/" +
            std::to_string(i * 7919) + ".xlsx\n\n";
  Spit(file, text);
  std::string read;
  ASSERT_TRUE(ini::ReadFile(file, read));
  EXPECT_EQ(read, text);
  std::string seen;
  ASSERT_TRUE(Rewrite(seen));
  EXPECT_EQ(Slurp(file), text + "[New]\n");
}

TEST_F(ReadOnce, TheFileIsReadAgainWhereTheTextCannotBeTrusted) {
  const std::string before = Slurp(file);
  std::string seen;
  {  // changed by a writer that takes no lock: appended to in place, or replaced by a rename
    ini::FileLock lock(file);
    ASSERT_TRUE(ini::ReadSharedFile(file));
    std::ofstream(file, std::ios::app) << "; a note\n";
    ASSERT_TRUE(Rewrite(seen));
    EXPECT_EQ(seen, before + "; a note\n");
  }
  {
    ini::FileLock lock(file);
    ASSERT_TRUE(ini::ReadSharedFile(file));
    const std::string same = Slurp(file);
    std::string other = same;
    other[other.size() - 3] = 'y';  // ".xlsy": the same size, another inode
    Spit(dir + "/swap", other);
    ASSERT_EQ(std::rename((dir + "/swap").c_str(), file.c_str()), 0);
    ASSERT_TRUE(Rewrite(seen));
    EXPECT_EQ(seen, other);
  }
  {  // still held by its reader: the rewrite must not change the text under it
    ini::FileLock lock(file);
    const auto held = ini::ReadSharedFile(file);
    const std::string copy = *held;
    const long long read = BytesRead();
    ASSERT_TRUE(Rewrite(seen));
    EXPECT_EQ(*held, copy);
    EXPECT_GE(BytesRead() - read, static_cast<long long>(copy.size()));
  }
  {  // read with no lock held, or under a lock since let go: nothing is kept
    ASSERT_TRUE(ini::ReadSharedFile(file));
    const std::string now = Slurp(file);
    std::ofstream(file, std::ios::app) << "; later\n";
    ASSERT_TRUE(Rewrite(seen));
    EXPECT_EQ(seen, now + "; later\n");
  }
}

}  // namespace
