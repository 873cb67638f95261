// The floor for the Text driver: reading a CSV file and finding its line and field
// boundaries (quotes honoured), nothing kept. Prints "floor SECONDS PEAK_KIB RECORDS FIELDS"
// for the median of RUNS runs.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tabrix_csv_floor FILE [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  std::vector<double> times;
  unsigned long long records = 0, fields = 0;
  std::vector<char> buffer(1 << 18);
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const int fd = open(argv[1], O_RDONLY);
    if (fd < 0) return 1;
    bool quoted = false;
    records = fields = 0;
    for (;;) {
      const ssize_t n = read(fd, buffer.data(), buffer.size());
      if (n <= 0) break;
      for (ssize_t i = 0; i < n; ++i) {
        const char c = buffer[static_cast<size_t>(i)];
        if (c == '"') {
          quoted = !quoted;
        } else if (!quoted && c == ',') {
          ++fields;
        } else if (!quoted && c == '\n') {
          ++fields;
          ++records;
        }
      }
    }
    close(fd);
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("floor %.4f %ld %llu %llu\n", times[times.size() / 2], usage.ru_maxrss, records, fields);
  return 0;
}
