// The class and interface identifiers the web-folder removal asks COM for are Windows' own.
#include "platform/webadmin.h"

namespace {
// Taken before <iadmw.h> makes some of these names macros.
const qx::GUID kAdminBaseClass = qx::CLSID_MSAdminBase;
const qx::GUID kAdminBaseInterface = qx::IID_IMSAdminBase;
const qx::GUID kWamAdminClass = qx::CLSID_WamAdmin;
const qx::GUID kWamAdminInterface = qx::IID_IWamAdmin;
const qx::GUID kADsInterface = qx::IID_IADs;
}  // namespace

#include <windows.h>
// The metabase headers define their identifiers here rather than in a library.
#include <initguid.h>
#include <iadmw.h>
#include <iads.h>
#include <iwamreg.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool Same(const qx::GUID& ours, const ::GUID& theirs) {
  return ours.Data1 == theirs.Data1 && ours.Data2 == theirs.Data2 && ours.Data3 == theirs.Data3 &&
         std::memcmp(ours.Data4, theirs.Data4, sizeof theirs.Data4) == 0;
}

TEST(ComIdentifiers, MatchTheSystemHeaders) {
  EXPECT_TRUE(Same(kAdminBaseClass, CLSID_MSAdminBase_W));
  EXPECT_TRUE(Same(kAdminBaseInterface, IID_IMSAdminBase_W));
  EXPECT_TRUE(Same(kWamAdminClass, CLSID_WamAdmin));
  EXPECT_TRUE(Same(kWamAdminInterface, IID_IWamAdmin));
  EXPECT_TRUE(Same(kADsInterface, IID_IADs));
  EXPECT_FALSE(Same(kADsInterface, IID_IWamAdmin)) << "the comparison tells identifiers apart";
}

}  // namespace
