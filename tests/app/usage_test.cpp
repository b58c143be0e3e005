#include "app/usage.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool Asks(std::vector<const char*> args) {
  args.insert(args.begin(), "kvnvb_DazEvo");
  return kvn::AsksForUsage(static_cast<int>(args.size()), args.data());
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
