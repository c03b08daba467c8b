// The spooler's print processors, one list per environment.
#include "platform/sim/sim_spooler_core.h"

namespace qx::sim::spool {

BOOL SpoolerCore::EnumPrintProcessorsA(const char* server, const char* environment,
                                       std::vector<PRINTPROCESSOR_INFO_1A>& processors) {
  Lock lock(s_.mu);
  processors.clear();
  std::string env;
  if (DWORD e = EnvironmentChecks(server, environment, env); e != ERROR_SUCCESS) return Fail(e);
  if (auto all = s_.FindKeyPath(std::string(kEnvironments) + "\\" + env + "\\Print Processors"))
    for (const auto& k : all->subkeys) processors.push_back({k->name});
  return TRUE;
}

BOOL SpoolerCore::DeletePrintProcessorA(const char* server, const char* environment, const char* processorName) {
  Lock lock(s_.mu);
  std::string env;
  if (DWORD e = EnvironmentChecks(server, environment, env); e != ERROR_SUCCESS) return Fail(e);
  auto k = processorName ? Child(s_.FindKeyPath(std::string(kEnvironments) + "\\" + env + "\\Print Processors"),
                                 processorName)
                         : nullptr;
  if (!k) return Fail(ERROR_UNKNOWN_PRINTPROCESSOR);
  if (env == OwnEnvironment())
    for (const auto& p : LocalPrinters())
      if (cp932::EqualNoCase(Text(*p, "Print Processor"), k->name)) return Fail(ERROR_CAN_NOT_COMPLETE);
  const std::string name = k->name;
  s_.DetachKey(k);
  Journal("DeletePrintProcessorA " + Quoted(env) + " " + Quoted(name));
  return TRUE;
}

}  // namespace qx::sim::spool
