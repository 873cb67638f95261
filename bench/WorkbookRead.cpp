// tabrix_workbook_bench FILE.xlsx REPS: the driver's .xlsx reader beside its floor, on one
// workbook. The floor inflates the first sheet's part and the shared strings and parses them
// with expat, handlers doing nothing; the reader opens the workbook and streams every cell of
// the first sheet to a sink doing nothing. Prints "way seconds peak_kb growth_kb cells" lines:
// the median of REPS runs in this process, the peak resident set of a child doing one run and
// how much of it that run added.
#include <expat.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/Measure.h"
#include "driver/formats/Workbook.h"

namespace {

using Clock = std::chrono::steady_clock;

void Nothing(void*, const char*, const char**) {}
void NothingEnd(void*, const char*) {}
void NothingText(void*, const char*, int) {}

// Inflates and parses one part in 64 KiB chunks, as the reader does.
bool ParseNothing(zip_t* archive, const char* name) {
  zip_file_t* file = zip_fopen(archive, name, 0);
  if (!file) return false;
  XML_Parser parser = XML_ParserCreate(nullptr);
  XML_SetElementHandler(parser, Nothing, NothingEnd);
  XML_SetCharacterDataHandler(parser, NothingText);
  bool ok = true;
  for (;;) {
    void* buffer = XML_GetBuffer(parser, 65536);
    const zip_int64_t n = zip_fread(file, buffer, 65536);
    if (n < 0 || XML_ParseBuffer(parser, static_cast<int>(n), n == 0) != XML_STATUS_OK) {
      ok = false;
      break;
    }
    if (n == 0) break;
  }
  XML_ParserFree(parser);
  zip_fclose(file);
  return ok;
}

bool Floor(const std::string& path, size_t& cells) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) return false;
  // A workbook with its strings inline in the sheet has no shared strings.
  const bool shared = zip_name_locate(archive, "xl/sharedStrings.xml", 0) >= 0;
  const bool ok = (!shared || ParseNothing(archive, "xl/sharedStrings.xml")) &&
                  ParseNothing(archive, "xl/worksheets/sheet1.xml");
  zip_discard(archive);
  cells = 0;
  return ok;
}

class Discard : public tabrix::formats::CellSink {
 public:
  bool OnCell(const tabrix::formats::Cell&) override {
    ++cells;
    return true;
  }
  size_t cells = 0;
};

bool Reader(const std::string& path, size_t& cells) {
  try {
    auto book = tabrix::formats::OpenWorkbook(path);
    Discard sink;
    book->ReadSheet(0, sink);
    cells = sink.cells;
    return true;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "reader: %s\n", e.what());
    return false;
  }
}

void Report(const char* way, bool (*run)(const std::string&, size_t&), const std::string& path,
            int reps) {
  // The peak first, from a child of a process that has not read anything yet.
  const bench::Sample peak = bench::MeasureInChild([&] {
    size_t ignored = 0;
    return run(path, ignored);
  });
  std::vector<double> times;
  size_t cells = 0;
  for (int i = 0; i < reps; ++i) {
    const auto start = Clock::now();
    if (!run(path, cells)) {
      std::printf("%s error\n", way);
      return;
    }
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  std::printf("%s %.6f %ld %ld %zu\n", way, times[times.size() / 2], peak.ok ? peak.peakKb : -1L,
              peak.ok ? peak.peakKb - peak.startKb : -1L, cells);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tabrix_workbook_bench FILE.xlsx REPS\n");
    return 2;
  }
  const int reps = std::max(1, std::atoi(argv[2]));
  Report("floor", Floor, argv[1], reps);
  Report("reader", Reader, argv[1], reps);
  return 0;
}
