#include "driver/formats/XlsxParts.h"

namespace tabrix::formats::xlsx {
namespace {

// A target relative to the folder of `source` (or absolute, from the archive's root), with
// "." and ".." resolved; nothing when it climbs out of the archive.
std::optional<std::string> ResolveTarget(const std::string& source, std::string_view target) {
  std::vector<std::string> segments;
  std::string_view rest = target;
  if (!rest.empty() && rest.front() == '/') {
    rest.remove_prefix(1);
  } else {
    std::string_view folder = source;
    const size_t slash = folder.rfind('/');
    folder = slash == std::string_view::npos ? std::string_view() : folder.substr(0, slash);
    while (!folder.empty()) {
      const size_t next = folder.find('/');
      segments.emplace_back(folder.substr(0, next));
      folder = next == std::string_view::npos ? std::string_view() : folder.substr(next + 1);
    }
  }
  while (!rest.empty()) {
    const size_t next = rest.find('/');
    const std::string_view segment = rest.substr(0, next);
    rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (segments.empty()) return std::nullopt;
      segments.pop_back();
      continue;
    }
    segments.emplace_back(segment);
  }
  std::string out;
  for (const auto& s : segments) out += (out.empty() ? "" : "/") + s;
  if (out.empty()) return std::nullopt;
  return out;
}

}  // namespace

std::string RelationshipsOf(const std::string& part) {
  const size_t slash = part.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : part.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? part : part.substr(slash + 1);
  return folder + "_rels/" + base + ".rels";
}

void RelationshipsReader::OnStart(std::string_view name, const char** attributes) {
  if (name != "Relationship") return;
  const char* id = Attribute(attributes, "Id");
  const char* type = Attribute(attributes, "Type");
  const char* target = Attribute(attributes, "Target");
  const char* mode = Attribute(attributes, "TargetMode");
  if (!id || !type || !target || (mode && std::string_view(mode) == "External")) return;
  auto resolved = ResolveTarget(source_, target);
  if (!resolved) return;
  std::string_view t = type;
  const size_t slash = t.rfind('/');
  byId.emplace(id, Relationship{std::string(t.substr(slash + 1)), std::move(*resolved)});
}

}  // namespace tabrix::formats::xlsx
