// What the fuzz targets share: a small simulated Windows NT 4.0 machine in Windows' own
// layout with the product family installed, the places of it that Windows itself owns, and
// the checks the targets make against it.
//
// The checks are written here, apart from the engine, so that they do not repeat its
// reasoning: a path is split and compared by the rules of code page 932 and of Windows.
// The checks of Windows' own keys, folders, files and WININIT.INI can be turned off with
// QX_FUZZ_ORACLE=0 in the environment (README.md, "Fuzzing").
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::fuzz {

// The current user's hive below HKEY_USERS, as the machine's settings name it.
inline constexpr const char* kUserSid = "S-1-5-21-1000";

// Windows' registry of a Japanese NT 4.0 print server with the family installed: the roots'
// own subkeys, the uninstall entries, Run, Windows NT\CurrentVersion, the services and the
// print spooler's keys, HKEY_USERS\.DEFAULT and the user's hive, HKEY_CLASSES_ROOT\CLSID,
// and SOFTWARE\ZOV\Qorvex with its printers and migration records.
void AddWindowsRegistry(sim::SimMachine& m);

// Windows' directories and a file in each, the program's folder, and the family's files.
void AddWindowsFiles(sim::SimMachine& m);

// Windows' own container keys, full paths: no entry of a configuration may take them.
const std::vector<std::string>& ProtectedKeys();
// Windows' own folders and files (drive root, Windows and system directories and a file in
// each, Program Files, the profiles folder, the temporary directory).
const std::vector<std::string>& ProtectedFiles();

// Whether the checks of Windows' own places are on (unless QX_FUZZ_ORACLE=0).
bool StrictOracle();

// Reports a broken rule with the input that broke it, then aborts, so that libFuzzer keeps
// the input as a crash and a replay fails.
[[noreturn]] void Violation(const char* target, const std::string& rule, std::string_view input);

// Text as a one-line C string literal, for messages.
std::string Shown(std::string_view text);

// Folds single-byte a-z to upper case and leaves double-byte characters of code page 932 as
// they are (their second byte may be an ASCII letter).
std::string FoldName(std::string_view text);
// The path's pieces between single-byte backslashes, never inside a double-byte character;
// empty pieces dropped.
std::vector<std::string> PathPieces(std::string_view path);
// Whether path is base or lies below it, piece by piece without regard to ASCII case.
bool IsAtOrBelow(std::string_view path, std::string_view base);

// Every key of the machine with its values, keyed by the folded path.
struct KeyState {
  std::string path;  // as the machine spells it
  std::vector<sim::RegValue> values;
};
using RegistrySnapshot = std::map<std::string, KeyState>;
RegistrySnapshot Snapshot(const sim::SimMachine& m);

}  // namespace qx::fuzz
