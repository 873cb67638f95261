#include "platform/fakes/MemoryStore.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "platform/text/Text.h"

namespace platform {
namespace {

enum ValueType : uint32_t { REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4 };

struct Value {
  std::string name;
  uint32_t type;
  std::string data;  // text for the string types, little-endian bytes otherwise
};

struct Node {
  std::string name;
  std::vector<std::unique_ptr<Node>> children;
  std::vector<Value> values;
  bool readOnly = false;

  Node* Child(const std::string& childName) const {
    for (const auto& c : children)
      if (text::EqualsIgnoreCase(c->name, childName)) return c.get();
    return nullptr;
  }
  Value* Find(const std::string& valueName) {
    for (auto& v : values)
      if (text::EqualsIgnoreCase(v.name, valueName)) return &v;
    return nullptr;
  }
  void Set(const std::string& valueName, uint32_t type, std::string data) {
    if (Value* v = Find(valueName)) {
      v->type = type;
      v->data = std::move(data);
    } else {
      values.push_back(Value{valueName, type, std::move(data)});
    }
  }
};

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path + '\\') {
    if (c != '\\') {
      part += c;
    } else if (!part.empty()) {
      parts.push_back(std::move(part));
      part.clear();
    }
  }
  return parts;
}

const char* RootName(HKEY root) {
  return root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::optional<HKEY> RootFromName(const std::string& name) {
  if (text::EqualsIgnoreCase(name, "HKEY_CURRENT_USER") || text::EqualsIgnoreCase(name, "HKCU"))
    return HKEY_CURRENT_USER;
  if (text::EqualsIgnoreCase(name, "HKEY_LOCAL_MACHINE") || text::EqualsIgnoreCase(name, "HKLM"))
    return HKEY_LOCAL_MACHINE;
  return std::nullopt;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

bool IsString(const Value& v) { return v.type == REG_SZ || v.type == REG_EXPAND_SZ; }

// A string value's text ends at its first NUL, as the registry accessor reads it.
std::string TextOf(const Value& v) { return v.data.substr(0, v.data.find('\0')); }

}  // namespace

struct MemoryStore::Impl {
  std::map<HKEY, Node> roots;
  int openKeys = 0;
  int opens = 0;
  int flushes = 0;

  Node* Find(HKEY root, const std::string& path) {
    auto it = roots.find(root);
    if (it == roots.end()) return nullptr;
    Node* node = &it->second;
    for (const auto& part : SplitPath(path)) {
      node = node->Child(part);
      if (!node) return nullptr;
    }
    return node;
  }

  Node* Create(HKEY root, const std::string& path) {
    Node* node = &roots[root];
    for (const auto& part : SplitPath(path)) {
      Node* child = node->Child(part);
      if (!child) {
        node->children.push_back(std::make_unique<Node>());
        child = node->children.back().get();
        child->name = part;
      }
      node = child;
    }
    return node;
  }
};

namespace {

class MemoryKey : public StoreKey {
 public:
  MemoryKey(Node& node, bool writable, int& openKeys, int& flushes)
      : node_(node), writable_(writable), openKeys_(openKeys), flushes_(flushes) {
    ++openKeys_;
  }
  ~MemoryKey() override { --openKeys_; }

  std::optional<std::string> ReadString(const std::string& name) override {
    const Value* v = node_.Find(name);
    if (!v) return std::nullopt;
    if (v->type != REG_SZ && v->type != REG_EXPAND_SZ)
      throw ERegistryException("Invalid data type for '" + name + "'");
    return TextOf(*v);
  }

  void WriteString(const std::string& name, const std::string& value) override {
    if (!writable_) throw ERegistryException("Failed to set data for '" + name + "'");
    node_.Set(name, REG_SZ, value);
  }

  void Flush() override { ++flushes_; }

 private:
  Node& node_;
  bool writable_;
  int& openKeys_;
  int& flushes_;
};

}  // namespace

MemoryStore::MemoryStore() : impl_(std::make_unique<Impl>()) {}
MemoryStore::~MemoryStore() = default;

std::unique_ptr<StoreKey> MemoryStore::Open(HKEY root, const std::string& path, Access access) {
  ++impl_->opens;
  Node* node = impl_->Find(root, path);
  if (!node) return nullptr;
  if (access == Access::ReadWrite && node->readOnly) return nullptr;
  return std::make_unique<MemoryKey>(*node, access == Access::ReadWrite, impl_->openKeys,
                                     impl_->flushes);
}

std::optional<KeyStore::SubKeyValues> MemoryStore::ReadSubKeys(HKEY root, const std::string& path,
                                                               const std::string& valueName) {
  Node* node = impl_->Find(root, path);
  if (!node) return std::nullopt;
  SubKeyValues result;
  for (const auto& child : node->children) {
    const Value* v = child->Find(valueName);
    result.emplace_back(child->name, v && IsString(*v) ? TextOf(*v) : "");
  }
  return result;
}

std::optional<KeyStore::Values> MemoryStore::ReadValues(HKEY root, const std::string& path) {
  Node* node = impl_->Find(root, path);
  if (!node) return std::nullopt;
  Values result;
  for (const Value& v : node->values)
    if (IsString(v)) result.emplace_back(v.name, TextOf(v));
  return result;
}

std::string MemoryStore::Describe(HKEY root, const std::string& path) {
  std::string described = RootName(root);
  for (const auto& part : SplitPath(path)) described += "\\" + part;
  return described;
}

void MemoryStore::CreateKey(HKEY root, const std::string& path) { impl_->Create(root, path); }

bool MemoryStore::KeyExists(HKEY root, const std::string& path) const {
  return impl_->Find(root, path) != nullptr;
}

void MemoryStore::SetString(HKEY root, const std::string& path, const std::string& name,
                            const std::string& value) {
  impl_->Create(root, path)->Set(name, REG_SZ, value);
}

void MemoryStore::SetDword(HKEY root, const std::string& path, const std::string& name,
                           uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  impl_->Create(root, path)->Set(name, REG_DWORD, bytes);
}

void MemoryStore::SetReadOnly(HKEY root, const std::string& path, bool readOnly) {
  impl_->Create(root, path)->readOnly = readOnly;
}

int MemoryStore::OpenKeyCount() const { return impl_->openKeys; }
int MemoryStore::OpenCount() const { return impl_->opens; }
int MemoryStore::FlushCount() const { return impl_->flushes; }

namespace {

[[noreturn]] void BadLine(int line, const std::string& what) {
  throw std::invalid_argument("REGEDIT4 line " + std::to_string(line) + ": " + what);
}

bool IsHexDigits(const std::string& s, size_t maxDigits) {
  return !s.empty() && s.size() <= maxDigits &&
         s.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// Parses a quoted string starting at text[pos] == '"'; leaves pos after the closing quote.
std::string Unquote(const std::string& text, size_t& pos, int line) {
  std::string out;
  for (++pos; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c == '\\') {
      if (++pos == text.size()) break;
      c = text[pos];
    }
    out += c;
  }
  BadLine(line, "unterminated string");
}

// One line's comma-separated bytes; an empty item (the comma before a line break) adds none.
std::string HexBytes(const std::string& list, int line) {
  std::string bytes;
  for (const auto& item : text::Split(list, ',')) {
    std::string b = text::Trim(item);
    if (b.empty()) continue;
    if (!IsHexDigits(b, 2)) BadLine(line, "bad hex byte '" + b + "'");
    bytes += static_cast<char>(std::stoul(b, nullptr, 16));
  }
  return bytes;
}

// Whether a quoted line carries the string back whole: a line end would split it and a NUL
// would cut it short, so such a string goes out as hex(1) bytes instead.
bool FitsQuotes(const std::string& s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

std::string HexByte(unsigned char b) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02x", b);
  return buf;
}

// "hex:" or "hex(N):" and the bytes, as regedit wraps them: after the comma that takes the
// line to 77 characters, a backslash, then two spaces on the next line.
void PutHex(std::string& out, size_t lineLength, uint32_t type, const std::string& bytes) {
  char prefix[20] = "hex:";
  if (type != REG_BINARY)
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
  out += prefix;
  lineLength += std::strlen(prefix);
  constexpr size_t kMaxHexLine = 77;
  for (size_t i = 0; i < bytes.size(); ++i) {
    out += HexByte(static_cast<unsigned char>(bytes[i]));
    if (i + 1 == bytes.size()) break;
    out += ',';
    lineLength += 3;
    if (lineLength >= kMaxHexLine) {
      out += "\\\n  ";
      lineLength = 2;
    }
  }
}

}  // namespace

void MemoryStore::Import(const std::string& regedit4) {
  std::vector<std::string> lines = text::Split(regedit4, '\n');
  Node* key = nullptr;
  bool sawHeader = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const int lineNo = static_cast<int>(i) + 1;
    std::string line = text::Trim(lines[i]);
    if (line.empty() || line[0] == ';') continue;
    if (!sawHeader) {
      if (line != "REGEDIT4") BadLine(lineNo, "expected REGEDIT4");
      sawHeader = true;
      continue;
    }
    if (line[0] == '[') {
      if (line.back() != ']') BadLine(lineNo, "unterminated key name");
      std::string full = line.substr(1, line.size() - 2);
      size_t slash = full.find('\\');
      auto root = RootFromName(full.substr(0, slash));
      if (!root) BadLine(lineNo, "unknown root in '" + full + "'");
      key = impl_->Create(*root, slash == std::string::npos ? "" : full.substr(slash + 1));
      continue;
    }
    if (!key) BadLine(lineNo, "value outside a key");
    size_t pos = 0;
    std::string name;
    if (line[0] == '@') {
      pos = 1;
    } else if (line[0] == '"') {
      name = Unquote(line, pos, lineNo);
    } else {
      BadLine(lineNo, "expected a value name");
    }
    if (pos >= line.size() || line[pos] != '=') BadLine(lineNo, "expected '='");
    std::string data = line.substr(pos + 1);
    if (!data.empty() && data[0] == '"') {
      size_t p = 0;
      std::string value = Unquote(data, p, lineNo);
      if (p != data.size()) BadLine(lineNo, "text after the closing quote");
      key->Set(name, REG_SZ, value);
    } else if (data.rfind("dword:", 0) == 0) {
      std::string digits = data.substr(6);
      if (!IsHexDigits(digits, 8)) BadLine(lineNo, "bad dword '" + digits + "'");
      uint32_t v = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
      std::string bytes;
      for (int b = 0; b < 4; ++b) bytes += static_cast<char>((v >> (8 * b)) & 0xFF);
      key->Set(name, REG_DWORD, bytes);
    } else if (data.rfind("hex", 0) == 0) {
      uint32_t type = REG_BINARY;
      size_t listAt = 4;
      if (data.rfind("hex(", 0) == 0) {
        const size_t close = data.find("):");
        const std::string digits = data.substr(4, close == std::string::npos ? close : close - 4);
        if (close == std::string::npos || !IsHexDigits(digits, 8))
          BadLine(lineNo, "bad value type in '" + data + "'");
        type = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
        listAt = close + 2;
      } else if (data.rfind("hex:", 0) != 0) {
        BadLine(lineNo, "unsupported value data '" + data + "'");
      }
      // Long data goes on over the next lines, each but the last ending in a backslash.
      std::string list = data.substr(listAt);
      std::string bytes;
      for (int at = lineNo;;) {
        const bool more = !list.empty() && list.back() == '\\';
        if (more) list.pop_back();
        bytes += HexBytes(list, at);
        if (!more) break;
        if (++i == lines.size()) BadLine(at, "hex data continues past the end of the text");
        at = static_cast<int>(i) + 1;
        list = text::Trim(lines[i]);
      }
      // string types are stored as text without their terminating NUL
      if ((type == REG_SZ || type == REG_EXPAND_SZ) && !bytes.empty() && bytes.back() == '\0')
        bytes.pop_back();
      key->Set(name, type, bytes);
    } else {
      BadLine(lineNo, "unsupported value data '" + data + "'");
    }
  }
}

std::string MemoryStore::Export() const {
  std::string out = "REGEDIT4\n";
  struct Walker {
    std::string& out;
    // A root is written as a key only when it holds values of its own.
    void Walk(const Node& node, const std::string& path, bool isRoot = false) {
      if (!isRoot || !node.values.empty()) out += "\n[" + path + "]\n";
      for (const auto& v : node.values) {
        const size_t lineStart = out.size();
        out += v.name.empty() ? "@" : Quote(v.name);
        out += '=';
        if (v.type == REG_SZ && FitsQuotes(v.data)) {
          out += Quote(v.data);
        } else if (v.type == REG_DWORD && v.data.size() == 4) {
          uint32_t d = 0;
          for (int b = 3; b >= 0; --b) d = (d << 8) | static_cast<unsigned char>(v.data[b]);
          char buf[16];
          std::snprintf(buf, sizeof buf, "dword:%08x", d);
          out += buf;
        } else {
          // A string's bytes go out with the NUL that ends them, which Import takes off again.
          PutHex(out, out.size() - lineStart, v.type, IsString(v) ? v.data + '\0' : v.data);
        }
        out += '\n';
      }
      for (const auto& c : node.children) Walk(*c, path + "\\" + c->name);
    }
  } walker{out};
  for (const auto& [root, node] : impl_->roots) walker.Walk(node, RootName(root), true);
  return out;
}

}  // namespace platform
