// libFuzzer: the Text driver's reader on any bytes. The input is a schema.ini section for the
// file, then two NUL bytes, then the file (without them: the file alone, no schema). Every
// table of the folder is read to the end; the record splitter must also split the file alike
// whether it is fed whole or in pieces of any size.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "driver/formats/Delimited.h"
#include "driver/tests/formats/FuzzInput.h"

namespace {

using namespace tabrix::formats;

class Fields : public RecordSink {
 public:
  bool OnRecord(const Record& record) override {
    text += std::to_string(record.line) + ":";
    for (auto f : record.fields) text.append(f).push_back('\x1f');
    text.push_back('\n');
    return true;
  }
  std::string text;
};

std::string SplitInPieces(std::string_view input, size_t piece) {
  Fields fields;
  DelimitedSplitter splitter(',', '"', fields);
  try {
    for (size_t at = 0; at < input.size(); at += piece)
      splitter.Feed(input.data() + at, std::min(piece, input.size() - at));
    splitter.Finish();
  } catch (const FormatError& e) {
    return std::string("error ") + e.what();
  }
  return fields.text;
}

// Cells within the size the table tells.
class Bounded : public fuzzing::Discard {
 public:
  bool OnCell(const Cell& cell) override {
    maxRow = std::max(maxRow, cell.row);
    maxColumn = std::max(maxColumn, cell.column);
    any = true;
    return Discard::OnCell(cell);
  }
  void OnSize(uint32_t rows, uint32_t columns) override {
    if (any && (maxRow >= rows || maxColumn >= columns)) std::abort();
  }
  uint32_t maxRow = 0, maxColumn = 0;
  bool any = false;
};

const std::string& Folder() {
  static const std::string dir = [] {
    char name[] = "/tmp/tabrix-csv-fuzz-XXXXXX";
    if (!mkdtemp(name)) std::abort();
    return std::string(name);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find(std::string_view("\0\0", 2));
  const std::string_view schema = split == std::string_view::npos ? "" : input.substr(0, split);
  const std::string_view file = split == std::string_view::npos ? input : input.substr(split + 2);

  const std::string whole = SplitInPieces(file, file.size() + 1);
  for (size_t piece : {1, 3, 64}) {
    if (SplitInPieces(file, piece) != whole) std::abort();
  }

  const std::string& dir = Folder();
  std::ofstream(dir + "/t.csv", std::ios::binary | std::ios::trunc).write(file.data(), static_cast<std::streamsize>(file.size()));
  if (schema.empty()) {
    ::unlink((dir + "/schema.ini").c_str());
  } else {
    std::ofstream ini(dir + "/schema.ini", std::ios::binary | std::ios::trunc);
    ini << "[t.csv]\n";
    ini.write(schema.data(), static_cast<std::streamsize>(schema.size()));
  }
  try {
    auto folder = OpenDatabase(DatabaseKind::Text, dir, {});
    for (size_t t = 0; t < folder->Tables().size(); ++t) {
      Bounded sink;
      try {
        folder->ReadSheet(t, sink);
      } catch (const FormatError&) {
      }
    }
  } catch (const FormatError&) {
  }
  return 0;
}
