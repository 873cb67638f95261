// Opening .xls workbooks from a process whose other threads keep converting text and
// switching locales, as a threaded client does: the reader of .xls must not inherit a lock
// another thread held (a copy of the process made by fork would, and wait on it forever).
#include <gtest/gtest.h>
#include <iconv.h>
#include <locale.h>

#include <atomic>
#include <thread>
#include <vector>

#include "driver/tests/formats/Cells.h"

namespace tabrix::formats {
namespace {

using testing::ReadAll;
using testing::Workbooks;

void ChurnConversions(const std::atomic<bool>& stop) {
  while (!stop.load(std::memory_order_relaxed)) {
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    if (cd != reinterpret_cast<iconv_t>(-1)) {
      char in[] = "Z\xC3\xBCrich", out[32];
      char* from = in;
      char* to = out;
      size_t left = sizeof in - 1, room = sizeof out;
      iconv(cd, &from, &left, &to, &room);
      iconv_close(cd);
    }
  }
}

void ChurnLocales(const std::atomic<bool>& stop) {
  while (!stop.load(std::memory_order_relaxed)) {
    locale_t l = newlocale(LC_ALL_MASK, "C.UTF-8", nullptr);
    if (l) freelocale(l);
  }
}

TEST(XlsThreads, OpeningWhileOtherThreadsConvertTextNeverStalls) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> churn;
  churn.emplace_back(ChurnConversions, std::cref(stop));
  churn.emplace_back(ChurnConversions, std::cref(stop));
  churn.emplace_back(ChurnLocales, std::cref(stop));
  std::string failure;
  for (int i = 0; i < 60 && failure.empty(); ++i) {
    try {
      auto book = OpenWorkbook(Workbooks("legacy.xls"));
      if (ReadAll(*book, 1) != "D4 Text far\n") failure = "wrong cells";
    } catch (const FormatError& e) {
      failure = e.what();  // a stalled reader is told as such, after its watchdog
    }
  }
  stop = true;
  for (auto& t : churn) t.join();
  EXPECT_EQ(failure, "");
}

}  // namespace
}  // namespace tabrix::formats
