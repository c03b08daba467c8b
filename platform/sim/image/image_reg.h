// The registry part of a machine image: regedit's export formats, read and written.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/image/image_text.h"
#include "platform/sim/sim_machine.h"

namespace qx::sim::image {

// One change a .reg file asks for, in file order. Keys carry the root as written in full
// ("HKEY_CURRENT_USER\Software\X"); roots are resolved against the machine when applied.
struct RegOp {
  enum Kind { kAddKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = kAddKey;
  std::string key;
  std::string name;  // value name, "" for the default value
  DWORD type = REG_NONE;
  std::string data;
  int line = 0;
};

// Parses the bytes of one .reg file. fileName is used in messages only.
bool ParseRegFile(std::string_view fileName, std::string_view bytes, std::vector<RegOp>& ops,
                  std::string& error);

// Carries the changes out on m; HKEY_CURRENT_USER means HKEY_USERS\<current user> and
// HKEY_CLASSES_ROOT means HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
bool ApplyRegOps(const std::vector<RegOp>& ops, std::string_view fileName, SimMachine& m,
                 std::string& error);

// The same two steps at once for a large file, each change carried out as its line is read
// (a file opened with OpenRegistryText is never held whole). A file ParseRegFile refuses is
// refused here too, with m then partly changed; one it takes gives the same machine.
bool ApplyRegText(std::string_view fileName, DecodedText& text, SimMachine& m, std::string& error);

// The whole registry of m as one REGEDIT4 file in code page 932, CR LF line ends.
bool WriteRegFile(const SimMachine& m, std::string& out, std::string& error);
// The same text handed to write a piece at a time, in order; nothing more after an error.
bool WriteRegFile(const SimMachine& m, const std::function<void(std::string_view)>& write, std::string& error);

}  // namespace qx::sim::image
