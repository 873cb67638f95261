#include "platform/fakes/MemoryStore.h"

#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "platform/registry/RegEncoding.h"
#include "platform/registry/RegFile.h"
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

void Remove(std::vector<std::unique_ptr<Node>>& nodes, const Node* node) {
  for (auto it = nodes.begin(); it != nodes.end(); ++it)
    if (it->get() == node) {
      nodes.erase(it);
      return;
    }
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

namespace {

void ReadTree(const Node& node, KeyStore::Values& values) {
  for (const Value& v : node.values)
    if (auto text = KeyStore::AsText(v.type, v.data)) values.emplace_back(v.name, *text);
  for (const auto& child : node.children) ReadTree(*child, values);
}

}  // namespace

std::optional<KeyStore::Values> MemoryStore::ReadTree(HKEY root, const std::string& path) {
  Node* node = impl_->Find(root, path);
  if (!node) return std::nullopt;
  Values values;
  platform::ReadTree(*node, values);
  return values;
}

std::unique_ptr<StoreKey> MemoryStore::Create(HKEY root, const std::string& path) {
  ++impl_->opens;
  Node* node = impl_->Create(root, path);
  if (node->readOnly) throw ERegistryException("cannot open " + Describe(root, path) + ": Access is denied");
  return std::make_unique<MemoryKey>(*node, true, impl_->openKeys, impl_->flushes);
}

void MemoryStore::Delete(HKEY root, const std::string& path) {
  Node* gone = impl_->Find(root, path);
  if (!gone) return;
  const size_t cut = path.rfind('\\');
  Node* parent = impl_->Find(root, cut == std::string::npos ? "" : path.substr(0, cut));
  if (parent && parent != gone) Remove(parent->children, gone);
}

void MemoryStore::DeleteValue(HKEY root, const std::string& path, const std::string& name) {
  if (Node* node = impl_->Find(root, path))
    std::erase_if(node->values, [&](const Value& v) { return text::EqualsIgnoreCase(v.name, name); });
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

using registry::RegType;
using registry::RegValue;

std::string LittleEndian(uint64_t n, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
  return out;
}

uint64_t FromLittleEndian(const std::string& bytes) {
  uint64_t n = 0;
  for (size_t i = bytes.size(); i-- > 0;) n = n << 8 | static_cast<unsigned char>(bytes[i]);
  return n;
}

// The store holds what the registry's ANSI calls give, code page 1252 bytes; the codec's text
// is UTF-8. Every byte has a 1252 character, so each way is exact.
std::string StoreBytes(const std::string& text, size_t line) {
  std::optional<std::string> bytes = registry::Utf8ToCp1252(text);
  if (!bytes) registry::Refuse(line, "text code page 1252 cannot hold");
  return *bytes;
}

// A value read from the file as the store's type and bytes.
std::pair<uint32_t, std::string> StoreValue(const RegValue& v) {
  switch (v.type) {
    case RegType::String:
      return {REG_SZ, StoreBytes(v.text, v.line)};
    case RegType::ExpandString:
      return {REG_EXPAND_SZ, StoreBytes(v.text, v.line)};
    case RegType::MultiString: {
      std::string data;
      for (const std::string& item : v.items) data += StoreBytes(item, v.line) + '\0';
      return {v.rawType, data + '\0'};
    }
    case RegType::Dword:
      return {REG_DWORD, LittleEndian(std::stoull(v.text), 4)};
    case RegType::Qword:
      return {v.rawType, LittleEndian(std::stoull(v.text), 8)};
    case RegType::Binary:
    case RegType::Other:
      break;
  }
  return {v.rawType, v.text};
}

// A stored value as the codec writes it: strings as text (a string read ends at its first
// NUL, so that is all of it there is), a dword as a number, everything else byte for byte.
RegValue FileValue(const Value& v) {
  RegValue out;
  out.name = registry::Cp1252ToUtf8(v.name);
  out.rawType = v.type;
  if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
    out.type = v.type == REG_SZ ? RegType::String : RegType::ExpandString;
    out.text = registry::Cp1252ToUtf8(TextOf(v));
  } else if (v.type == REG_DWORD && v.data.size() == 4) {
    out.type = RegType::Dword;
    out.text = std::to_string(FromLittleEndian(v.data));
  } else {
    out.type = v.type == REG_BINARY ? RegType::Binary : RegType::Other;
    out.text = v.data;
  }
  return out;
}

}  // namespace

void MemoryStore::Import(const std::string& regedit4) {
  try {
    const registry::RegFile file = registry::ParseRegFile(regedit4);
    if (file.format != registry::RegFormat::Regedit4)
      registry::Refuse(1, "a Version 5.00 file: this store reads REGEDIT4");
    // Every key's root is checked before the first change: a file refused changes nothing.
    std::vector<std::pair<HKEY, std::string>> places;
    for (const registry::RegKey& key : file.keys) {
      const std::string path = StoreBytes(key.path, key.line);
      const size_t slash = path.find('\\');
      const std::optional<HKEY> root = RootFromName(path.substr(0, slash));
      if (!root) registry::Refuse(key.line, "unknown root in '" + key.path + "'");
      places.emplace_back(*root, slash == std::string::npos ? "" : path.substr(slash + 1));
    }
    for (size_t k = 0; k < file.keys.size(); ++k) {
      const registry::RegKey& key = file.keys[k];
      const auto& [root, below] = places[k];
      if (key.remove) {
        Delete(root, below);
        continue;
      }
      Node* node = impl_->Create(root, below);
      for (const RegValue& v : key.values) {
        const std::string name = StoreBytes(v.name, v.line);
        if (v.removed) {
          std::erase_if(node->values,
                        [&](const Value& held) { return text::EqualsIgnoreCase(held.name, name); });
          continue;
        }
        auto [type, data] = StoreValue(v);
        node->Set(name, type, std::move(data));
      }
    }
  } catch (const registry::RegFileError& e) {
    throw std::invalid_argument(std::string("REGEDIT4 ") + e.what());
  }
}

std::string MemoryStore::Export() const {
  registry::RegFile file;
  file.format = registry::RegFormat::Regedit4;
  struct Walker {
    registry::RegFile& file;
    // A root is written as a key only when it holds values of its own.
    void Walk(const Node& node, const std::string& path, bool isRoot = false) {
      if (!isRoot || !node.values.empty()) {
        registry::RegKey key;
        key.path = registry::Cp1252ToUtf8(path);
        for (const Value& v : node.values) key.values.push_back(FileValue(v));
        file.keys.push_back(std::move(key));
      }
      for (const auto& c : node.children) Walk(*c, path + "\\" + c->name);
    }
  } walker{file};
  for (const auto& [root, node] : impl_->roots) walker.Walk(node, RootName(root), true);
  try {
    return registry::WriteRegFile(file);
  } catch (const registry::RegFileError& e) {
    // Only a name with a line end or a NUL in it can be refused: fixtures make none.
    throw std::invalid_argument(std::string("REGEDIT4 export: ") + e.what());
  }
}

}  // namespace platform
