// tabrix_library_run --op=add|remove|exists|none [--name=N]: one operation of Tabrix's library
// in a process of its own, as a program that links the library runs it; the "library-run"
// way of tabrix_bench times it against the client, which starts and ends the same way.
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/Ways.h"

int main(int argc, char** argv) {
  std::string op, name;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--op=", 5) == 0)
      op = argv[i] + 5;
    else if (std::strncmp(argv[i], "--name=", 7) == 0)
      name = argv[i] + 7;
  }
  if (op.empty()) {
    std::fprintf(stderr, "usage: tabrix_library_run --op=add|remove|exists|none [--name=N]\n");
    return 2;
  }
  try {
    return bench::LibraryOnce(op, name) ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tabrix_library_run: %s\n", e.what());
    return 1;
  }
}
