#include "app/ui/single_instance.h"

namespace qx {

bool ClaimSingleInstance(System& system, HANDLE& event) {
  event = system.CreateEventA(FALSE, FALSE, kInstanceEventName);
  if (system.GetLastError() != ERROR_ALREADY_EXISTS) return true;
  if (event) system.CloseHandle(event);
  event = nullptr;
  return false;
}

}  // namespace qx
