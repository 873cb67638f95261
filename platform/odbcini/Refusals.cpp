// What unixODBC refuses: a whole file, and what a file cannot hold exactly.
#include "platform/odbcini/Refusals.h"

#include "platform/odbcini/Pieces.h"
#include "platform/odbcinst/DataSources.h"
#include "platform/text/Text.h"

namespace platform::odbcini {

using namespace pieces;

namespace {

bool HasControl(std::string_view s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

bool HasOuterBlank(std::string_view s) {
  return !s.empty() && (text::IsBlank(s.front()) || text::IsBlank(s.back()));
}

}  // namespace

std::optional<Rejection> FindRejection(std::string_view text) {
  // _iniScanUntilObject: up to the first piece starting with "[", every piece must trim to
  // nothing or start with a comment character.
  size_t line = 1;
  bool commentLine = false;  // the current line started as a comment
  for (size_t pos = 0; pos < text.size();) {
    const size_t next = PieceEnd(text, pos, text.size());
    const std::string_view seen = Seen(text.substr(pos, next - pos));
    if (!seen.empty() && seen[0] == '[') return std::nullopt;
    const std::string_view t = Trim(seen);
    const bool startsLine = StartsLine(text, pos);
    if (startsLine) commentLine = !t.empty() && (t[0] == '#' || t[0] == ';');
    if (!t.empty() && t[0] != '#' && t[0] != ';') {
      std::string reason;
      if (!startsLine && commentLine)
        reason = "a comment longer than 999 bytes before the first section";
      else if (pos == 0 && seen.starts_with("\xEF\xBB\xBF"))
        reason = "a byte-order mark before the first section";
      else if (t[0] == '[')
        reason = "an indented section header before the first section";
      else
        reason = "text before the first section";
      return Rejection{line, reason};
    }
    if (text[next - 1] == '\n') ++line;
    pos = next;
  }
  return std::nullopt;
}

std::string WhyUnread(std::string_view text, const std::string& file, Holds holds) {
  const std::optional<Rejection> rejected = FindRejection(text);
  if (!rejected) return "";
  return rejected->In(file) + (holds == Holds::Drivers ? "; unixODBC reads no driver from this file"
                                                       : "; unixODBC reads nothing from this file");
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
  return "invalid data source name \"" + text::EscapeControls(name) + "\": " + why;
}

std::string CheckKeyword(std::string_view keyword) {
  std::string why;
  if (keyword.empty()) {
    why = "it is empty";
  } else if (HasOuterBlank(keyword)) {
    why = "it starts or ends with a blank";
  } else if (!IsAlnum(keyword[0])) {
    // Beneath the user file, unixODBC skips a line that starts otherwise (Reader::Append).
    why = "it must start with a letter or a digit";
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
  return "invalid keyword \"" + text::EscapeControls(keyword) + "\": " + why;
}

std::string CheckValue(std::string_view keyword, std::string_view value) {
  std::string why;
  if (HasControl(value))
    why = "it holds a control character";
  else if (HasOuterBlank(value))
    why = "it starts or ends with a blank";
  else if (KeyLine(keyword, value, "\n").size() > kPieceMax)
    why = "its line would be longer than 999 bytes";
  if (why.empty()) return why;
  return "the value of \"" + text::EscapeControls(keyword) + "\" cannot be stored: " + why;
}

std::string CheckPairs(const Pairs& pairs) {
  for (const auto& [keyword, value] : pairs) {
    if (std::string why = CheckKeyword(keyword); !why.empty()) return why;
    if (std::string why = CheckValue(keyword, value); !why.empty()) return why;
  }
  return "";
}

std::string WhyNotStorable(std::string_view name, const Pairs& pairs) {
  if (std::string why = CheckSectionName(name); !why.empty()) return why;
  if (std::string why = WhyListingName(name); !why.empty()) return why;
  return CheckPairs(pairs);
}

}  // namespace platform::odbcini
