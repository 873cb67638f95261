// Every test workbook cut short at many lengths and with bytes changed: each read ends in
// cells or a FormatError, never a crash or a hang (the sanitizer build checks the memory).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "driver/tests/formats/Cells.h"
#include "driver/tests/formats/FuzzInput.h"

namespace tabrix::formats {
namespace {

std::string Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Damage, CutShortOrChangedWorkbooksAreReadOrRefused) {
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(testing::Workbooks(""))) {
    const std::string name = entry.path().filename().string();
    // The bomb and the 50 MB text: once is enough.
    if (name == "stamp" || name == "bomb.xlsx" || name == "hugestring.xlsx") continue;
    const std::string whole = Contents(entry.path());
    ++files;
    fuzzing::ReadEverything(whole.data(), whole.size());
    // Each .xls read starts a helper program: fewer cuts for them (the fuzzer goes further).
    const bool xls = entry.path().extension() == ".xls";
    const size_t step = std::max<size_t>(1, whole.size() / (xls ? 16 : 48));
    for (size_t length = 0; length < whole.size(); length += step)
      fuzzing::ReadEverything(whole.data(), length);
    for (size_t at = 0; at < whole.size(); at += step) {
      std::string changed = whole;
      changed[at] = static_cast<char>(changed[at] ^ 0x5A);
      fuzzing::ReadEverything(changed.data(), changed.size());
    }
  }
  EXPECT_GT(files, 20u);
}

}  // namespace
}  // namespace tabrix::formats
