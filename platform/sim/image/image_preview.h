// An image without machine.ini: the registry export of a real machine. The system settings
// come from the registry as Windows itself keeps them:
//
//   system        HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion: the NT family, with
//                 "CurrentVersion" (4.0, 5.0, ...), "CurrentBuildNumber", "CSDVersion" and
//                 "SystemRoot"; without that key, HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion:
//                 Windows 95/98, with "VersionNumber" (4.10.2222) and "SystemRoot". The system
//                 directory is SystemRoot\System32 (NT) or SystemRoot\SYSTEM (95/98).
//   current user  the one user hive under HKEY_USERS (.DEFAULT, the service accounts S-1-5-18,
//                 -19 and -20 and the *_Classes hives are not users); with several, the one
//                 whose profile (ProfileList\<SID>\ProfileImagePath) ends in Winlogon's
//                 "DefaultUserName"; otherwise the image needs a machine.ini to say which.
//   temporary     the user's Environment TMP, else TEMP, else the machine's (Session Manager
//                 \Environment), with %SystemRoot%, %SystemDrive%, %WINDIR% and %USERPROFILE%
//                 expanded; else C:\TEMP (NT) or SystemRoot\TEMP (95/98).
//   control set   without HKLM\SYSTEM\CurrentControlSet (regedit writes it, but an export
//                 may hold only ControlSet001...), the set HKLM\SYSTEM\Select "Current" names
//   services      those whose Start is boot, system or automatic (0, 1, 2) run, as after a
//                 start of Windows; the others are stopped.
// The rest keeps the machine's defaults (QXErs.exe in C:\QXErs, Program Manager answering).
#pragma once

#include <string>

#include "platform/sim/sim_machine.h"

namespace qx::sim::image {

// Sets m's settings from its registry (already loaded); false with a message when the
// registry does not say enough.
bool DeriveSettings(SimMachine& m, std::string& error);

// Starts the services Windows starts by itself (after the directories exist).
void StartAutomaticServices(SimMachine& m);

}  // namespace qx::sim::image
