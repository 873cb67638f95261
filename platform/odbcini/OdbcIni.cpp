#include "platform/odbcini/OdbcIni.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/text/Text.h"

// unixODBC's own answer for its system folder; exported by libodbcinst but declared only
// in a header meant for building unixODBC itself.
extern "C" char* odbcinst_system_file_path(char* buffer);

namespace platform::odbcini {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string SystemFolder() {
  std::string dir = Env("ODBCSYSINI");
  if (!dir.empty()) return dir;
  char buf[4096] = {};
  return odbcinst_system_file_path(buf);
}

// Calls `visit(line, begin, next)` for each line; `next` is where the following line starts.
template <typename Visit>
void ForEachLine(std::string_view text, size_t from, size_t to, Visit visit) {
  size_t pos = from;
  while (pos < to) {
    size_t nl = text.find('\n', pos);
    size_t lineEnd = (nl == std::string_view::npos || nl >= to) ? to : nl;
    size_t next = lineEnd == to ? to : lineEnd + 1;
    if (!visit(text.substr(pos, lineEnd - pos), pos, next)) return;
    pos = next;
  }
}

bool IsComment(std::string_view trimmed) {
  return !trimmed.empty() && (trimmed[0] == '#' || trimmed[0] == ';');
}

std::optional<std::string_view> HeaderName(std::string_view line) {
  std::string_view t = text::TrimView(line);
  if (t.empty() || t[0] != '[') return std::nullopt;
  t.remove_prefix(1);
  size_t close = t.find(']');
  return text::TrimView(t.substr(0, close));
}

// A key line's key and value, or nothing for blank and comment lines.
bool SplitKeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
  std::string_view t = text::TrimView(line);
  if (t.empty() || IsComment(t)) return false;
  size_t eq = t.find('=');
  key = text::TrimView(t.substr(0, eq));
  value = eq == std::string_view::npos ? std::string_view() : text::TrimView(t.substr(eq + 1));
  return true;
}

std::string KeyLine(std::string_view key, std::string_view value) {
  std::string line(key);
  line += value.empty() ? " =" : " = ";
  line += value;
  line += '\n';
  return line;
}

std::string Printable(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool HasControl(std::string_view s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

bool HasOuterBlank(std::string_view s) {
  return !s.empty() && (text::IsBlank(s.front()) || text::IsBlank(s.back()));
}

// Makes sure the text ends with a line break, so that lines can be appended.
void EndLine(std::string& text) {
  if (!text.empty() && text.back() != '\n') text += '\n';
}

}  // namespace

std::string UserFile() {
  std::string file = Env("ODBCINI");
  if (!file.empty()) return file;
  const passwd* pw = getpwuid(getuid());
  return std::string(pw && pw->pw_dir ? pw->pw_dir : "") + "/.odbc.ini";
}

std::string SystemFile() { return SystemFolder() + "/odbc.ini"; }

std::string DriversFile() {
  std::string name = Env("ODBCINSTINI");
  return SystemFolder() + "/" + (name.empty() ? "odbcinst.ini" : name);
}

void ForEachSection(std::string_view text, const std::function<bool(const Section&)>& visit) {
  std::optional<Section> open;
  bool stopped = false;
  ForEachLine(text, 0, text.size(), [&](std::string_view line, size_t begin, size_t next) {
    std::optional<std::string_view> name = HeaderName(line);
    if (!name) return true;
    if (open) {
      open->end = begin;
      if (!visit(*open)) {
        stopped = true;
        return false;
      }
    }
    open = Section{*name, begin, next, text.size()};
    return true;
  });
  if (open && !stopped) visit(*open);
}

std::optional<Section> FindSection(std::string_view text, std::string_view name) {
  std::optional<Section> found;
  ForEachSection(text, [&](const Section& s) {
    if (!text::EqualsIgnoreCase(s.name, name)) return true;
    found = s;
    return false;
  });
  return found;
}

KeyValues ReadKeys(std::string_view body) {
  KeyValues keys;
  ForEachLine(body, 0, body.size(), [&](std::string_view line, size_t, size_t) {
    std::string_view key, value;
    if (SplitKeyLine(line, key, value)) keys.emplace_back(key, value);
    return true;
  });
  return keys;
}

std::optional<std::string> FindKey(std::string_view body, std::string_view wanted) {
  std::optional<std::string> found;
  ForEachLine(body, 0, body.size(), [&](std::string_view line, size_t, size_t) {
    std::string_view key, value;
    if (!SplitKeyLine(line, key, value) || !text::EqualsIgnoreCase(key, wanted)) return true;
    found = std::string(value);
    return false;
  });
  return found;
}

std::string CheckSectionName(std::string_view name) {
  std::string why;
  if (name.empty())
    why = "it is empty";
  else if (name.size() > 32)
    why = "it is longer than 32 bytes";
  else if (HasControl(name))
    why = "it holds a control character";
  else if (HasOuterBlank(name))
    why = "it starts or ends with a blank";
  else if (name[0] == '#' || name[0] == ';')
    why = "it starts with a comment character";
  else if (size_t bad = name.find_first_of("[]{}(),;?*=!@\\"); bad != std::string_view::npos)
    why = std::string("it holds the character '") + name[bad] + "'";
  if (why.empty()) return why;
  return "invalid data source name \"" + Printable(name) + "\": " + why;
}

std::string CheckKeyword(std::string_view keyword) {
  std::string why;
  if (keyword.empty()) {
    why = "it is empty";
  } else if (HasOuterBlank(keyword)) {
    why = "it starts or ends with a blank";
  } else {
    for (char c : keyword) {
      bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '_' || c == '-' || c == ' ';
      if (!ok) {
        why = "only letters, digits, '_', '-' and blanks are allowed";
        break;
      }
    }
  }
  if (why.empty()) return why;
  return "invalid keyword \"" + Printable(keyword) + "\": " + why;
}

std::string CheckValue(std::string_view keyword, std::string_view value) {
  std::string why;
  if (HasControl(value))
    why = "it holds a control character";
  else if (HasOuterBlank(value))
    why = "it starts or ends with a blank";
  else if (KeyLine(keyword, value).size() > 999)
    why = "its line would be longer than 999 bytes";
  if (why.empty()) return why;
  return "the value of \"" + Printable(keyword) + "\" cannot be stored: " + why;
}

void WriteSection(std::string& text, std::string_view name, const KeyValues& keys, Merge merge) {
  std::optional<Section> s = FindSection(text, name);
  if (!s) {
    EndLine(text);
    if (!text.empty() && !text.ends_with("\n\n")) text += '\n';  // a blank line between sections
    text += '[';
    text += name;
    text += "]\n";
    for (const auto& [k, v] : keys) text += KeyLine(k, v);
    return;
  }
  if (s->body == text.size() && (text.empty() || text.back() != '\n')) {
    text += '\n';
    s->body = s->end = text.size();
  }

  std::vector<bool> used(keys.size(), false);
  std::string kept;      // key lines (and the comments among them) of the new body
  std::string trailing;  // comment and blank lines after the last key line
  auto indexOf = [&](std::string_view key) -> size_t {
    for (size_t i = 0; i < keys.size(); ++i)
      if (text::EqualsIgnoreCase(keys[i].first, key)) return i;
    return keys.size();
  };
  ForEachLine(text, s->body, s->end, [&](std::string_view line, size_t, size_t) {
    std::string_view key, value;
    std::string withBreak = std::string(line) + '\n';
    if (!SplitKeyLine(line, key, value)) {
      trailing += withBreak;
      return true;
    }
    if (merge == Merge::Replace) return true;  // old keys go; their comments stay
    size_t i = indexOf(key);
    kept += trailing;
    trailing.clear();
    if (i == keys.size()) {
      kept += withBreak;
    } else if (!used[i]) {
      used[i] = true;
      kept += KeyLine(keys[i].first, keys[i].second);
    }
    return true;
  });
  std::string added;
  for (size_t i = 0; i < keys.size(); ++i)
    if (!used[i]) added += KeyLine(keys[i].first, keys[i].second);
  std::string body = merge == Merge::Replace ? added + trailing : kept + added + trailing;
  text.replace(s->body, s->end - s->body, body);
}

bool RemoveSection(std::string& text, std::string_view name) {
  std::optional<Section> s = FindSection(text, name);
  if (!s) return false;
  std::string kept;  // its comments; its keys and blank lines go with it
  ForEachLine(text, s->body, s->end, [&](std::string_view line, size_t, size_t) {
    if (IsComment(text::TrimView(line))) kept += std::string(line) + '\n';
    return true;
  });
  text.replace(s->header, s->end - s->header, kept);
  return true;
}

void SetKey(std::string& text, std::string_view section, std::string_view key,
            std::string_view value) {
  WriteSection(text, section, {{std::string(key), std::string(value)}}, Merge::Update);
}

void RemoveKey(std::string& text, std::string_view section, std::string_view wanted) {
  std::optional<Section> s = FindSection(text, section);
  if (!s) return;
  std::string body;
  bool removed = false;
  ForEachLine(text, s->body, s->end, [&](std::string_view line, size_t begin, size_t next) {
    std::string_view key, value;
    if (SplitKeyLine(line, key, value) && text::EqualsIgnoreCase(key, wanted))
      removed = true;
    else
      body.append(text, begin, next - begin);
    return true;
  });
  if (removed) text.replace(s->body, s->end - s->body, body);
}

}  // namespace platform::odbcini
