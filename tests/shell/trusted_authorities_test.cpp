// The extra trusted authorities' setting: which file it names.
#include "shell/trusted_authorities.h"

#include <gtest/gtest.h>

#include "util/temp_folder.h"

namespace vellumark {
namespace {

TEST(TrustedCASetting, RelativeNamesAreTakenFromTheProgramFolder) {
  testing::TempFolder dir;
  TPIniFile settings(dir.path() + "vellumark.ini");
  EXPECT_EQ(TrustedCAFileSetting(settings, dir.path()), "");
  settings.WriteString("Options", "TrustedCA", "ca.pem");
  EXPECT_EQ(TrustedCAFileSetting(settings, dir.path()), dir.path() + "ca.pem");
  settings.WriteString("Options", "TrustedCA", "/srv/ca.pem");
  EXPECT_EQ(TrustedCAFileSetting(settings, dir.path()), "/srv/ca.pem");
}

}  // namespace
}  // namespace vellumark
