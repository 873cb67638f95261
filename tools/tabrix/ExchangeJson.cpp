// ParseJson: data sources in the JSON that export writes and apply reads.
#include <algorithm>

#include "platform/text/Text.h"
#include "tools/tabrix/Exchange.h"

namespace tabrix::cli::exchange {
namespace {

// The attributes of each data source as the text spells them, with their lines: a JSON
// object keeps one value of a repeated key, so repeats are found in the text itself. Reads
// text that has parsed as JSON already.
struct Spelt {
  std::string key, value;
  size_t line = 0;
};
class AttributeScan {
 public:
  explicit AttributeScan(std::string_view text) : t_(text) {}

  // Per data source (dsns[i]), its attributes in text order.
  std::vector<std::vector<Spelt>> Run() {
    std::vector<std::string> path;
    Value(path);
    return found_;
  }

 private:
  void Space() {
    while (pos_ < t_.size() &&
           (t_[pos_] == ' ' || t_[pos_] == '\t' || t_[pos_] == '\r' || t_[pos_] == '\n'))
      if (t_[pos_++] == '\n') ++line_;
  }
  std::string String() {
    const size_t start = pos_++;
    while (pos_ < t_.size() && t_[pos_] != '"') pos_ += t_[pos_] == '\\' ? 2 : 1;
    ++pos_;
    return Json::parse(t_.substr(start, pos_ - start)).get<std::string>();
  }
  // The attributes live at dsns[i].attributes.KEY (`kinds` "[{{") or
  // dsns[i].attributes[j][0 or 1] (`kinds` "[{[[").
  std::vector<Spelt>* Owner(const std::vector<std::string>& path, std::string_view kinds) {
    if (path.size() < 3 || kinds_.substr(1, kinds.size()) != kinds || path[0] != "dsns" ||
        path[2] != "attributes" || path[1].find_first_not_of("0123456789") != std::string::npos)
      return nullptr;
    const size_t i = std::stoul(path[1]);
    if (found_.size() <= i) found_.resize(i + 1);
    return &found_[i];
  }
  void Value(std::vector<std::string>& path) {
    Space();
    const char c = t_[pos_];
    if (c == '{' || c == '[') {
      ++pos_;
      kinds_ += c;
      for (size_t index = 0;; ++index) {
        Space();
        if (t_[pos_] == '}' || t_[pos_] == ']') break;
        const size_t line = line_;
        path.push_back(c == '{' ? String() : std::to_string(index));
        if (path.size() == 2 && kinds_ == "{[" && path[0] == "dsns") entryLines.push_back(line);
        if (c == '{') {
          Space();
          ++pos_;  // the colon
        }
        if (path.size() == 4 && kinds_.size() == 4) {
          if (auto* owner = Owner(path, c == '{' ? "[{{" : "[{["))
            owner->push_back({c == '{' ? path.back() : "", "", line});
        }
        Value(path);
        path.pop_back();
        Space();
        if (t_[pos_] == ',') ++pos_;
      }
      ++pos_;
      kinds_.pop_back();
      return;
    }
    if (c == '"') {
      std::string text = String();
      if (path.size() == 4 && kinds_.size() == 4) {
        if (auto* owner = Owner(path, "[{{"); owner && !owner->empty())
          owner->back().value = std::move(text);
      } else if (path.size() == 5 && kinds_.size() == 5) {
        if (auto* owner = Owner(path, "[{[["); owner && !owner->empty())
          (path[4] == "0" ? owner->back().key : owner->back().value) = std::move(text);
      }
      return;
    }
    while (pos_ < t_.size() &&
           std::string_view(",]} \t\r\n").find(t_[pos_]) == std::string_view::npos)
      ++pos_;
  }

  std::string_view t_;
  size_t pos_ = 0, line_ = 1;
  std::string kinds_;  // the open containers, outermost first
  std::vector<std::vector<Spelt>> found_;

 public:
  std::vector<size_t> entryLines;  // where each dsns[i] starts
};

// The entries of dsns, named for messages by the line where each starts.
struct Entries {
  const std::string& file;
  const std::vector<size_t>& lines;
  std::string Line(size_t i) const {
    return i < lines.size() ? ":" + std::to_string(lines[i]) : "";
  }
  static std::string Name(size_t i) { return "dsns[" + std::to_string(i) + "]"; }
  Malformed Bad(size_t i, const std::string& why) const {
    return Malformed(file + Line(i) + ": " + Name(i) + ": " + why);
  }
};

// An entry's attributes: an object of keywords, or an array of [keyword, value] pairs.
void ReadAttributes(const Json& a, size_t i, const Entries& entries, Pairs& attributes) {
  if (a.is_object()) {
    for (const auto& [k, v] : a.items()) {
      if (!v.is_string()) throw entries.Bad(i, "the value of \"" + k + "\" must be a string");
      attributes.emplace_back(k, v.get<std::string>());
    }
  } else if (a.is_array()) {
    for (const Json& pair : a) {
      if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() || !pair[1].is_string())
        throw entries.Bad(i, "each attribute must be a pair of strings [\"KEY\", \"value\"]");
      attributes.emplace_back(pair[0].get<std::string>(), pair[1].get<std::string>());
    }
  } else {
    throw entries.Bad(i, "\"attributes\" must be an array of pairs or an object");
  }
}

Incoming ReadEntry(const Json& d, size_t i, const Entries& entries, bool stateAllowed) {
  if (!d.is_object()) throw entries.Bad(i, "an object is expected");
  auto text = [&](const char* field, bool required) -> std::string {
    if (!d.contains(field)) {
      if (required) throw entries.Bad(i, std::string("\"") + field + "\" is missing");
      return "";
    }
    if (!d[field].is_string())
      throw entries.Bad(i, std::string("\"") + field + "\" must be a string");
    return d[field].get<std::string>();
  };
  Incoming in;
  in.where = entries.file + entries.Line(i) + ": " + Entries::Name(i);
  in.source.name = text("name", true);
  in.where += " (\"" + in.source.name + "\")";
  const std::string scope = text("scope", false);
  in.scopeGiven = !scope.empty();
  if (in.scopeGiven && scope != "user" && scope != "system")
    throw entries.Bad(i, "\"scope\" must be \"user\" or \"system\", not \"" + scope + "\"");
  in.source.system = scope != "user";
  const std::string state = stateAllowed ? text("state", false) : "";
  if (!stateAllowed && d.contains("state"))
    throw entries.Bad(i, "\"state\" belongs to tabrix apply; import only adds data sources");
  if (!state.empty() && state != "present" && state != "absent")
    throw entries.Bad(i, "\"state\" must be \"present\" or \"absent\", not \"" + state + "\"");
  in.present = state != "absent";
  in.driverValue = text("driver", in.present);
  if (d.contains("attributes")) ReadAttributes(d["attributes"], i, entries, in.source.attributes);
  return in;
}

// One value per keyword: a keyword given twice with two values is a contradiction, named at
// the line of the second; given twice alike, it is one value.
void KeepOneValueEach(std::vector<Incoming>& result, const std::vector<std::vector<Spelt>>& spelt,
                      const std::string& file) {
  using platform::text::EqualsIgnoreCase;
  for (size_t i = 0; i < result.size() && i < spelt.size(); ++i) {
    Pairs kept;
    std::vector<size_t> lines;
    for (const Spelt& a : spelt[i]) {
      auto same = [&](const auto& pair) { return EqualsIgnoreCase(pair.first, a.key); };
      auto it = std::find_if(kept.begin(), kept.end(), same);
      if (it == kept.end()) {
        kept.emplace_back(a.key, a.value);
        lines.push_back(a.line);
      } else if (it->second != a.value) {
        throw Malformed(file + ":" + std::to_string(a.line) + ": dsns[" + std::to_string(i) +
                        "] (\"" + result[i].source.name + "\"): \"" + a.key +
                        "\" is given a second value (the first at line " +
                        std::to_string(lines[static_cast<size_t>(it - kept.begin())]) +
                        "); which one is meant?");
      }
    }
    if (kept.size() < result[i].source.attributes.size()) result[i].source.attributes = kept;
  }
}

}  // namespace

std::vector<Incoming> ParseJson(const std::string& text, const std::string& file,
                                bool stateAllowed) {
  Json json;
  try {
    json = Json::parse(text);
  } catch (const nlohmann::json::parse_error& e) {
    // Its own words after "parse error at line L, column C: "; the line counted here.
    const size_t at = std::min<size_t>(e.byte == 0 ? 0 : e.byte - 1, text.size());
    const size_t line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + at, '\n'));
    throw Malformed(file + ":" + std::to_string(line) + ": " + Reason(e));
  }
  if (!json.is_object() || !json.contains("dsns") || !json["dsns"].is_array())
    throw Malformed(file + ":1: an object with a \"dsns\" array is expected");
  AttributeScan scan(text);
  const std::vector<std::vector<Spelt>> spelt = scan.Run();
  const Entries entries{file, scan.entryLines};
  std::vector<Incoming> result;
  const Json& dsns = json["dsns"];
  for (size_t i = 0; i < dsns.size(); ++i)
    result.push_back(ReadEntry(dsns[i], i, entries, stateAllowed));
  KeepOneValueEach(result, spelt, file);
  return result;
}

}  // namespace tabrix::cli::exchange
