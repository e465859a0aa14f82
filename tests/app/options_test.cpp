// The whole option table as the parser knows it, search parameters and
// hidden options included, although the help shows only five groups: every
// name, value type, default and description exactly as in options.txt.
#include <gtest/gtest.h>

#include <sstream>

#include "app/Options.hpp"
#include "support/run.hpp"

TEST(OptionTable, EveryNameAndDescriptionIsExact) {
  std::ostringstream os;
  os << quelt::parsingOptions();
  EXPECT_EQ(os.str(), quelt_test::readFile(QUELT_SOURCE_DIR "/tests/app/options.txt"));
}
