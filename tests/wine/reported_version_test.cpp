// The program sees the Windows version the Wine prefix was set to report for it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/win32/win32_platform.h"

namespace {

TEST(ReportedVersion, IsTheOneTheRunAskedFor) {
  const char* expected = std::getenv("QX_EXPECTED_WINDOWS_VERSION");  // "4.0", "5.0", ...
  if (!expected) GTEST_SKIP() << "no version asked for";
  qx::win32::RealPlatform real;
  qx::OSVERSIONINFOA info;
  ASSERT_TRUE(real.platform().system.GetVersionExA(info));
  EXPECT_EQ(info.dwPlatformId, qx::VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion), expected);
}

TEST(ReportedVersion, ARecordOfAnotherSizeIsRefused) {
  qx::win32::RealPlatform real;
  qx::OSVERSIONINFOA info;
  info.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(real.platform().system.GetVersionExA(info));
  info.dwOSVersionInfoSize = 156;  // the extended record
  EXPECT_TRUE(real.platform().system.GetVersionExA(info));
}

}  // namespace
