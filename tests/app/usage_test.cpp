#include "app/usage.h"

#include <gtest/gtest.h>

#include "app/metrics_service.h"

#include <vector>

namespace {

bool Asks(std::vector<const char*> args) {
  args.insert(args.begin(), "kvnvb_DazEvo");
  return kvn::AsksForUsage(static_cast<int>(args.size()), args.data());
}

// A build without the metrics endpoint refuses every /M, well formed or not,
// and nothing else; one with the endpoint refuses none.
TEST(Usage, MetricsAreRefusedOnlyByABuildWithoutThem) {
  using kvn::MetricsService;
  for (const char* asks : {"/M", "/m=127.0.0.1:9731", "/L /M=[::1]:1", "/M=nonsense"})
    EXPECT_EQ(MetricsService::Refusal(asks).has_value(), !KVN_WITH_METRICS) << asks;
  for (const char* other : {"", "/L", "/LM", "/L/Q"})
    EXPECT_FALSE(MetricsService::Refusal(other).has_value()) << other;
}

TEST(Usage, AskedForByAWholeArgumentAnywhere) {
  EXPECT_TRUE(Asks({"/?"}));
  EXPECT_TRUE(Asks({"-h"}));
  EXPECT_TRUE(Asks({"--help"}));
  EXPECT_TRUE(Asks({"/L", "/M", "--help"}));

  EXPECT_FALSE(Asks({}));
  EXPECT_FALSE(Asks({"/L"}));
  EXPECT_FALSE(Asks({"/M=127.0.0.1:9731"}));
  // Parts of an argument, and look-alikes, are the command line's as before.
  EXPECT_FALSE(Asks({"/?x"}));
  EXPECT_FALSE(Asks({"/L/?"}));
  EXPECT_FALSE(Asks({"--helpful"}));
  EXPECT_FALSE(Asks({"-H"}));
  EXPECT_FALSE(Asks({""}));
}

TEST(Usage, TheProgramsNameIsNoArgument) {
  const char* argv[] = {"--help", nullptr};
  EXPECT_FALSE(kvn::AsksForUsage(1, argv));
}

}  // namespace
