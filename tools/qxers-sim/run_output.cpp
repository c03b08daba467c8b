#include "tools/qxers-sim/run_output.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/CQXErsDoc.h"
#include "platform/sim/encoding.h"
#include "platform/sim/image/image.h"

namespace qxsim {

namespace fs = std::filesystem;

std::string FormatMessages(const std::vector<qx::sim::ReceivedMessage>& messages) {
  std::string out;
  for (const auto& msg : messages) {
    long long w = static_cast<qx::LPARAM>(msg.wParam);
    // The result travels as a 32-bit signed code whichever way it was widened.
    if (msg.message == qx::QXM_RESULT) w = static_cast<std::int32_t>(msg.wParam);
    out += std::to_string(msg.message) + " " + std::to_string(w) + " " +
           std::to_string(static_cast<long long>(msg.lParam)) + "\n";
  }
  return out;
}

std::string FormatCalls(const std::vector<std::string>& calls) {
  std::string out;
  for (const std::string& line : calls) out += qx::sim::Cp932ToUtf8Lossy(line) + "\n";
  return out;
}

std::string FormatSpoolerJournal(const std::vector<std::string>& journal) {
  std::string out;
  for (const auto& line : journal) out += qx::sim::Cp932ToUtf8Lossy(line) + "\n";
  return out;
}

bool RunResult(const std::vector<qx::sim::ReceivedMessage>& messages, int& result) {
  for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
    if (it->message == qx::QXM_RESULT) {
      result = static_cast<std::int32_t>(it->wParam);
      return true;
    }
  }
  return false;
}

namespace {

bool WriteFile(const fs::path& path, const std::string& bytes, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) error = path.string() + ": cannot be written";
  return static_cast<bool>(out);
}

}  // namespace

bool WriteRunOutputs(const std::string& dir, const qx::sim::SimMachine& m,
                     const std::vector<qx::sim::ReceivedMessage>& messages, std::string& error) {
  std::error_code ec;
  fs::path root(dir);
  fs::create_directories(root, ec);
  if (ec) {
    error = dir + ": cannot be created (" + ec.message() + ")";
    return false;
  }
  if (!WriteFile(root / "messages.txt", FormatMessages(messages), error)) return false;
  if (!WriteFile(root / "calls.txt", FormatCalls(m.Calls()), error)) return false;

  // What Program Manager received over DDE, one command per line, in UTF-8.
  std::string commands;
  for (const std::string& command : m.DdeCommands()) commands += qx::sim::Cp932ToUtf8Lossy(command) + "\n";
  if (!WriteFile(root / "dde.txt", commands, error)) return false;
  if (!WriteFile(root / "spooler.txt", FormatSpoolerJournal(m.SpoolerJournal()), error)) return false;

  // after/ and QXErs.log belong to this command: an earlier run's are replaced.
  fs::remove_all(root / "after", ec);
  fs::remove(root / "QXErs.log", ec);
  if (!qx::sim::SaveImage(m, (root / "after").string(), error)) return false;

  std::string logPath = m.settings().tempPath;
  if (!logPath.empty() && logPath.back() != '\\') logPath += '\\';
  logPath += "QXErs.log";
  if (auto log = m.File(logPath); log && !log->directory) {
    if (!WriteFile(root / "QXErs.log", log->contents, error)) return false;
  }
  return true;
}

bool WriteRebootOutput(const std::string& dir, const qx::sim::SimMachine& m, std::string& error) {
  std::error_code ec;
  fs::path root(dir);
  fs::create_directories(root, ec);
  if (ec) {
    error = dir + ": cannot be created (" + ec.message() + ")";
    return false;
  }
  fs::remove_all(root / "after", ec);
  return qx::sim::SaveImage(m, (root / "after").string(), error);
}

}  // namespace qxsim
