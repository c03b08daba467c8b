// One measurement of qxers-sim's work on an image, in a child process of its own (this program
// started again): its peak memory is then the measurement's alone, and a phase that runs past
// the time limit is ended with the child without holding up the others.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace bench {

struct Phase {
  enum State { kNotReached, kDone, kOverLimit, kFailed };
  State state = kNotReached;
  double wallSeconds = 0;
  double cpuSeconds = 0;   // the whole process, every thread
  long peakKb = 0;         // the child's peak resident memory when the phase ended (getrusage)
};

struct Measurement {
  // What qxers-sim run does, in its order: load the image, capture the machine before, run
  // the erase, capture it after and compare (diff = both captures and the comparison), write
  // the outputs with after/.
  Phase load, capture, run, diff, write;
  // The plain reader of the image's .reg files (plain_reg_reader.h), then the image loader's
  // reading of the same files alone (onto a machine of nothing else), in a child of their own.
  Phase plain, regLoad;
  std::uint64_t regBytes = 0;  // bytes of the image's .reg files
  long childPeakKb = 0;        // the erase child's peak resident memory, also when it was ended
  // Counts the child reported: calls by facet ("calls.registry", ...), the machine's
  // ("calls.machine", "changing", "changing.registry", ...), the run's result ("result"), the
  // family's printers left ("family_left").
  std::map<std::string, std::uint64_t> counts;
  std::string error;  // what went wrong besides the limit, if anything

  // The diff as qxers-sim's summary costs it: both captures and the comparison.
  Phase Diff() const;
};

// Runs the erase on image as qxers-sim run IMAGE --out outDir does (default answers, no
// restart), each phase limited to limitSeconds of wall time.
Measurement MeasureErase(const std::string& image, const std::string& outDir, double limitSeconds);

// Reads the image's .reg files with the plain reader; fills plain and regBytes of m.
void MeasurePlainReader(const std::string& image, double limitSeconds, Measurement& m);

// The measurements run in this same program started again with arguments of its own: main
// hands such a start to MeasureChildMain, which does the measurement and ends the process.
bool IsMeasureChild(int argc, char** argv);
[[noreturn]] void MeasureChildMain(char** argv);

}  // namespace bench
