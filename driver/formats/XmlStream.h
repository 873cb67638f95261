// One part's XML, inflated and parsed by expat in chunks: nothing holds the whole part.
#pragma once

#include <cstring>
#include <string_view>

#include "driver/formats/Zip.h"

namespace tabrix::formats {

// Element names come without their namespace prefix ("x:c" is "c"): the formats' writers
// differ in prefixes, never in local names. Handlers may throw; the parse stops and the
// exception reaches ParsePart's caller.
class XmlHandler {
 public:
  virtual ~XmlHandler() = default;
  virtual void OnStart(std::string_view name, const char** attributes) = 0;
  virtual void OnEnd(std::string_view name) = 0;
  virtual void OnText(const char* text, int length) = 0;
  // Called by a handler to end the parse early, successfully.
  void Stop() { stopRequested_ = true; }

 private:
  friend class XmlParse;
  bool stopRequested_ = false;
};

// Parses the part (throws FormatError naming the file, the part and the line when the XML is
// not well-formed, or holds a document type declaration, which no workbook part has).
void ParsePart(ZipArchive& archive, const std::string& part, XmlHandler& handler);

// One pass over the name: every element of a sheet comes through here, twice.
inline std::string_view LocalName(const char* name) {
  const char* local = name;
  const char* end = name;
  for (; *end; ++end)
    if (*end == ':') local = end + 1;
  return std::string_view(local, static_cast<size_t>(end - local));
}

// The attribute of that local name, or null.
inline const char* Attribute(const char** attributes, std::string_view name) {
  for (; attributes[0]; attributes += 2)
    if (LocalName(attributes[0]) == name) return attributes[1];
  return nullptr;
}

}  // namespace tabrix::formats
