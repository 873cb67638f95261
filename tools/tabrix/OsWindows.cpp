#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/WindowsApi.h"
#include "platform/Failure.h"
#include "tools/tabrix/Os.h"

namespace tabrix::cli::os {

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
                             platform::SystemMessage(static_cast<int>(GetLastError())));
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
                             platform::SystemMessage(static_cast<int>(GetLastError())));
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size() && FlushFileBuffers(file);
  const DWORD code = GetLastError();
  CloseHandle(file);
  if (!ok) {
    DeleteFileA(temp.c_str());
    throw std::runtime_error("cannot write " + temp + ": " + platform::SystemMessage(static_cast<int>(code)));
  }
  if (!MoveFileExA(temp.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD moved = GetLastError();
    DeleteFileA(temp.c_str());
    throw std::runtime_error("cannot replace " + path + ": " + platform::SystemMessage(static_cast<int>(moved)));
  }
}

void WriteStandardOutput(const std::string& bytes) {
  std::cout.flush();
  _setmode(_fileno(stdout), _O_BINARY);  // a registry file's CRLF and UTF-16 as they are
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

}  // namespace tabrix::cli::os
