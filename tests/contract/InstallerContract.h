// What every ODBC installer does with a request: one typed suite, instantiated once per
// backend with a fixture that gives it a driver it knows and tells what its requests left.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/odbcinst/Installer.h"

namespace contract {

// One backend under the contract: the installer, what its requests leave, and where it
// legitimately differs.
class InstallerBackend {
 public:
  virtual ~InstallerBackend() = default;
  virtual platform::Installer& Subject() = 0;
  // Everything the installer's requests have left, to tell whether one changed anything.
  virtual std::string State() = 0;
  // Makes the installer refuse every request from now on for a reason of its own, or no longer.
  virtual void ArrangeRefusal(bool refuse) = 0;

  // A driver the installer knows.
  std::string driver = "Contract Driver";
  // A refused request leaves no trace (a double that keeps every request it receives does).
  bool refusalsLeaveNoTrace = true;
  // The plan foretells the outcome of every request it accepts. Where a driver's setup library
  // decides the request, the plan can only say so: the library may still refuse (a configure
  // of a data source it does not find), though never without a reason.
  bool plansForetellSetupDecisions = true;
  // Request 7 removes the default data source. Wine's installer does not carry it out, and
  // says only that it refused: there the contract checks that the refusal is told.
  bool carriesOutDefaultRemoval = true;
};

struct Request {
  uint16_t code;
  std::string attributes;
};

// Each request code once, in an order in which each one finds what it needs: an add before
// its configure and remove, the default data source before request 7 removes it.
inline std::vector<Request> EveryRequest() {
  using namespace std::string_literals;
  return {{platform::ODBC_ADD_DSN, "DSN=Contract Sales\0Description=first\0\0"s},
          {platform::ODBC_CONFIG_DSN, "DSN=Contract Sales\0Description=second\0\0"s},
          {platform::ODBC_REMOVE_DSN, "DSN=Contract Sales\0\0"s},
          {platform::ODBC_ADD_SYS_DSN, "DSN=Contract Shared\0Description=first\0\0"s},
          {platform::ODBC_CONFIG_SYS_DSN, "DSN=Contract Shared\0Description=second\0\0"s},
          {platform::ODBC_REMOVE_SYS_DSN, "DSN=Contract Shared\0\0"s},
          {platform::ODBC_ADD_DSN, "DSN=Default\0Description=the default\0\0"s},
          {platform::ODBC_REMOVE_DEFAULT_DSN, "\0"s}};
}

template <typename Backend>
class InstallerContract : public ::testing::Test {
 protected:
  Backend backend;
  platform::Installer& installer = backend.Subject();

  // What the last Config came to.
  platform::Status last;

  bool Config(uint16_t code, const std::string& attributes) {
    last = installer.ConfigDataSource(nullptr, code, backend.driver, attributes);
    return last.ok();
  }

  // Carries out the request after planning it: it comes to what the plan said, with the same
  // reason; or, where the setup library decided, to a success or a refusal that says why.
  void ExpectForetold(const Request& request) {
    const platform::InstallPlan plan =
        installer.Plan(request.code, backend.driver, request.attributes);
    const bool done = Config(request.code, request.attributes);
    if (plan.accepted && !backend.plansForetellSetupDecisions) {
      if (!done) {
        EXPECT_NE(last.reason(), "");
      }
      return;
    }
    EXPECT_EQ(done, plan.accepted);
    EXPECT_EQ(last.reason(), plan.reason);
  }
};

TYPED_TEST_SUITE_P(InstallerContract);

TYPED_TEST_P(InstallerContract, EveryRequestCodeIsPlannedThenCarriedOut) {
  auto& backend = this->backend;
  for (const Request& request : EveryRequest()) {
    SCOPED_TRACE("request " + std::to_string(request.code));
    const std::string before = backend.State();
    const platform::InstallPlan plan =
        this->installer.Plan(request.code, backend.driver, request.attributes);
    EXPECT_TRUE(plan.accepted) << plan.reason;
    EXPECT_EQ(plan.reason, "");
    EXPECT_NE(plan.target, "");
    EXPECT_EQ(backend.State(), before);  // a plan changes nothing
    if (request.code == platform::ODBC_REMOVE_DEFAULT_DSN && !backend.carriesOutDefaultRemoval) {
      EXPECT_FALSE(this->Config(request.code, request.attributes));
      EXPECT_NE(this->last.reason(), "");
      EXPECT_EQ(backend.State(), before);
      continue;
    }
    EXPECT_TRUE(this->Config(request.code, request.attributes)) << this->last.reason();
    EXPECT_EQ(this->last.reason(), "");
    EXPECT_NE(backend.State(), before);
  }
}

TYPED_TEST_P(InstallerContract, ARefusalKeepsTheReasonThePlanForetold) {
  using namespace std::string_literals;
  auto& backend = this->backend;
  const std::string attributes = "DSN=Contract Sales\0\0"s;
  backend.ArrangeRefusal(true);
  for (uint16_t code : {platform::ODBC_ADD_DSN, platform::ODBC_ADD_SYS_DSN}) {
    SCOPED_TRACE("request " + std::to_string(code));
    const std::string before = backend.State();
    const platform::InstallPlan plan = this->installer.Plan(code, backend.driver, attributes);
    EXPECT_FALSE(plan.accepted);
    EXPECT_NE(plan.reason, "");
    EXPECT_EQ(backend.State(), before);
    EXPECT_FALSE(this->Config(code, attributes));
    EXPECT_EQ(this->last.reason(), plan.reason);
    if (backend.refusalsLeaveNoTrace) {
      EXPECT_EQ(backend.State(), before);
    }
  }
  backend.ArrangeRefusal(false);
  EXPECT_TRUE(this->Config(platform::ODBC_ADD_DSN, attributes)) << this->last.reason();
  EXPECT_EQ(this->last.reason(), "");  // a success forgets the last refusal
}

TYPED_TEST_P(InstallerContract, InvalidRequestCodesAreRefused) {
  using namespace std::string_literals;
  auto& backend = this->backend;
  const std::string attributes = "DSN=Contract Sales\0\0"s;
  for (uint16_t code : {uint16_t{0}, uint16_t{8}, uint16_t{0xFFFF}}) {
    SCOPED_TRACE("request " + std::to_string(code));
    const std::string before = backend.State();
    const platform::InstallPlan plan = this->installer.Plan(code, backend.driver, attributes);
    EXPECT_FALSE(plan.accepted);
    EXPECT_FALSE(this->Config(code, attributes));
    EXPECT_EQ(this->last.reason(), plan.reason);
    EXPECT_NE(plan.reason, "");
    if (backend.refusalsLeaveNoTrace) {
      EXPECT_EQ(backend.State(), before);
    }
  }
}

// Whatever the installer makes of a request, its plan said so first, with the same reason.
TYPED_TEST_P(InstallerContract, ThePlanForetellsTheOutcome) {
  using namespace std::string_literals;
  // Before any data source exists, where they would be kept may not exist either.
  for (const Request& request :
       {Request{platform::ODBC_CONFIG_DSN, "DSN=Contract Missing\0\0"s},
        Request{platform::ODBC_REMOVE_SYS_DSN, "DSN=Contract Missing\0\0"s}}) {
    SCOPED_TRACE("request " + std::to_string(request.code));
    this->ExpectForetold(request);
  }
  const std::vector<Request> requests{
      {platform::ODBC_ADD_DSN, "DSN=Contract Sales\0no equals sign\0\0"s},
      {platform::ODBC_ADD_DSN, "DSN=Contract [Sales]\0\0"s},
      {platform::ODBC_ADD_SYS_DSN, "DSN=Contract Sales\0DBQ=two\nlines\0\0"s},
      {platform::ODBC_ADD_DSN, "DSN=Contract Sales\0DBQ=/data/Sales.xls\0\0"s},
      {platform::ODBC_CONFIG_DSN, "DSN=contract sales\0Threads=3\0\0"s},
      {platform::ODBC_CONFIG_DSN, "DSN=Contract Missing\0Threads=3\0\0"s},
      {platform::ODBC_REMOVE_DSN, "DSN=Contract Missing\0\0"s},
  };
  for (const Request& request : requests) {
    SCOPED_TRACE("request " + std::to_string(request.code));
    this->ExpectForetold(request);
  }
}

REGISTER_TYPED_TEST_SUITE_P(InstallerContract, EveryRequestCodeIsPlannedThenCarriedOut,
                            ARefusalKeepsTheReasonThePlanForetold, InvalidRequestCodesAreRefused,
                            ThePlanForetellsTheOutcome);

}  // namespace contract
