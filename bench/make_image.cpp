// qx_make_image: writes a large machine image (image_generator.h), the same bytes for the same
// sizes and seed.
//   qx_make_image --out DIR [--base IMAGE] [--seed S] [--family N] [--others M] [--hives H]
//                 [--files F] [--keys K] [--entries E] [--user-printers U]
#include <iostream>
#include <string>

#include "bench/image_generator.h"

int main(int argc, char** argv) {
  bench::ImageSizes sizes;
  std::string base = std::string(QX_SOURCE_DIR) + "/images/default";
  std::string out, error;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << "usage: qx_make_image --out DIR [--base IMAGE] " << bench::ImageSizes::Usage() << "\n"
                << "  Copies IMAGE (default: images/default of the source tree) into DIR and adds a print\n"
                << "  server's printers, user hives, files, unrelated keys and QXErs.ini entries.\n"
                << "  Defaults: " << bench::ImageSizes().Describe() << "\n";
      return 0;
    }
    if (i + 1 >= argc) {
      std::cerr << "qx_make_image: " << arg << " needs a value\n";
      return 2;
    }
    std::string value = argv[++i];
    if (arg == "--out") {
      out = value;
    } else if (arg == "--base") {
      base = value;
    } else if (!sizes.Set(arg, value, error)) {
      std::cerr << "qx_make_image: " << error << "\n";
      return 2;
    }
  }
  if (out.empty()) {
    std::cerr << "qx_make_image: --out DIR is needed\n";
    return 2;
  }
  if (!bench::MakeImage(sizes, base, out, error)) {
    std::cerr << "qx_make_image: " << error << "\n";
    return 1;
  }
  std::cout << out << ": " << sizes.Describe() << "\n";
  return 0;
}
