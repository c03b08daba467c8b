// A .reg file of a machine image, any bytes, through the image loader's registry reader
// (ParseRegFile, ApplyRegOps) onto a fresh simulated machine, then what LoadImage does for
// an image without machine.ini: the system settings derived from that registry.
//
// Rules checked (the image format's promise, image.h): a registry the reader loaded and the
// writer could write comes back the same: the written file reads again, and writing what it
// gave yields the same bytes. And the reader that loads images, a file read from disk a piece
// at a time (OpenRegistryText, ApplyRegText), takes exactly the files ParseRegFile takes and
// builds the same registry from them.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_machine.h"
#include "platform/sim/image/image_preview.h"
#include "platform/sim/image/image_reg.h"
#include "platform/sim/image/image_text.h"
#include "platform/sim/sim_machine.h"

namespace {

constexpr const char* kTarget = "reg_reader";

// The input as the image loader reads it: from a file, a piece at a time. Whether it took the
// file, and the registry as written (empty when the writer refused it).
bool ReadFromDisk(std::string_view input, std::string& written) {
  using namespace qx;
  static const std::string path = "/tmp/qx-fuzz-reg-" + std::to_string(getpid()) + ".reg";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(input.data(), static_cast<std::streamsize>(input.size()));
  }
  sim::SimMachine machine;
  sim::image::DecodedText text;
  std::string error;
  if (!sim::image::OpenRegistryText(path, "fuzz.reg", text, error) ||
      !sim::image::ApplyRegText("fuzz.reg", text, machine, error))
    return false;
  if (!sim::image::WriteRegFile(machine, written, error)) written.clear();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qx;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<sim::image::RegOp> ops;
  std::string error;
  std::string fromDisk;
  const bool tookFromDisk = ReadFromDisk(input, fromDisk);
  const bool took = sim::image::ParseRegFile("fuzz.reg", input, ops, error);
  if (took != tookFromDisk) {
    fuzz::Violation(kTarget, std::string("the image loader's reader ") + (took ? "refuses" : "takes") +
                                 " a file ParseRegFile " + (took ? "takes" : "refuses: " + error),
                    input);
  }
  if (!took) return 0;

  std::string written;
  {
    sim::SimMachine machine;
    if (!sim::image::ApplyRegOps(ops, "fuzz.reg", machine, error)) return 0;
    if (!sim::image::WriteRegFile(machine, written, error)) written.clear();
    if (written != fromDisk) {
      fuzz::Violation(kTarget, "the image loader's reader builds another registry:\n   ParseRegFile: " +
                                   fuzz::Shown(written.substr(0, 600)) + "\n   from disk:    " +
                                   fuzz::Shown(fromDisk.substr(0, 600)),
                      input);
    }
    // An exported machine: settings from its registry, its automatic services started.
    if (sim::image::DeriveSettings(machine, error)) {
      machine.platform();
      sim::image::StartAutomaticServices(machine);
    }
  }
  if (written.empty()) return 0;

  std::vector<sim::image::RegOp> again;
  if (!sim::image::ParseRegFile("registry.reg", written, again, error)) {
    fuzz::Violation(kTarget, "the registry as written does not read again: " + error, input);
  }
  sim::SimMachine reloaded;
  sim::image::ApplyRegOps(again, "registry.reg", reloaded, error);
  std::string rewritten;
  if (!sim::image::WriteRegFile(reloaded, rewritten, error) || rewritten != written) {
    fuzz::Violation(kTarget, "the registry read back from its own file differs:\n   written:   " +
                                 fuzz::Shown(written.substr(0, 600)) + "\n   rewritten: " +
                                 fuzz::Shown(rewritten.substr(0, 600)),
                    input);
  }
  return 0;
}
