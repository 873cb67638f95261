#include "tests/windows/WineRegistry.h"

#include <cstdio>
#include <stdexcept>

#include "platform/registry/RegistryKeyWindows.h"
#include "tests/support/TestSupport.h"

namespace wintest {
namespace {

using platform::RegistryKey;
using platform::WindowsRoot;

void Check(LONG rc, const std::string& what) {
  if (rc != ERROR_SUCCESS) throw std::runtime_error(what + " failed with " + std::to_string(rc));
}

RegistryKey Created(platform::HKEY root, const std::string& path) {
  auto key = RegistryKey::Create(root, path, KEY_WRITE);
  if (!key) throw std::runtime_error("creating " + path + ": " + key.reason());
  return std::move(*key);
}

}  // namespace

void CreateKey(platform::HKEY root, const std::string& path) { Created(root, path); }

void SetValue(platform::HKEY root, const std::string& path, const std::string& name, uint32_t type,
              const std::string& bytes) {
  RegistryKey key = Created(root, path);
  Check(
      RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                     static_cast<DWORD>(bytes.size())),
      "setting " + name);
}

void SetString(platform::HKEY root, const std::string& path, const std::string& name,
               const std::string& text) {
  SetValue(root, path, name, kSz, text + '\0');
}

bool KeyExists(platform::HKEY root, const std::string& path) {
  return RegistryKey::Open(root, path, KEY_READ).ok();
}

void DeleteTree(platform::HKEY root, const std::string& path) {
  LONG rc = RegDeleteTreeA(WindowsRoot(root), path.c_str());
  if (rc != ERROR_FILE_NOT_FOUND) Check(rc, "deleting " + path);
}

std::optional<RawValue> GetValue(platform::HKEY root, const std::string& path,
                                 const std::string& name) {
  auto key = RegistryKey::Open(root, path, KEY_READ);
  if (!key) return std::nullopt;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key->get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  RawValue value{type, std::string(size, '\0')};
  Check(RegQueryValueExA(key->get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(value.bytes.data()), &size),
        "reading " + name);
  value.bytes.resize(size);
  return value;
}

std::vector<std::string> SubKeyNames(platform::HKEY root, const std::string& path) {
  std::vector<std::string> names;
  auto key = RegistryKey::Open(root, path, KEY_READ);
  if (!key) return names;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key->get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      return names;
    names.emplace_back(name, length);
  }
}

std::vector<std::pair<std::string, RawValue>> Values(platform::HKEY root,
                                                     const std::string& path) {
  std::vector<std::pair<std::string, RawValue>> values;
  auto key = RegistryKey::Open(root, path, KEY_READ);
  if (!key) return values;
  char name[16384];
  std::string data(65536, '\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name, type = 0, size = static_cast<DWORD>(data.size());
    if (RegEnumValueA(key->get(), index, name, &length, nullptr, &type,
                      reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
      return values;
    values.emplace_back(std::string(name, length), RawValue{type, data.substr(0, size)});
  }
}

void SetEnv(const std::string& name, const std::string& value) {
  SetEnvironmentVariableA(name.c_str(), value.c_str());
}

void UnsetEnv(const std::string& name) { SetEnvironmentVariableA(name.c_str(), nullptr); }

Output RunInPrefix(const std::string& commandLine) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) throw std::runtime_error("CreatePipe failed");
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &process);
  CloseHandle(write);
  Output out{~0u, ""};
  if (started) {
    char buf[4096];
    DWORD n = 0;
    while (::ReadFile(read, buf, sizeof buf, &n, nullptr) && n > 0) out.text.append(buf, n);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    out.status = status;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(read);
  if (!started) throw std::runtime_error("could not start: " + commandLine);
  return out;
}

std::string FromUtf16(const std::string& bytes) {
  size_t start = bytes.compare(0, 2, "\xff\xfe") == 0 ? 2 : 0;
  std::string text;
  for (size_t i = start; i + 1 < bytes.size(); i += 2)
    text += bytes[i + 1] == 0 && static_cast<unsigned char>(bytes[i]) < 0x80 ? bytes[i] : '?';
  return text;
}

std::string ProgramDir() {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string dir(self, n);
  dir.resize(dir.rfind('\\') + 1);
  return dir;
}

void InstallSetupLibrary() {
  const std::string dir = ProgramDir();
  CreateDirectoryA(kSetupDir.c_str(), nullptr);
  if (!CopyFileA((dir + "tabrix_test_setup.dll").c_str(), kSetupLibrary.c_str(), FALSE))
    throw std::runtime_error("could not copy the test setup library from " + dir);
}

std::vector<SetupCall> SetupCalls() {
  std::vector<SetupCall> calls;
  const std::string log = testsupport::Slurp(kSetupLog);
  size_t at = 0;
  for (size_t end; (end = log.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = log.substr(at, end - at);
    SetupCall call;
    char parent[8] = {};
    int consumed = 0;
    if (sscanf(line.c_str(), "request=%u mode=%u parent=%7s driver=%n", &call.request, &call.mode,
               parent, &consumed) < 3)
      throw std::runtime_error("unreadable setup log line: " + line);
    call.parent = std::string(parent) != "null";
    const size_t split = line.rfind(" attributes=");
    call.driver = line.substr(consumed, split - consumed);
    const std::string hex = line.substr(split + 12);
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
      call.attributes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    calls.push_back(std::move(call));
  }
  return calls;
}

void ClearSetupCalls() { DeleteFileA(kSetupLog.c_str()); }

void RegisterDriver(const std::string& description, const std::string& driverValue,
                    const std::string& setupValue) {
  const std::string key = kDriversKey + description;
  SetString(kMachine, key, "Driver", driverValue);
  SetString(kMachine, key, "Setup", setupValue);
}

}  // namespace wintest
