// The seam every platform service stands behind, over a service of the test's own.
#include "platform/Seam.h"

#include <gtest/gtest.h>

namespace {

struct Service {
  virtual ~Service() = default;
};

Service& DefaultService() {
  static Service service;
  return service;
}

using ServiceSeam = platform::Seam<Service, DefaultService>;

}  // namespace

template <>
Service* ServiceSeam::override_ = nullptr;

namespace {

TEST(Seam, ScopesNestEachPuttingBackWhatItFoundAndNullMeansTheDefault) {
  Service outer, inner;
  EXPECT_EQ(&ServiceSeam::Current(), &DefaultService());
  {
    ServiceSeam::Scoped useOuter(outer);
    EXPECT_EQ(&ServiceSeam::Current(), &outer);
    {
      ServiceSeam::Scoped useInner(inner);
      EXPECT_EQ(&ServiceSeam::Current(), &inner);
      {
        ServiceSeam::Scoped useDefault(nullptr);
        EXPECT_EQ(&ServiceSeam::Current(), &DefaultService());
      }
      EXPECT_EQ(&ServiceSeam::Current(), &inner);
    }
    EXPECT_EQ(&ServiceSeam::Current(), &outer);
  }
  EXPECT_EQ(&ServiceSeam::Current(), &DefaultService());
}

}  // namespace
