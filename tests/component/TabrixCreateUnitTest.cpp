#include "component/TabrixCreateUnit.h"

#include <gtest/gtest.h>

#include <climits>
#include <type_traits>

#include "platform/fakes/MemoryStore.h"
#include "platform/fakes/RecordingHost.h"
#include "platform/fakes/RecordingInstaller.h"
#include "platform/framework/FormFile.h"

using namespace TabrixCreateUnit;
using namespace std::string_literals;
using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;

namespace {

const char* kDrivers = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\Software\ODBC\ODBCINST.INI\Microsoft Excel Driver (*.xls)]
"Driver"="C:\\WINDOWS\\System32\\odbcjt32.dll"
)";
const std::string kExcel = "Microsoft Excel Driver (*.xls)";
const std::string kSources = "Software\\ODBC\\ODBC.INI";
const std::string kInitialOptions =
    "ImplicitCommitSync=\0ReadOnly=0\0FirstRowHasNames=1\0MaxScanRows=8\0SafeTransactions=0\0"
    "Threads=3\0UserCommitSync=No\0"s;

// Records each request, and defines the data source on an add, as a driver's setup would.
class DefiningInstaller : public platform::RecordingInstaller {
 public:
  explicit DefiningInstaller(platform::MemoryStore& store) : store_(store) {}
  platform::Status ConfigDataSource(platform::HWND parent, uint16_t request,
                                    const std::string& driver,
                                    const std::string& attributes) override {
    platform::Status ok = RecordingInstaller::ConfigDataSource(parent, request, driver, attributes);
    const std::string name = attributes.substr(4, attributes.find('\0') - 4);
    if (ok && (request == 1 || request == 4))
      store_.CreateKey(request == 1 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                       kSources + "\\" + name);
    return ok;
  }

 private:
  platform::MemoryStore& store_;
};

class Creator : public ::testing::Test {
 protected:
  Creator() { store.Import(kDrivers); }

  std::string AttributesFor(const std::string& name, const std::string& description,
                            const std::string& path, const std::string& dir, const std::string& uid,
                            const std::string& pwd, const std::string& options) {
    return "DSN=" + name + "\0Driver=C:\\WINDOWS\\System32\\odbcjt32.dll\0DBQ="s + path +
           "\0DefaultDir="s + dir + "\0Description="s + description + "\0FIL=Excel 8.0\0UID="s +
           uid + "\0PWD="s + pwd + '\0' + options + '\0';
  }

  platform::MemoryStore store;
  DefiningInstaller installer{store};
  platform::RecordingHost host;
  platform::ScopedKeyStore useStore{store};
  platform::ScopedInstaller useInstaller{installer};
  platform::ScopedHost useHost{host};
  TTabrixCreator creator{nullptr};
};

TEST(Enumerations, AreOneByteWithTheirMembersAtNamespaceScope) {
  static_assert(std::is_same_v<std::underlying_type_t<TDSNExecuteAction>, uint8_t>);
  static_assert(std::is_same_v<std::underlying_type_t<TDatabaseType>, uint8_t>);
  static_assert(std::is_same_v<std::underlying_type_t<TExcelVersion>, uint8_t>);
  static_assert(REMOVE_DEFAULT_DSN == 6 && DB_CLIPPER == 6 && Excel2000 == 5);
}

TEST(Translations, AnswerEveryMemberAndZeroOrTheLastForOtherValues) {
  for (int n = 0; n < 256; ++n) {
    EXPECT_EQ(GetDSNActionFromEnumType(static_cast<TDSNExecuteAction>(n)), n < 7 ? n + 1 : 0);
    EXPECT_EQ(GetDSNDatabaseFromEnumType(static_cast<TDatabaseType>(n)), n < 7 ? n + 1 : 0);
  }
  const char* versions[] = {"Excel 3.0;", "Excel 4.0;", "Excel 5.0;", "Excel 5.0;",
                            "Excel 8.0;", "Excel 8.0;", "Excel 8.0;"};
  for (int n = 0; n < 7; ++n)
    EXPECT_EQ(GetExcelVersion(static_cast<TExcelVersion>(n)), versions[n]) << n;
  EXPECT_EQ(GetExcelVersion(static_cast<TExcelVersion>(255)), "Excel 8.0;");
  EXPECT_EQ(GetIntegerFromBoolean(true), 1);
  EXPECT_EQ(GetIntegerFromBoolean(false), 0);
  EXPECT_EQ(GetYNStringFromBoolean(true), "Yes");
  EXPECT_EQ(GetYNStringFromBoolean(false), "No");
}

TEST(Properties, SetDefaultDirRemovesOneTrailingBackslashButTheInitialValueKeepsIt) {
  TTabrixCreator c(nullptr);
  EXPECT_EQ(c.GetDefaultDir(), "C:\\");  // assigned directly
  EXPECT_EQ(c.GetAbout(), nullptr);
  EXPECT_EQ(c.GetoptExcelVersion(), Excel2000);
  EXPECT_EQ(c.CreateAdvancedOptions(), kInitialOptions);
  for (auto [given, stored] : {std::pair{"C:\\", "C:"},
                               {"D:\\Data\\\\", "D:\\Data\\"},
                               {"", ""},
                               {"\\", ""},
                               {"/tmp/", "/tmp/"},
                               {"x", "x"}}) {
    c.SetDefaultDir(given);
    EXPECT_EQ(c.GetDefaultDir(), stored) << given;
  }
}

TEST(Properties, AreTheSixteenPublishedInDeclarationOrderAfterNameAndTag) {
  std::vector<std::string> names;
  for (const platform::TPropInfo* p : platform::GetPropList(TTabrixCreator::StaticClass()))
    names.push_back(p->Name);
  EXPECT_EQ(names,
            (std::vector<std::string>{
                "Name", "Tag", "About", "Action", "DSNNameOrAlias", "DSNUserDescription",
                "DatabasePath", "DefaultDir", "UserID", "Password", "MaxScanRows",
                "optExcelVersion", "optImplitCommitSync", "optDSNReadOnly", "optFirstRowHasNames",
                "optSafeTransactions", "optThreads", "optUserCommitSync"}));
}

TEST_F(Creator, ANewCreatorAddsTheSystemDataSourceByteForByte) {
  EXPECT_TRUE(creator.Execute());
  ASSERT_EQ(installer.calls.size(), 1u);
  const auto& call = installer.calls[0];
  EXPECT_EQ(call.parent, nullptr);
  EXPECT_EQ(call.request, 4);
  EXPECT_EQ(call.driver, kExcel);
  EXPECT_EQ(call.attributes,
            "DSN=NewTabrix\0Driver=C:\\WINDOWS\\System32\\odbcjt32.dll\0DBQ=\0DefaultDir=C:\\\0"
            "Description=New Tabrix Description\0FIL=Excel 8.0\0UID=admin\0PWD=\0"
            "ImplicitCommitSync=\0ReadOnly=0\0FirstRowHasNames=1\0MaxScanRows=8\0"
            "SafeTransactions=0\0Threads=3\0UserCommitSync=No\0\0"s);
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Creator, ASecondAddFindsTheDataSourceAndStaysSilent) {
  for (TDSNExecuteAction action : {ADD_SYS_DSN, ADD_DSN}) {
    installer.calls.clear();
    creator.SetAction(action);
    EXPECT_TRUE(creator.Execute());
    EXPECT_FALSE(creator.Execute());
    EXPECT_EQ(installer.calls.size(), 1u) << action;
    // Silent, yet the reason is there for whoever asks the installer-error text.
    EXPECT_EQ(platform::InstallerError(),
              std::string("the ") + (action == ADD_DSN ? "user" : "system") +
                  " data source \"NewTabrix\" exists already (" +
                  (action == ADD_DSN ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") + kSources +
                  "\\NewTabrix)");
  }
  EXPECT_TRUE(store.KeyExists(HKEY_CURRENT_USER, kSources + "\\NewTabrix"));
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Creator, EncodesEveryOption) {
  creator.SetoptImplitCommitSync("Yes");
  creator.SetoptDSNReadOnly(true);
  creator.SetoptFirstRowHasNames(false);
  creator.SetMaxScanRows(-1);
  creator.SetoptSafeTransactions(INT_MIN);
  creator.SetoptThreads(INT_MAX);
  creator.SetoptUserCommitSync(true);
  creator.SetoptExcelVersion(Excel3);  // takes no part
  const std::string options =
      "ImplicitCommitSync=Yes\0ReadOnly=1\0FirstRowHasNames=0\0MaxScanRows=-1\0"
      "SafeTransactions=-2147483648\0Threads=2147483647\0UserCommitSync=Yes\0"s;
  EXPECT_EQ(creator.CreateAdvancedOptions(), options);
  creator.SetoptImplitCommitSync("any text = kept");
  EXPECT_EQ(creator.CreateAdvancedOptions().substr(0, 35), "ImplicitCommitSync=any text = kept\0"s);
}

TEST_F(Creator, ConfiguresAndRemovesWithTheRequestOfTheAction) {
  creator.SetDSNNameOrAlias("Sales");
  creator.SetDSNUserDescription("Monthly");
  creator.SetDatabasePath("/data/sales.xls");
  creator.SetDefaultDir("/data");
  creator.SetUserID("");
  creator.SetPassword("secret");
  const std::string attributes =
      AttributesFor("Sales", "Monthly", "/data/sales.xls", "/data", "", "secret", kInitialOptions);
  struct Case {
    TDSNExecuteAction action;
    uint16_t request;
    std::string attributes;
  } cases[] = {{CONFIG_DSN, 2, attributes},
               {CONFIG_SYS_DSN, 5, attributes},
               {REMOVE_DSN, 3, "DSN=Sales\0\0"s},
               {REMOVE_SYS_DSN, 6, "DSN=Sales\0\0"s},
               {REMOVE_DEFAULT_DSN, 7, "DSN=Sales\0\0"s}};
  for (const Case& c : cases) {
    installer.calls.clear();
    creator.SetAction(c.action);
    EXPECT_TRUE(creator.Execute());  // no existence test: the installer decides
    ASSERT_EQ(installer.calls.size(), 1u);
    EXPECT_EQ(installer.calls[0].request, c.request);
    EXPECT_EQ(installer.calls[0].driver, kExcel);
    EXPECT_EQ(installer.calls[0].attributes, c.attributes);
  }
}

TEST_F(Creator, AnActionOutsideTheEnumerationDoesNothing) {
  creator.SetAction(static_cast<TDSNExecuteAction>(7));
  EXPECT_FALSE(creator.Execute());
  creator.SetAction(static_cast<TDSNExecuteAction>(255));
  EXPECT_FALSE(creator.Execute());
  EXPECT_EQ(platform::InstallerError(), "the action is not one of the known actions");
  EXPECT_TRUE(installer.calls.empty());
  EXPECT_EQ(store.OpenCount(), 0);
}

TEST_F(Creator, AnEmptyNameShowsTheErrorBoxAndCreatesNothing) {
  creator.SetDSNNameOrAlias("");
  EXPECT_FALSE(creator.Execute());
  EXPECT_TRUE(installer.calls.empty());
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0], (platform::TMessageBox{platform::mtError,
                                                  "Property 'DSNNameOrAlias' must not be blank",
                                                  {platform::mbOK},
                                                  0,
                                                  "Error"}));

  creator.SetDSNNameOrAlias(" ");  // blanks are a name
  EXPECT_TRUE(creator.VerifyParameters());
  EXPECT_EQ(host.boxes.size(), 1u);
}

TEST_F(Creator, AnEmptyNameIsFirstLookedUpAsTheDataSourcesKeyItself) {
  store.CreateKey(HKEY_LOCAL_MACHINE, kSources);
  creator.SetDSNNameOrAlias("");
  EXPECT_FALSE(creator.Execute());  // "found": false without a box
  EXPECT_TRUE(host.boxes.empty());
  creator.SetAction(ADD_DSN);  // not under the current user: the box
  EXPECT_FALSE(creator.Execute());
  EXPECT_EQ(host.boxes.size(), 1u);
  EXPECT_TRUE(installer.calls.empty());
}

TEST_F(Creator, OnTheConsoleTheEmptyNameGoesToStandardError) {
  platform::ScopedHost console(platform::ConsoleHost());
  creator.SetDSNNameOrAlias("");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(creator.Execute());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: Property 'DSNNameOrAlias' must not be blank\n");
}

TEST_F(Creator, AnInstallerRefusalIsFalseAndKeepsTheProperties) {
  installer.answer = false;
  creator.SetDatabasePath("/x.xls");
  EXPECT_FALSE(creator.Execute());
  EXPECT_EQ(installer.calls.size(), 1u);
  EXPECT_EQ(creator.GetDatabasePath(), "/x.xls");
  EXPECT_EQ(creator.GetDSNNameOrAlias(), "NewTabrix");
}

TEST_F(Creator, ARegistryErrorPropagatesBeforeTheInstaller) {
  store.SetDword(HKEY_LOCAL_MACHINE, "Software\\ODBC\\ODBCINST.INI\\" + kExcel, "Driver", 1);
  EXPECT_THROW(creator.Execute(), platform::ERegistryException);
  EXPECT_TRUE(installer.calls.empty());
}

TEST_F(Creator, ANulInTheFreeTextOptionCannotSmuggleInAPair) {
  creator.SetoptImplitCommitSync("Yes\0DBQ=/etc/passwd"s);
  EXPECT_FALSE(creator.Execute());
  creator.SetAction(CONFIG_SYS_DSN);
  EXPECT_FALSE(creator.Execute());
  EXPECT_TRUE(installer.calls.empty());
}

// Form files

const std::vector<const platform::TClassInfo*> kClasses = {&TTabrixCreator::StaticClass()};

class Form : public platform::TComponent {
 public:
  Form() : TComponent(nullptr) { SetName("Form1"); }
  static const platform::TClassInfo& StaticClass() {
    static const platform::TClassInfo info{.Name = "TForm1", .Parent = &TComponent::StaticClass()};
    return info;
  }
  const platform::TClassInfo& ClassType() const override { return StaticClass(); }
  TTabrixCreator* Creator(int32_t i = 0) const {
    return static_cast<TTabrixCreator*>(Components(i));
  }
};

// Stores the form and reads it into a new one.
std::unique_ptr<Form> Reload(const Form& form) {
  auto loaded = std::make_unique<Form>();
  platform::ReadComponent(platform::WriteComponent(form), *loaded, kClasses);
  return loaded;
}

TEST(FormFile, ANewCreatorIsStoredWithItsStringsAndLoadsWithDefaultDirCut) {
  Form form;
  (new TTabrixCreator(&form))->SetName("TabrixCreator1");
  EXPECT_EQ(platform::WriteComponent(form),
            "object Form1: TForm1\n"
            "  object TabrixCreator1: TTabrixCreator\n"
            "    DSNNameOrAlias = 'NewTabrix'\n"
            "    DSNUserDescription = 'New Tabrix Description'\n"
            "    DefaultDir = 'C:\\'\n"
            "    UserID = 'admin'\n"
            "  end\n"
            "end\n");
  auto loaded = Reload(form);
  ASSERT_EQ(loaded->ComponentCount(), 1);
  EXPECT_EQ(loaded->Creator()->GetDefaultDir(), "C:");
  EXPECT_EQ(loaded->Creator()->GetDSNNameOrAlias(), "NewTabrix");
}

TEST(FormFile, ADesignersValuesSurviveStoringAndReloading) {
  Form form;
  auto* c = new TTabrixCreator(&form);
  c->SetAction(ADD_DSN);
  c->SetoptExcelVersion(Excel5);
  c->SetoptUserCommitSync(true);
  c->SetDSNNameOrAlias("");  // blanks of strings that start non-empty
  c->SetDSNUserDescription("");
  c->SetDefaultDir("");
  c->SetUserID("");
  auto loaded = Reload(form);
  const TTabrixCreator& r = *loaded->Creator();
  EXPECT_EQ(r.GetAction(), ADD_DSN);
  EXPECT_EQ(r.GetoptExcelVersion(), Excel5);
  EXPECT_TRUE(r.GetoptUserCommitSync());
  EXPECT_EQ(r.GetDSNNameOrAlias(), "");
  EXPECT_EQ(r.GetDSNUserDescription(), "");
  EXPECT_EQ(r.GetDefaultDir(), "");
  EXPECT_EQ(r.GetUserID(), "");
}

TEST(FormFile, EveryPropertyRoundTrips) {
  std::string high;
  for (int b = 128; b < 256; ++b) high += static_cast<char>(b);
  Form form;
  for (int n = 0; n < 7; ++n) {  // every member of both enumerations
    auto* c = new TTabrixCreator(&form);
    c->SetName("C" + std::to_string(n));
    c->SetTag(-n);
    c->SetAction(static_cast<TDSNExecuteAction>(n));
    c->SetoptExcelVersion(static_cast<TExcelVersion>(n % 6));
    c->SetDSNNameOrAlias("It's \"" + std::to_string(n) + "\"");
    c->SetDSNUserDescription("line\r\nbreak\ttab\x01" + high);
    c->SetDatabasePath(std::string(200, 'p') + "'");
    c->SetDefaultDir("D:\\Dir" + std::to_string(n));
    c->SetUserID("u" + std::to_string(n));
    c->SetPassword("pw'#" + std::to_string(n));  // stored in plain text, as every string
    c->SetMaxScanRows(n % 2 ? INT_MIN : -1);
    c->SetoptImplitCommitSync(n % 2 ? "Yes" : "");
    c->SetoptDSNReadOnly(n % 2);
    c->SetoptFirstRowHasNames(n % 3);
    c->SetoptSafeTransactions(-n);
    c->SetoptThreads(n % 2 ? INT_MAX : 3);
    c->SetoptUserCommitSync(n % 2);
  }
  auto loaded = Reload(form);
  ASSERT_EQ(loaded->ComponentCount(), 7);
  // The writer writes every stored property, so equal texts mean equal values.
  EXPECT_EQ(platform::WriteComponent(*loaded), platform::WriteComponent(form));
  EXPECT_EQ(loaded->Creator(6)->GetAction(), REMOVE_DEFAULT_DSN);
  EXPECT_EQ(loaded->Creator(1)->GetPassword(), "pw'#1");
}

TEST(FormFile, AnUnknownPropertyNamesItsLineAndLeavesTheCreatorAsItWas) {
  auto readError = [](std::string_view text, platform::TComponent& root) -> std::string {
    try {
      platform::ReadComponent(text, root, kClasses);
    } catch (const platform::EReadError& e) {
      return e.what();
    }
    return "";
  };
  TTabrixCreator c(nullptr);
  c.SetName("TabrixCreator1");
  const std::string before = platform::WriteComponent(c);
  EXPECT_EQ(readError("object TabrixCreator1: TTabrixCreator\n"
                      "  Action = ADD_DSN\n"
                      "  DefaultDir = 'E:\\'\n"
                      "  optImplicitCommitSync = 'Yes'\n"
                      "end\n",
                      c),
            "line 4: unknown property optImplicitCommitSync of TTabrixCreator");
  EXPECT_EQ(c.GetAction(), ADD_SYS_DSN);
  EXPECT_EQ(c.GetDefaultDir(), "C:\\");
  EXPECT_EQ(platform::WriteComponent(c), before);

  Form form;
  EXPECT_EQ(readError("object Form1: TForm1\n"
                      "  object TabrixCreator1: TTabrixCreator\n"
                      "    Tag = 1\n"
                      "    Threads = 4\n"
                      "  end\n"
                      "end\n",
                      form),
            "line 4: unknown property Threads of TTabrixCreator");
  EXPECT_EQ(form.ComponentCount(), 0);
}

}  // namespace
