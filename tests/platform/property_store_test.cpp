#include "platform/property_store.h"

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "tests/support/test_data.h"

namespace rariduze {
namespace {

TEST(PropertyStore, KeysMatchWithoutRegardToCaseAndDefaultsAreNotStored) {
  PropertyStore store;
  store.Write("ProxyPort", std::int64_t{8080}, std::int64_t{8080});
  EXPECT_FALSE(store.Contains("proxyport"));
  EXPECT_EQ(ToInt16(store.Read("PROXYPORT", std::int64_t{8080})), 8080);

  store.Write("ProxyPort", std::int64_t{3128}, std::int64_t{8080});
  EXPECT_TRUE(store.Contains("proxyport"));
  EXPECT_EQ(ToInt16(store.Read("proxyPort", std::int64_t{8080})), 3128);

  // Writing the default again takes the stored value away.
  store.Write("PROXYPORT", 8080.0, std::int64_t{8080});
  EXPECT_EQ(store.size(), 0u);
}

TEST(PropertyConversions, FailWithOverflowOrTypeMismatch) {
  EXPECT_EQ(testing::FailureNumberOf([] { ToInt16(std::int64_t{40000}); }), kFailureOverflow);
  EXPECT_EQ(testing::FailureNumberOf([] { ToInt16(std::string("abc")); }), kFailureTypeMismatch);
  EXPECT_EQ(testing::FailureNumberOf([] { ToInt32(1e12); }), kFailureOverflow);
  EXPECT_EQ(ToInt16(std::string(" 8080 ")), 8080);
  EXPECT_EQ(ToInt16(2.5), 2);  // halves go to even
  EXPECT_EQ(ToText(std::int64_t{80}), "80");
  EXPECT_EQ(ToText(std::monostate{}), "");
  EXPECT_TRUE(ToBool(std::string("True")));
}

}  // namespace
}  // namespace rariduze
