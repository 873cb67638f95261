// Edits of a configuration file's text that change only the pieces they must.
#include "platform/odbcini/Edits.h"

#include <vector>

#include "platform/odbcini/Pieces.h"
#include "platform/text/Text.h"

namespace platform::odbcini {

using namespace pieces;

namespace {

// Builds the new text of a range from kept pieces and written lines. A line we write never
// continues a kept piece that was cut from a longer line: it gets a line end first, which
// unixODBC reads as a blank line.
class Rebuild {
 public:
  // `at` is where the range starts in `text`.
  Rebuild(std::string_view text, size_t at, std::string eol)
      : text_(text), eol_(std::move(eol)), open_(!StartsLine(text, at)) {}

  void Keep(size_t begin, size_t next) {
    if (open_ && StartsLine(text_, begin)) out_ += eol_;
    out_.append(text_, begin, next - begin);
    open_ = text_[next - 1] != '\n';
  }

  void Write(std::string_view line) {
    if (open_) out_ += eol_;
    out_ += line;
    open_ = false;
  }

  // The range's text; its last line ends where the range's did.
  std::string Finish(size_t end) {
    if (open_ && StartsLine(text_, end)) out_ += eol_;
    return std::move(out_);
  }

 private:
  std::string_view text_;
  std::string eol_;
  bool open_;
  std::string out_;
};

// Makes sure the text ends with a line end, so that lines can be appended.
void EndLine(std::string& text, std::string_view eol) {
  if (!text.empty() && text.back() != '\n') text += eol;
}

// Whether the text, ending with a line end, ends with a blank line.
bool EndsWithBlankLine(std::string_view text) {
  if (text.empty()) return true;
  text.remove_suffix(1);  // its line feed
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  return text.empty() || text.back() == '\n';
}

}  // namespace

void AppendSection(std::string& text, std::string_view name, const KeyValues& keys) {
  const std::string eol = LineEnd(text);
  EndLine(text, eol);
  if (!EndsWithBlankLine(text)) text += eol;  // a blank line between sections
  text += '[';
  text += name;
  text += ']';
  text += eol;
  for (const auto& [k, v] : keys) text += KeyLine(k, v, eol);
}

void WriteSection(std::string& text, std::string_view name, const KeyValues& keys, Merge merge) {
  std::optional<Section> s = FindSection(text, name);
  if (!s) {
    AppendSection(text, name, keys);
    return;
  }
  const std::string eol = LineEnd(text);
  if (s->end == text.size() && !text.empty() && text.back() != '\n') {
    const bool headerOnly = s->body == text.size();
    text += eol;
    s->end = text.size();
    if (headerOnly) s->body = s->end;
  }

  // The new body in order: kept pieces and rewritten keys, then new keys before the
  // comments and blank lines that follow the last key (Update); or new keys, then every
  // comment and blank line (Replace).
  constexpr size_t kRaw = static_cast<size_t>(-1);
  struct Item {
    size_t begin, next;
    size_t key;  // index into `keys` for a line we write, else kRaw
  };
  std::vector<Item> items;
  std::vector<bool> used(keys.size(), false);
  size_t afterLastKey = 0;
  auto indexOf = [&](std::string_view key) {
    for (size_t i = 0; i < keys.size(); ++i)
      if (text::EqualsIgnoreCase(keys[i].first, key)) return i;
    return keys.size();
  };
  ForEachPiece(text, s->body, s->end, Reader::Open, true, [&](const Piece& p) {
    if (p.kind != Kind::Key) {
      items.push_back({p.begin, p.next, kRaw});
      return true;
    }
    if (merge == Merge::Replace) return true;  // old keys go; their comments stay
    const size_t i = indexOf(p.name);
    if (i == keys.size()) {
      items.push_back({p.begin, p.next, kRaw});
    } else if (!used[i]) {
      used[i] = true;
      items.push_back({p.begin, p.next, i});
    }
    afterLastKey = items.size();
    return true;
  });

  Rebuild body(text, s->body, eol);
  auto emit = [&](const Item& item) {
    if (item.key == kRaw)
      body.Keep(item.begin, item.next);
    else
      body.Write(KeyLine(keys[item.key].first, keys[item.key].second, eol));
  };
  for (size_t i = 0; i < afterLastKey; ++i) emit(items[i]);
  for (size_t i = 0; i < keys.size(); ++i)
    if (!used[i]) body.Write(KeyLine(keys[i].first, keys[i].second, eol));
  for (size_t i = afterLastKey; i < items.size(); ++i) emit(items[i]);
  text.replace(s->body, s->end - s->body, body.Finish(s->end));
}

bool RemoveSection(std::string& text, std::string_view name) {
  std::vector<Section> found;
  ForEachSection(text, [&](const Section& s) {
    if (text::EqualsIgnoreCase(s.name, name)) found.push_back(s);
    return true;
  });
  // From the last, so that the offsets of the others stay valid.
  const std::string eol = LineEnd(text);
  for (auto s = found.rbegin(); s != found.rend(); ++s) {
    Rebuild kept(text, s->header, eol);  // its comments; keys and blank lines go
    ForEachPiece(text, s->body, s->end, Reader::Open, false, [&](const Piece& p) {
      if (p.kind == Kind::Comment) kept.Keep(p.begin, p.next);
      return true;
    });
    text.replace(s->header, s->end - s->header, kept.Finish(s->end));
  }
  return !found.empty();
}

namespace {

// Where the key lines of a section are: the first piece of `key` (when there is one), whether
// it has more, and the end of the section's last key piece (its body's start when it has no
// key).
struct KeyPlace {
  std::optional<Piece> first;
  bool repeated = false;
  size_t afterLastKey = 0;
};

KeyPlace PlaceKey(std::string_view text, const Section& s, std::string_view key) {
  KeyPlace place;
  place.afterLastKey = s.body;
  ForEachPiece(text, s.body, s.end, Reader::Open, true, [&](const Piece& p) {
    if (p.kind != Kind::Key) return true;
    place.afterLastKey = p.next;
    if (text::EqualsIgnoreCase(p.name, key)) {
      if (place.first) place.repeated = true;
      if (!place.first) place.first = p;
    }
    return true;
  });
  return place;
}

// Whether whole lines start at `at` (the text's end counts when the text ends a line).
bool AtLineStart(std::string_view text, size_t at) {
  return at <= text.size() && StartsLine(text, at) &&
         (at < text.size() || text.empty() || text.back() == '\n');
}

}  // namespace

void SpliceInto(std::string& text, const Splice& splice) {
  text.replace(splice.at, splice.erase, splice.insert);
}

// The listing section of a file holds a line per data source: adding or removing one line
// there touches that line alone, without rebuilding the section.
std::optional<Splice> SetKeySplice(std::string_view text, std::string_view section,
                                   std::string_view key, std::string_view value) {
  std::optional<Section> s = FindSection(text, section);
  if (!s) return std::nullopt;
  const KeyPlace place = PlaceKey(text, *s, key);
  if (place.first || !AtLineStart(text, place.afterLastKey)) return std::nullopt;
  return Splice{place.afterLastKey, 0, KeyLine(key, value, LineEnd(text))};
}

std::optional<Splice> RemoveKeySplice(std::string_view text, std::string_view section,
                                      std::string_view key) {
  std::optional<Section> s = FindSection(text, section);
  if (!s) return Splice{};
  const KeyPlace place = PlaceKey(text, *s, key);
  if (!place.first) return Splice{};
  const Piece& line = *place.first;
  if (place.repeated || !StartsLine(text, line.begin) || text[line.next - 1] != '\n')
    return std::nullopt;
  return Splice{line.begin, line.next - line.begin, ""};
}

void SetKey(std::string& text, std::string_view section, std::string_view key,
            std::string_view value) {
  if (std::optional<Splice> splice = SetKeySplice(text, section, key, value))
    SpliceInto(text, *splice);
  else
    WriteSection(text, section, {{std::string(key), std::string(value)}}, Merge::Update);
}

void RemoveKey(std::string& text, std::string_view section, std::string_view wanted) {
  if (std::optional<Splice> splice = RemoveKeySplice(text, section, wanted)) {
    SpliceInto(text, *splice);
    return;
  }
  const Section s = *FindSection(text, section);
  Rebuild body(text, s.body, LineEnd(text));
  bool removed = false;
  ForEachPiece(text, s.body, s.end, Reader::Open, true, [&](const Piece& p) {
    if (p.kind == Kind::Key && text::EqualsIgnoreCase(p.name, wanted))
      removed = true;
    else
      body.Keep(p.begin, p.next);
    return true;
  });
  if (removed) text.replace(s.body, s.end - s.body, body.Finish(s.end));
}

}  // namespace platform::odbcini
