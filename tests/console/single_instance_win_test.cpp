#include <gtest/gtest.h>

#include <memory>

#include "single_instance.h"

namespace {

TEST(SingleInstance, OneHolderPerUserAndSessionFreeAgainOnceItEnds) {
  const std::string name = SingleInstance::DefaultLockPath();
  EXPECT_EQ(name.rfind("Local\\rfid-console-S-1-", 0), 0u) << name;
  auto first = std::make_unique<SingleInstance>();
  ASSERT_TRUE(first->Acquire());
  EXPECT_TRUE(first->Acquire());  // asking again keeps it
  SingleInstance second;
  EXPECT_FALSE(second.Acquire());
  first.reset();
  SingleInstance third;
  EXPECT_TRUE(third.Acquire());
}

}  // namespace
