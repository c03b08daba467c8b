// Large machine images for the benchmark (image_generator.cpp says what they hold).
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// How much of each kind an image holds beside its base image. The defaults are the small
// machine that every axis of the benchmark starts from.
struct ImageSizes {
  std::uint64_t seed = 1;
  std::uint64_t family = 10;       // the family's printers
  std::uint64_t others = 10;       // other vendors' printers
  std::uint64_t hives = 10;        // loaded user hives besides the base's
  std::uint64_t files = 100;       // files in the product folder and the spool directories
  std::uint64_t keys = 1000;       // unrelated registry keys
  std::uint64_t entries = 10;      // entries added to each deletion section of QXErs.ini
  std::uint64_t userPrinters = 20;  // printers in each added hive's device lists and DevModes2

  // "--family" and "5000", ...; false with a message for an unknown name or a bad number.
  bool Set(const std::string& option, const std::string& value, std::string& error) {
    std::uint64_t* field = option == "--seed"            ? &seed
                           : option == "--family"        ? &family
                           : option == "--others"        ? &others
                           : option == "--hives"         ? &hives
                           : option == "--files"         ? &files
                           : option == "--keys"          ? &keys
                           : option == "--entries"       ? &entries
                           : option == "--user-printers" ? &userPrinters
                                                         : nullptr;
    if (!field) {
      error = "unknown option '" + option + "'";
      return false;
    }
    if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos) {
      error = option + " needs a number from 0 to 999999999";
      return false;
    }
    *field = std::stoull(value);
    return true;
  }

  static const char* Usage() {
    return "[--seed S] [--family N] [--others M] [--hives H] [--files F] [--keys K] [--entries E] "
           "[--user-printers U]";
  }

  // What the generator writes for these sizes changes with this number: it names the cached
  // images, so that one written by an earlier generator is not taken for a new one.
  static constexpr int kLayout = 2;

  // "family=10 others=10 ...": what the image holds, and the name of a cached image.
  std::string Describe() const {
    return "layout=" + std::to_string(kLayout) + " seed=" + std::to_string(seed) + " family=" + std::to_string(family) + " others=" + std::to_string(others) +
           " hives=" + std::to_string(hives) + " files=" + std::to_string(files) + " keys=" + std::to_string(keys) +
           " entries=" + std::to_string(entries) + " user-printers=" + std::to_string(userPrinters);
  }
  std::string FolderName() const {
    return "v" + std::to_string(kLayout) + "-s" + std::to_string(seed) + "-p" + std::to_string(family) + "-o" + std::to_string(others) + "-h" +
           std::to_string(hives) + "-f" + std::to_string(files) + "-k" + std::to_string(keys) + "-e" +
           std::to_string(entries) + "-u" + std::to_string(userPrinters);
  }
};

// Copies the image base into out (which must not exist or be empty) and adds the generated
// parts: .reg files named zz-bench-*.reg (applied after the base's), files below drive_c/,
// entries in drive_c/QXErs/QXErs.ini, and generated.txt with the sizes. False with a message.
bool MakeImage(const ImageSizes& sizes, const std::string& base, const std::string& out, std::string& error);

}  // namespace bench
