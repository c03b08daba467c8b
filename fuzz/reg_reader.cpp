// A .reg file of a machine image, any bytes, through the image loader's registry reader
// (ParseRegFile, ApplyRegOps) onto a fresh simulated machine, then what LoadImage does for
// an image without machine.ini: the system settings derived from that registry.
//
// Rule checked (the image format's promise, image.h): a registry the reader loaded and the
// writer could write comes back the same: the written file reads again, and writing what it
// gave yields the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_machine.h"
#include "platform/sim/image/image_preview.h"
#include "platform/sim/image/image_reg.h"
#include "platform/sim/sim_machine.h"

namespace {

constexpr const char* kTarget = "reg_reader";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qx;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<sim::image::RegOp> ops;
  std::string error;
  if (!sim::image::ParseRegFile("fuzz.reg", input, ops, error)) return 0;

  std::string written;
  {
    sim::SimMachine machine;
    if (!sim::image::ApplyRegOps(ops, "fuzz.reg", machine, error)) return 0;
    if (!sim::image::WriteRegFile(machine, written, error)) written.clear();
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
