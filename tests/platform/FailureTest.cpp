// The platform's one way of saying what failed, on Posix: errno in words, and a Result.
#include "platform/Failure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

TEST(Failure, ASystemFailureIsWhatWasDoneThenTheSystemsWordsForTheCode) {
  const std::string words = platform::SystemMessage(EACCES);
  ASSERT_FALSE(words.empty());
  // Words fit to go on after "what: ", as every reason is put together.
  for (char end : {'.', '\n', '\r', ' '}) EXPECT_NE(words.back(), end) << words;
  const platform::Failure failure = platform::SystemFailure(EACCES, "cannot open /x");
  EXPECT_EQ(failure.code, EACCES);
  EXPECT_EQ(failure.reason, "cannot open /x: " + words);
  EXPECT_EQ(platform::Refused("no").code, 0);
  errno = ENOENT;
  EXPECT_EQ(platform::LastSystemFailure("reading").reason,
            "reading: " + platform::SystemMessage(ENOENT));
}

TEST(Failure, AResultHoldsTheValueOrTheFailureNeverBoth) {
  platform::Result<std::string> value(std::string("v"));
  ASSERT_TRUE(value.ok());
  EXPECT_EQ(*value, "v");
  EXPECT_EQ(value.reason(), "");
  platform::Result<std::string> refused(platform::Refused("why"));
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.reason(), "why");
  const platform::Status done;
  EXPECT_TRUE(done.ok());
  EXPECT_EQ(done.reason(), "");
  const platform::Status failed = platform::SystemFailure(ENOSPC, "writing");
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.failure().code, ENOSPC);
  EXPECT_EQ(failed.reason(), "writing: " + platform::SystemMessage(ENOSPC));
}

}  // namespace
