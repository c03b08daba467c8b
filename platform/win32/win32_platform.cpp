#include "platform/win32/win32_platform.h"

namespace qx::win32 {

RealPlatform::RealPlatform()
    : platform_{registry_, files_, profile_, system_, services_, spooler_,
                windows_,  dde_,   modules_, shutdown_, webadmin_} {}

}  // namespace qx::win32
