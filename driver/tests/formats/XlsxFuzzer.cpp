// libFuzzer: the .xlsx reader. Mutating a zip's deflated bytes mostly breaks checksums, so the
// input is the parts' XML, stored (not deflated) into a zip here, and the reader then parses
// what the fuzzer wrote. Input: the workbook, its sheet, the shared strings and the styles,
// separated by 0xFF bytes; an input starting "PK" is taken as a zip file as it stands.
#include <zlib.h>

#include <string>
#include <string_view>
#include <vector>

#include "driver/tests/formats/FuzzInput.h"

namespace {

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}

// A zip of stored entries.
std::string StoredZip(const std::vector<std::pair<std::string, std::string_view>>& parts) {
  std::string zip, central;
  for (const auto& [name, data] : parts) {
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    const uint32_t offset = static_cast<uint32_t>(zip.size());
    Put32(zip, 0x04034b50);
    Put16(zip, 20);
    Put16(zip, 0);
    Put16(zip, 0);  // stored
    Put32(zip, 0);
    Put32(zip, crc);
    Put32(zip, static_cast<uint32_t>(data.size()));
    Put32(zip, static_cast<uint32_t>(data.size()));
    Put16(zip, static_cast<uint16_t>(name.size()));
    Put16(zip, 0);
    zip += name;
    zip += data;
    Put32(central, 0x02014b50);
    Put16(central, 20);
    Put16(central, 20);
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, 0);
    Put32(central, crc);
    Put32(central, static_cast<uint32_t>(data.size()));
    Put32(central, static_cast<uint32_t>(data.size()));
    Put16(central, static_cast<uint16_t>(name.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, 0);
    Put32(central, offset);
    central += name;
  }
  const uint32_t start = static_cast<uint32_t>(zip.size());
  zip += central;
  Put32(zip, 0x06054b50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, static_cast<uint16_t>(parts.size()));
  Put16(zip, static_cast<uint16_t>(parts.size()));
  Put32(zip, static_cast<uint32_t>(central.size()));
  Put32(zip, start);
  Put16(zip, 0);
  return zip;
}

constexpr std::string_view kRootRels =
    "<Relationships><Relationship Id=\"r\" Type=\"x/officeDocument\" "
    "Target=\"xl/workbook.xml\"/></Relationships>";
constexpr std::string_view kWorkbookRels =
    "<Relationships>"
    "<Relationship Id=\"rId1\" Type=\"x/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" Type=\"x/sharedStrings\" Target=\"sharedStrings.xml\"/>"
    "<Relationship Id=\"rId3\" Type=\"x/styles\" Target=\"styles.xml\"/>"
    "</Relationships>";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  if (input.substr(0, 2) == "PK") {
    tabrix::formats::fuzzing::ReadEverything(data, size);
    return 0;
  }
  std::string_view pieces[4];
  for (auto& piece : pieces) {
    const size_t end = input.find('\xFF');
    piece = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
  }
  // An empty piece is a part the package does not have.
  std::vector<std::pair<std::string, std::string_view>> parts = {
      {"_rels/.rels", kRootRels}, {"xl/_rels/workbook.xml.rels", kWorkbookRels}};
  const char* names[] = {"xl/workbook.xml", "xl/worksheets/sheet1.xml", "xl/sharedStrings.xml",
                         "xl/styles.xml"};
  for (int i = 0; i < 4; ++i)
    if (!pieces[i].empty()) parts.emplace_back(names[i], pieces[i]);
  const std::string zip = StoredZip(parts);
  tabrix::formats::fuzzing::ReadEverything(zip.data(), zip.size());
  return 0;
}
