// libFuzzer: the .xls reader (and the compound file's directory walk before it) on any bytes.
#include "driver/tests/formats/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tabrix::formats::fuzzing::ReadEverything(data, size);
  return 0;
}
