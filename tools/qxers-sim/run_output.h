// What a run leaves for inspection: the messages the view received, the machine afterwards,
// and the run log.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qxsim {

// "<message> <wParam> <lParam>" per line, decimal; wParam and lParam taken as signed.
std::string FormatMessages(const std::vector<qx::sim::ReceivedMessage>& messages);

// What the other programs, libraries and the web server received, one call a line, UTF-8.
std::string FormatCalls(const std::vector<std::string>& calls);
// The spooler calls that changed something and the broadcasts, one per line, in UTF-8.
std::string FormatSpoolerJournal(const std::vector<std::string>& journal);

// The run's result: the wParam of the last result message (1044), or false when none came.
bool RunResult(const std::vector<qx::sim::ReceivedMessage>& messages, int& result);

// Writes dir/messages.txt, dir/calls.txt, dir/dde.txt (the commands Program Manager received),
// dir/spooler.txt, dir/after/ and dir/QXErs.log (when the machine's temporary directory holds
// one). False with a message when something cannot be written.
bool WriteRunOutputs(const std::string& dir, const qx::sim::SimMachine& m,
                     const std::vector<qx::sim::ReceivedMessage>& messages, std::string& error);

// Writes dir/after/ (replacing an earlier one): the machine after its restart.
bool WriteRebootOutput(const std::string& dir, const qx::sim::SimMachine& m, std::string& error);

}  // namespace qxsim
