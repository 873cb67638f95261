// libFuzzer: the .dbf reader. Input: the table, then (after the bytes FF FE FD FC) its memo
// file, read as .fpt or .dbt as the table's version byte says; every record is read.
#include <unistd.h>

#include <string_view>

#include "driver/formats/Dbf.h"
#include "driver/tests/formats/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tabrix::formats;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find("\xFF\xFE\xFD\xFC");
  const std::string_view table = input.substr(0, split);
  const std::string_view memo =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 4);
  const bool fox = !table.empty() && (table[0] == 0x30 || table[0] == 0x31 || table[0] == 0x32 ||
                                      static_cast<unsigned char>(table[0]) == 0xF5);
  fuzzing::MemoryFile tableFile(table.data(), table.size()), memoFile(memo.data(), memo.size());
  try {
    auto opened = DbfTable::Open(::dup(tableFile.fd()), "t.dbf",
                                 split == std::string_view::npos ? -1 : ::dup(memoFile.fd()),
                                 fox ? "t.fpt" : "t.dbt");
    fuzzing::Discard sink;
    opened->Read(sink);
  } catch (const FormatError&) {
  }
  return 0;
}
