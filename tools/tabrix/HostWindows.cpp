#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/WindowsApi.h"
#include "platform/odbcinst/DataSources.h"
#include "platform/registry/Registry.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Host.h"

namespace tabrix::cli::host {

// Kept out of the help but still parsed, so that a script written for the Linux build
// learns why, rather than reading "not expected". A usage error (exit 2).
void AddConfigDirOption(CLI::App& verb, std::string&) {
  verb.add_option_function<std::string>(
          "--config-dir",
          [](const std::string&) {
            throw CLI::ValidationError(
                "--config-dir",
                "not available in the Windows build: it names unixODBC's files; "
                "data sources and drivers are in the registry");
          })
      ->group("");
}

// The option never carries a value here: its check refuses it while parsing.
void UseConfigDir(const std::string&) {}

std::string WhereDataSourcesLive() {
  return "Data sources: the registry, HKEY_CURRENT_USER (user) and HKEY_LOCAL_MACHINE (system) "
         "\\Software\\ODBC\\ODBC.INI; drivers under HKEY_LOCAL_MACHINE\\Software\\ODBC\\"
         "ODBCINST.INI.";
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

// The registry serialises each write itself; there is no file to lock.
std::shared_ptr<void> LockDataSources(bool) { return nullptr; }

void UseLockWait(double) {}

std::string ReadWholeFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) throw std::runtime_error(path + ": no such file");
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw std::runtime_error(path + " is a folder");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot be read");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ReadSecretLine(const std::string& prompt, std::string& line) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool console = GetConsoleMode(input, &mode) != 0;
  if (console) {
    SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::cerr << prompt << std::flush;
  }
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (console) {
    SetConsoleMode(input, mode);
    std::cerr << std::endl;
  }
  return read;
}

// The registry keeps its own access rights per key.
std::string ReadableByOthers(bool) { return ""; }

namespace {

::HKEY Root(bool system) {
  const platform::HKEY root = system ? platform::HKEY_LOCAL_MACHINE : platform::HKEY_CURRENT_USER;
  return reinterpret_cast<::HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

std::string Reason(LONG code) {
  char text[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
  return n > 0 ? std::string(text, n) : "error " + std::to_string(code);
}

// A key opened or created for writing, closed at the end of its scope.
class WritableKey {
 public:
  WritableKey(bool system, const std::string& path) : path_(path) {
    LONG rc = RegCreateKeyExA(Root(system), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
    if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot open " + path + ": " + Reason(rc));
  }
  ~WritableKey() { RegCloseKey(key_); }
  WritableKey(const WritableKey&) = delete;
  WritableKey& operator=(const WritableKey&) = delete;

  // REG_SZ with its terminating NUL, as Windows' own tools store strings.
  void Set(const std::string& name, const std::string& value) {
    LONG rc =
        RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    if (rc != ERROR_SUCCESS)
      throw std::runtime_error("cannot set " + name + " in " + path_ + ": " + Reason(rc));
  }
  void Remove(const std::string& name) {
    LONG rc = RegDeleteValueA(key_, name.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
      throw std::runtime_error("cannot remove " + name + " from " + path_ + ": " + Reason(rc));
  }

 private:
  std::string path_;
  ::HKEY key_ = nullptr;
};

void DeleteTree(bool system, const std::string& path) {
  LONG rc = RegDeleteTreeA(Root(system), path.c_str());
  if (rc == ERROR_SUCCESS) rc = RegDeleteKeyA(Root(system), path.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
    throw std::runtime_error("cannot remove " + path + ": " + Reason(rc));
}

}  // namespace

namespace {

uint64_t LittleEndian(const std::string& bytes) {
  uint64_t n = 0;
  for (size_t i = bytes.size(); i-- > 0;) n = n << 8 | static_cast<unsigned char>(bytes[i]);
  return n;
}

// A value as text the way import reads a registry file: strings as they are (up to a NUL),
// numbers and flags of up to eight bytes in decimal, a multi-string's items joined by ';'.
// nullopt for what has no such spelling.
std::optional<std::string> AsText(DWORD type, const std::string& data) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return data.substr(0, data.find('\0'));
    case REG_DWORD:
    case REG_QWORD:
    case REG_BINARY:
      if (data.empty() || data.size() > 8) return std::nullopt;
      return std::to_string(LittleEndian(data));
    case REG_MULTI_SZ: {
      std::string text;
      for (size_t at = 0; at < data.size();) {
        const size_t end = std::min(data.find('\0', at), data.size());
        if (end == at) break;
        text += (text.empty() ? "" : ";") + data.substr(at, end - at);
        at = end + 1;
      }
      return text;
    }
    default:
      return std::nullopt;
  }
}

// Every value of a key, then those of its subkeys (a desktop driver's Engines\<engine>), as
// import takes them into one data source.
void ReadAllValues(::HKEY parent, const std::string& path, Pairs& values) {
  ::HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot open " + path + ": " + Reason(rc));
  struct Closer {
    ::HKEY key;
    ~Closer() { RegCloseKey(key); }
  } closer{key};
  std::vector<char> name(16384);  // the longest value name Windows allows, and its NUL
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size()), type = 0, size = 0;
    rc = RegEnumValueA(key, index, name.data(), &length, nullptr, &type, nullptr, &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    std::string data(size, '\0');
    length = static_cast<DWORD>(name.size());
    if (rc == ERROR_SUCCESS)
      rc = RegEnumValueA(key, index, name.data(), &length, nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc != ERROR_SUCCESS)
      throw std::runtime_error("cannot read the values of " + path + ": " + Reason(rc));
    data.resize(size);
    if (auto text = AsText(type, data))
      values.emplace_back(std::string(name.data(), length), *text);
  }
  char sub[256];  // the longest key name Windows allows, and its NUL
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof sub;
    rc = RegEnumKeyExA(key, index, sub, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS)
      throw std::runtime_error("cannot list the subkeys of " + path + ": " + Reason(rc));
    ReadAllValues(key, std::string(sub, length), values);
  }
}

}  // namespace

StoredSources ReadDataSources(bool system) {
  auto& store = platform::CurrentKeyStore();
  const platform::HKEY root = system ? platform::HKEY_LOCAL_MACHINE : platform::HKEY_CURRENT_USER;
  StoredSources stored;
  auto names = store.ReadSubKeys(root, platform::DataSourceKey(), "Driver");
  if (!names) return stored;
  for (const auto& [name, driver] : *names) {
    if (platform::IsListingName(name)) {
      if (auto values = store.ReadValues(root, platform::DataSourceKey(name)))
        stored.listing = std::move(*values);
      continue;
    }
    stored.sources.push_back({name, {}, {}});
    ReadAllValues(Root(system), platform::DataSourceKey(name).substr(1),
                  stored.sources.back().values);
  }
  return stored;
}

// The registry's own limits, and a NUL, which would end the stored string early.
std::string WhyNotStorable(const std::string& name, const Pairs& values) {
  if (name.empty()) return "invalid data source name: it is empty";
  if (name.size() > 255)
    return "invalid data source name \"" + name + "\": it is longer than 255 bytes";
  if (name.find('\\') != std::string::npos)
    return "invalid data source name \"" + name + "\": it holds the character '\\'";
  for (const auto& [k, v] : values) {
    if (k.empty()) return "invalid keyword \"\": it is empty";
    if (k.size() > 16383) return "invalid keyword \"" + k.substr(0, 64) + "...\": it is too long";
    if (k.find('\0') != std::string::npos || v.find('\0') != std::string::npos)
      return "the value of \"" + k + "\" cannot be stored: it holds a NUL byte";
  }
  return "";
}

// The registry has no transaction here: each data source is written in turn, and the first
// refusal stops the rest.
void EditDataSources(bool system, const std::vector<SourceEdit>& edits) {
  const std::string base = platform::DataSourceKey().substr(1);
  for (const SourceEdit& e : edits) {
    const std::string key = base + "\\" + e.name;
    if (e.kind == SourceEdit::Kind::Remove) {
      DeleteTree(system, key);
      WritableKey(system, base + "\\ODBC Data Sources").Remove(e.name);
      continue;
    }
    std::string library;
    if (!e.driver.empty()) {
      // Driver names the library, as the drivers' own setup writes it on Windows.
      auto definition = platform::CurrentKeyStore().ReadValues(platform::HKEY_LOCAL_MACHINE,
                                                               platform::DriverKey(e.driver));
      library = definition ? platform::KeyStore::Find(*definition, "Driver").value_or("") : "";
      if (library.empty())
        throw std::runtime_error("the driver \"" + e.driver + "\" names no library (Driver) in " +
                                 platform::CurrentKeyStore().Describe(
                                     platform::HKEY_LOCAL_MACHINE, platform::DriverKey(e.driver)));
    }
    if (e.kind == SourceEdit::Kind::Replace) DeleteTree(system, key);
    WritableKey source(system, key);
    if (!library.empty()) source.Set("Driver", library);
    for (const auto& [k, v] : e.values) source.Set(k, v);
    if (!e.driver.empty()) WritableKey(system, base + "\\ODBC Data Sources").Set(e.name, e.driver);
  }
}

namespace {

// A protected access list allowing this process's user alone, for a file holding passwords.
class OwnerOnly {
 public:
  OwnerOnly() {
    HANDLE token = nullptr;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) Throw();
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    const bool got = GetTokenInformation(token, TokenUser, user_.data(), size, &size);
    CloseHandle(token);
    if (!got) Throw();
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    ACL* acl = reinterpret_cast<ACL*>(acl_.data());
    if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
      Throw();
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
  }
  SECURITY_ATTRIBUTES* get() { return &attributes_; }

 private:
  [[noreturn]] static void Throw() {
    throw std::runtime_error("cannot make an access list for the owner alone: " +
                             Reason(static_cast<LONG>(GetLastError())));
  }
  std::vector<BYTE> user_, acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace

// A file holding passwords gets an access list of its owner alone; another one inherits the
// folder's, as any new file does.
void WriteOutputFile(const std::string& path, const std::string& bytes, bool secret) {
  const std::string temp = path + ".tabrix-export.tmp";
  std::optional<OwnerOnly> owner;
  if (secret) owner.emplace();
  DeleteFileA(temp.c_str());  // an existing file would keep its own access list
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, owner ? owner->get() : nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw std::runtime_error("cannot create " + temp + ": " +
                             Reason(static_cast<LONG>(GetLastError())));
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size() && FlushFileBuffers(file);
  const DWORD code = GetLastError();
  CloseHandle(file);
  if (!ok) {
    DeleteFileA(temp.c_str());
    throw std::runtime_error("cannot write " + temp + ": " + Reason(static_cast<LONG>(code)));
  }
  if (!MoveFileExA(temp.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD moved = GetLastError();
    DeleteFileA(temp.c_str());
    throw std::runtime_error("cannot replace " + path + ": " + Reason(static_cast<LONG>(moved)));
  }
}

void WriteStandardOutput(const std::string& bytes) {
  std::cout.flush();
  _setmode(_fileno(stdout), _O_BINARY);  // a registry file's CRLF and UTF-16 as they are
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

}  // namespace tabrix::cli::host
