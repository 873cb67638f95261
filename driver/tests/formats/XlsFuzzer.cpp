// libFuzzer: the .xls reader on any bytes. The checks of the compound file and of the record
// stream run here, in the fuzzer's own process, since the reader runs them in its helper
// program, out of the fuzzer's sight; an input they refuse never reaches FreeXL there either,
// so only the others start the helper (each start costs what a thousand checks do).
#include <unistd.h>

#include "driver/formats/Biff.h"
#include "driver/formats/CompoundFile.h"
#include "driver/formats/Workbook.h"
#include "driver/tests/formats/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    tabrix::formats::fuzzing::MemoryFile file(data, size);
    try {
      tabrix::formats::CompoundFile compound(file.fd());
      auto stream = compound.ReadStream(u"Workbook", size);
      if (!stream) stream = compound.ReadStream(u"Book", size);
      if (stream) tabrix::formats::ScanBiff(*stream);
    } catch (const tabrix::formats::FormatError&) {
      return 0;
    }
  }
  tabrix::formats::fuzzing::ReadEverything(data, size);
  return 0;
}
