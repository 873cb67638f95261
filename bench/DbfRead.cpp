// tabrix_dbf_bench FILE.dbf REPS: the driver's .dbf reader beside its floor, on one table. The
// floor reads the file in the reader's chunks and splits every record into its fields (each
// field's bytes, trailing blanks trimmed); the reader opens the table and streams every value
// to a sink doing nothing. Prints "way seconds peak_kb growth_kb cells" lines, as
// tabrix_workbook_bench does.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bench/Measure.h"
#include "driver/formats/Dbf.h"

namespace {

using Clock = std::chrono::steady_clock;

bool Floor(const std::string& path, size_t& cells) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char head[32];
  if (::pread(fd, head, sizeof head, 0) != sizeof head) {
    ::close(fd);
    return false;
  }
  const uint32_t count =
      head[4] | head[5] << 8 | head[6] << 16 | static_cast<uint32_t>(head[7]) << 24;
  const uint32_t headerLength = head[8] | head[9] << 8, recordLength = head[10] | head[11] << 8;
  std::vector<unsigned char> header(headerLength);
  if (::pread(fd, header.data(), headerLength, 0) != static_cast<ssize_t>(headerLength)) {
    ::close(fd);
    return false;
  }
  std::vector<uint32_t> lengths;
  for (size_t at = 32; at + 32 <= headerLength && header[at] != 0x0D; at += 32)
    lengths.push_back(header[at + 16]);
  const size_t perChunk = std::max<size_t>(1, (256u << 10) / recordLength);
  std::vector<unsigned char> buffer(perChunk * recordLength);
  size_t fields = 0, bytes = 0;
  for (uint64_t first = 0; first < count; first += perChunk) {
    const size_t n = std::min<uint64_t>(perChunk, count - first);
    if (::pread(fd, buffer.data(), n * recordLength, headerLength + first * recordLength) !=
        static_cast<ssize_t>(n * recordLength))
      break;
    for (size_t r = 0; r < n; ++r) {
      const unsigned char* record = buffer.data() + r * recordLength;
      if (record[0] == '*') continue;
      size_t offset = 1;
      for (uint32_t length : lengths) {
        std::string_view value(reinterpret_cast<const char*>(record + offset), length);
        while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
        bytes += value.size();
        ++fields;
        offset += length;
      }
    }
  }
  ::close(fd);
  cells = fields;
  if (bytes == SIZE_MAX) std::puts("");  // keeps the trimming from being optimised away
  return true;
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
    auto table = tabrix::formats::DbfTable::Open(path);
    Discard sink;
    table->Read(sink);
    cells = sink.cells;
    return true;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "reader: %s\n", e.what());
    return false;
  }
}

void Report(const char* way, bool (*run)(const std::string&, size_t&), const std::string& path,
            int reps) {
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
    std::fprintf(stderr, "usage: tabrix_dbf_bench FILE.dbf REPS\n");
    return 2;
  }
  const int reps = std::max(1, std::atoi(argv[2]));
  Report("floor", Floor, argv[1], reps);
  Report("reader", Reader, argv[1], reps);
  return 0;
}
