// QXErs.ini, any bytes, beside the program on a simulated Windows NT 4.0 machine, read by
// every path the run reads it with: the ENVIRONMENT keys (ReadIniValue, CheckEnvironment,
// ReadRunSettings) and the deletion sections (ReadIniSection, ReadDeletionLists).
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/CQXErsDoc.h"
#include "app/config.h"
#include "fuzz/fuzz_machine.h"
#include "platform/sim/sim_machine.h"

namespace {

constexpr const char* kTarget = "ini";

constexpr const char* kEnvironmentKeys[] = {"AP", "SUPPORTOS", "LOG", "DELFLG", "DEFAULT_DELPRINTER"};
constexpr const char* kSections[] = {
    "DEL_FILE.PP.WINDIR",  "DEL_FILE.PP.WINSYSDIR",  "DEL_REG.PP",          "DEL_PRINTER_NAME",
    "DEL_LM_NAME",         "DEL_FILE.DRV.WINDIR",    "DEL_FILE.DRV.WINSYSDIR", "DEL_REG.DRV",
    "DEL_PROC_NAME",       "DEL_FILE.QX.QXDIR",      "DEL_FILE.QX.WINDIR",  "DEL_FILE.QX.WINSYSDIR",
    "DEL_REG.QX",          "PULL_REG.QX",            "DEL_FOLDER.QX",       "DEL_FILE.QX.ROOT",
    "ENVIRONMENT"};

// A value comes from one line.
bool OneLine(const std::string& text) { return text.find('\n') == std::string::npos; }

// A deletion entry comes from one line, and a line with a zero byte in it names nothing.
bool CleanEntry(const std::string& text) { return OneLine(text) && text.find('\0') == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qx;
  const std::string input(reinterpret_cast<const char*>(data), size);
  sim::SimMachine machine;
  machine.AddFile("C:\\QXErs\\QXErs.ini", input);

  CQXErsDoc doc(machine.platform());
  doc.PrepareRun();
  const std::string path = doc.ConfigPath();
  Files& files = machine.platform().files;

  for (const char* key : kEnvironmentKeys) {
    std::string value = ReadIniValue(files, "ENVIRONMENT", key, path);
    if (!OneLine(value)) fuzz::Violation(kTarget, std::string("ENVIRONMENT ") + key + " spans lines", input);
  }
  for (const char* section : kSections) {
    StringList list;
    int count = ReadIniSection(files, section, path, list);
    if (count < 0 || static_cast<std::size_t>(count) != list.size()) {
      fuzz::Violation(kTarget, std::string("ReadIniSection's count for ") + section + " is not what it appended",
                      input);
    }
    for (const std::string& entry : list) {
      if (!CleanEntry(entry)) {
        fuzz::Violation(kTarget, std::string("an entry of ") + section + " spans lines or holds a zero byte", input);
      }
    }
  }

  doc.CheckEnvironment();
  doc.ReadRunSettings();
  if (doc.delFlags < 0 || doc.delFlags > 7 || (doc.logEnabled != 0 && doc.logEnabled != 1)) {
    fuzz::Violation(kTarget, "ReadRunSettings set a deletion kind or log setting that does not exist", input);
  }
  // Every section is read, for each of two product directories.
  doc.delFlags = kDelProduct | kDelDrivers | kDelNetPort;
  doc.productDirCount = 2;
  doc.ReadDeletionLists();
  return 0;
}
