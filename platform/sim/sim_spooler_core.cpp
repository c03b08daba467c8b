// What the spooler's calls share: reading and writing the registry data that Windows' spooler
// keeps (the layout is described in sim_spooler.h), and the checks every call makes before it
// looks at an object.
#include <algorithm>

#include "platform/sim/sim_spooler_core.h"

namespace qx::sim::spool {

// ---------------------------------------------------------------- registry data

std::optional<RegValueView> FindValue(const RegKey& k, std::string_view name) { return k.values.Find(name); }

// A text value up to its first zero; "" when missing or not text.
std::string Text(const RegKey& k, std::string_view name) {
  const auto v = FindValue(k, name);
  if (!v || (v->type != REG_SZ && v->type != REG_EXPAND_SZ)) return "";
  return std::string(v->data.substr(0, v->data.find('\0')));
}

DWORD Dword(const RegKey& k, std::string_view name) {
  const auto v = FindValue(k, name);
  if (!v || v->data.size() < 4) return 0;
  DWORD x = 0;
  for (int i = 0; i < 4; ++i) x |= static_cast<DWORD>(static_cast<unsigned char>(v->data[i])) << (8 * i);
  return x;
}

std::vector<BYTE> Bytes(const RegKey& k, std::string_view name) {
  const auto v = FindValue(k, name);
  if (!v) return {};
  return std::vector<BYTE>(v->data.begin(), v->data.end());
}

void Put(SimMachine::State& s, RegKey& k, std::string_view name, DWORD type, std::string data) {
  s.SetRegValue(k, name, type, std::move(data));
}

void PutText(SimMachine::State& s, RegKey& k, std::string_view name, std::string_view text) {
  Put(s, k, name, REG_SZ, std::string(text) + '\0');
}

void PutDword(SimMachine::State& s, RegKey& k, std::string_view name, DWORD x) {
  std::string d(4, '\0');
  for (int i = 0; i < 4; ++i) d[i] = static_cast<char>((x >> (8 * i)) & 0xFF);
  Put(s, k, name, REG_DWORD, d);
}

bool RemoveValue(SimMachine::State& s, RegKey& k, std::string_view name) { return s.DeleteRegValue(k, name); }

std::shared_ptr<RegKey> Child(const std::shared_ptr<RegKey>& k, std::string_view name) {
  if (!k) return nullptr;
  return k->subkeys.Find(name);
}

std::vector<std::string> SplitList(std::string_view text, char separator) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != separator) end += cp932::CharLength(text, end);
    out.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// ---------------------------------------------------------------- the checks of every call

bool SpoolerCore::Reachable() const {
  if (!Nt()) return true;
  auto it = s_.services.find(cp932::Fold("Spooler"));
  return it != s_.services.end() && it->second.state == SERVICE_RUNNING;
}

DWORD SpoolerCore::Environment(const char* environment, std::string& out) const {
  out = environment && *environment ? environment : OwnEnvironment();
  static const char* const nt[] = {kNtEnvironment, k9xEnvironment, "Windows NT R4000", "Windows NT Alpha_AXP",
                                   "Windows NT PowerPC"};
  if (!Nt()) {
    if (!cp932::EqualNoCase(out, k9xEnvironment)) return ERROR_INVALID_ENVIRONMENT;
    out = k9xEnvironment;
    return ERROR_SUCCESS;
  }
  for (const char* e : nt)
    if (cp932::EqualNoCase(out, e)) {
      out = e;
      return ERROR_SUCCESS;
    }
  return ERROR_INVALID_ENVIRONMENT;
}

DWORD SpoolerCore::ServerChecks(const char* server) const {
  if (!Reachable()) return RPC_S_SERVER_UNAVAILABLE;
  if (!LocalServer(server)) return ERROR_INVALID_NAME;
  return ERROR_SUCCESS;
}

DWORD SpoolerCore::EnvironmentChecks(const char* server, const char* environment, std::string& env) const {
  if (DWORD e = ServerChecks(server); e != ERROR_SUCCESS) return e;
  return Environment(environment, env);
}

}  // namespace qx::sim::spool
