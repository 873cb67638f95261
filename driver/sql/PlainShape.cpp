// Telling a statement that only lists columns of one table, whose rows are read directly.

#include "formats/Ascii.h"
#include "sql/EngineImpl.h"

namespace tabrix::sql {
namespace {

class PlainShape {
 public:
  static bool Of(std::string_view sql) {
    PlainShape p(sql);
    if (!p.Word("select")) return false;
    if (!p.Punct('*')) {
      do {
        if (!p.Identifier()) return false;
        if (p.Word("as") && !p.Identifier()) return false;
      } while (p.Punct(','));
    }
    if (!p.Word("from") || !p.Identifier()) return false;
    p.Punct(';');
    p.Blank();
    return p.at_ == p.s_.size();
  }

 private:
  explicit PlainShape(std::string_view s) : s_(s) {}
  static bool IsWordChar(char c) {
    return formats::IsAsciiAlnum(c) || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
  }
  void Blank() {
    while (at_ < s_.size() && formats::IsAsciiSpace(s_[at_])) ++at_;
  }
  bool Punct(char c) {
    Blank();
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    Blank();
    if (s_.size() - at_ < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k) {
      if (formats::AsciiLower(s_[at_ + k]) != word[k]) return false;
    }
    if (at_ + word.size() < s_.size() && IsWordChar(s_[at_ + word.size()])) return false;
    at_ += word.size();
    return true;
  }
  bool Identifier() {
    Blank();
    if (at_ >= s_.size()) return false;
    const char open = s_[at_];
    if (open == '[') {
      const size_t close = s_.find(']', at_ + 1);
      if (close == std::string_view::npos || close == at_ + 1) return false;
      at_ = close + 1;
      return true;
    }
    if (open == '"' || open == '`') {
      for (size_t j = at_ + 1; j < s_.size(); ++j) {
        if (s_[j] != open) continue;
        if (j + 1 < s_.size() && s_[j + 1] == open) {
          ++j;
          continue;
        }
        if (j == at_ + 1) return false;
        at_ = j + 1;
        return true;
      }
      return false;
    }
    if (!formats::IsAsciiAlpha(open) && open != '_') return false;
    while (at_ < s_.size() && IsWordChar(s_[at_])) ++at_;
    return true;
  }

  std::string_view s_;
  size_t at_ = 0;
};

}  // namespace

bool IsPlainShape(std::string_view sql) { return PlainShape::Of(sql); }

}  // namespace tabrix::sql
