/* A program that imports what Windows NT 4.0 and 95 lack: check-imports.sh must refuse it. */
#include <windows.h>

int main(void) {
  CONDITION_VARIABLE ready;
  InitializeConditionVariable(&ready);
  return (int)(GetTickCount64() & 1);
}
