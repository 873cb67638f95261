// The demo: data sources for a sample workbook, made through the library and through a
// TTabrixCreator read from a form file, and read back with unixODBC's own odbcinst.
// scripts/demo points unixODBC at a private folder first.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "component/TabrixCreateUnit.h"
#include "library/TabrixCodeUnit.h"
#include "platform/framework/FormFile.h"
#include "platform/odbcinst/DataSources.h"
#include "platform/odbcinst/Installer.h"
#include "tools/tabrix/Passwords.h"

namespace {

using namespace TabrixCodeUnit;

int failures = 0;

void Step(const std::string& what, bool ok) {
  std::printf("%-58s %s\n", what.c_str(), ok ? "ok" : "FAILED");
  if (!ok) {
    ++failures;
    std::string reason = platform::InstallerError();
    if (!reason.empty()) std::printf("    %s\n", reason.c_str());
  }
}

// Runs a program found on PATH with exactly these arguments, no shell between: a data source
// name read from a form file may hold any character. Returns its exit status, or 128 plus the
// signal that ended it, or 127 when it could not be started. With `output`, its standard
// output is collected there instead of going to ours.
int Run(const std::vector<std::string>& args, std::string* output = nullptr) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  int pipeEnds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output) {
    if (pipe(pipeEnds) != 0) {
      std::fprintf(stderr, "tabrix-demo: cannot run %s: %s\n", args[0].c_str(),
                   std::strerror(errno));
      posix_spawn_file_actions_destroy(&actions);
      return 127;
    }
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
  }
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (output) {
    close(pipeEnds[1]);
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) != 0) {
      if (got > 0)
        output->append(buffer, static_cast<size_t>(got));
      else if (errno != EINTR)
        break;
    }
    close(pipeEnds[0]);
  }
  if (error != 0) {
    std::fprintf(stderr, "tabrix-demo: cannot run %s: %s\n", args[0].c_str(), std::strerror(error));
    return 127;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return 127;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 127;
}

void Show(const std::string& name) {
  std::printf("\n$ odbcinst -q -s -n %s\n", name.c_str());
  std::fflush(stdout);
  if (Run({"odbcinst", "-q", "-s", "-n", name}) != 0) ++failures;
}

// A "KEY=value" pair as people may see it: a password's value masked.
std::string Masked(const std::string& pair) {
  const size_t equals = pair.find('=');
  if (equals == std::string::npos) return pair;
  return tabrix::cli::MaskedPair(pair.substr(0, equals), pair.substr(equals + 1));
}

// Each line that gives a password a value shows it masked.
std::string MaskPasswords(const std::string& text) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find('\n', at), text.size());
    out += Masked(text.substr(at, end - at));
    if (end < text.size()) out += '\n';
    at = end + 1;
  }
  return out;
}

// Keeps the attribute list of each request, then hands the request to the real installer.
class ShowingInstaller : public platform::Installer {
 public:
  platform::InstallPlan Plan(uint16_t request, const std::string& driver,
                             const std::string& attributes) override {
    return platform::DefaultInstaller().Plan(request, driver, attributes);
  }
  platform::Status ConfigDataSource(platform::HWND parent, uint16_t request,
                                    const std::string& driver,
                                    const std::string& attributes) override {
    sent = attributes;
    return platform::DefaultInstaller().ConfigDataSource(parent, request, driver, attributes);
  }

  std::string sent;
};

// The list pair by pair, each NUL shown as \0, other control bytes as \xNN, the password masked.
void PrintAttributes(const std::string& list) {
  size_t at = 0;
  while (at < list.size()) {
    const size_t end = std::min(list.find('\0', at), list.size());
    const std::string pair = Masked(list.substr(at, end - at));
    std::string shown = "  ";
    for (unsigned char c : pair) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      shown += c < 0x20 || c == 0x7f ? std::string(hex) : std::string(1, static_cast<char>(c));
    }
    std::printf("%s%s\n", shown.c_str(), end < list.size() ? "\\0" : "");
    at = end + 1;
  }
}

class TDemoForm : public platform::TComponent {
 public:
  TDemoForm() : TComponent(nullptr) {}
  static const platform::TClassInfo& StaticClass() {
    static const platform::TClassInfo info{.Name = "TDemoForm",
                                           .Parent = &TComponent::StaticClass()};
    return info;
  }
  const platform::TClassInfo& ClassType() const override { return StaticClass(); }
};

// The form's creator, with the workbook filled in at run time, executed; then what it sent.
void CreateFromForm(const std::string& formFile, const std::string& workbook,
                    const std::string& folder) {
  std::ifstream in(formFile, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  TDemoForm form;
  try {
    platform::ReadComponent(text.str(), form, {&TabrixCreateUnit::TTabrixCreator::StaticClass()});
  } catch (const platform::EReadError& e) {
    Step(formFile + ": " + e.what(), false);
    return;
  }
  auto* creator =
      dynamic_cast<TabrixCreateUnit::TTabrixCreator*>(form.FindComponent("SalesCreator"));
  Step("Read SalesCreator from " + formFile.substr(formFile.rfind('/') + 1), creator != nullptr);
  if (!creator) return;
  creator->SetDatabasePath(workbook);
  creator->SetDefaultDir(folder);

  ShowingInstaller installer;
  {
    platform::ScopedInstaller use(installer);
    Step("SalesCreator->Execute: user data source " + creator->GetDSNNameOrAlias(),
         creator->Execute());
  }
  std::printf("Attribute list sent to the installer:\n");
  PrintAttributes(installer.sent);
  // Read back as the others, with the stored password masked as well.
  const std::string name = creator->GetDSNNameOrAlias();
  std::printf("\n$ odbcinst -q -s -n %s | mask the password\n", name.c_str());
  std::fflush(stdout);
  std::string shown;
  if (Run({"odbcinst", "-q", "-s", "-n", name}, &shown) != 0) ++failures;
  std::fputs(MaskPasswords(shown).c_str(), stdout);
  std::printf("\n");
}

}  // namespace

namespace {

int Demo(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s WORKBOOK WORKGROUP-FILE FORM-FILE\n", argv[0]);
    return 2;
  }
  const std::string workbook = argv[1];
  const std::string workgroup = argv[2];
  const std::string formFile = argv[3];
  const std::string folder = workbook.substr(0, workbook.rfind('/'));
  using namespace std::string_literals;
  const std::string options = "ReadOnly=0\0FirstRowHasNames=1\0MaxScanRows=8\0"s;

  std::string fileType;
  const std::string excel = GetDSNTypeString(2, fileType);
  std::printf("Excel driver: \"%s\" (file type %s), installed at %s\n\n", excel.c_str(),
              fileType.c_str(), GetODBCInfo(excel).Driver.str().c_str());

  Step("CreateDSN user data source TabrixSales",
       CreateDSN(1, 2, "TabrixSales", "Monthly sales", workbook, folder, "admin", "", options));
  Step("CreateDSN system data source TabrixShared",
       CreateDSN(4, 2, "TabrixShared", "Shared sales", workbook, folder, "admin", "", options));
  Step("CreateDSN user Access data source TabrixBooks",
       CreateDSN(1, 1, "TabrixBooks", "Bookkeeping", folder + "/Books.mdb", folder, "admin", "",
                 ""));
  Show("TabrixSales");
  Show("TabrixShared");
  std::printf("\n");

  Step("FindDSN TabrixSales among user data sources", FindDSN("TabrixSales", 1));
  Step("FindDSN TabrixShared among system data sources", FindDSN("TabrixShared", 4));
  Step("FindDSN TabrixShared is not a user data source", !FindDSN("TabrixShared", 1));

  Step("RegisterMDW TabrixBooks -> " + workgroup, RegisterMDW("TabrixBooks", workgroup));
  Show("TabrixBooks");
  std::printf("\n");

  CreateFromForm(formFile, workbook, folder);

  std::printf("%s\n", failures ? "demo FAILED" : "demo finished: all steps ok");
  return failures ? 1 : 0;
}

}  // namespace

// Whatever escapes the demo is told, never an abort.
int main(int argc, char** argv) {
  try {
    return Demo(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo FAILED: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "demo FAILED: an unexpected failure\n");
  }
  return 1;
}
