// The spooler's index of its printers' keys (sim_spooler.h): which printer a name finds and
// which ports printers use, followed through every registry change instead of read again
// from every printer's key on each call.
#include <set>
#include <unordered_map>

#include "platform/sim/sim_names.h"
#include "platform/sim/sim_spooler_core.h"

namespace qx::sim {

namespace {

constexpr char kPrinters[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";

}  // namespace

struct PrinterIndex::Data {
  struct Entry {
    std::string name;                // folded printer name
    std::vector<std::string> ports;  // folded, as listed (a port listed twice counts twice)
  };
  std::shared_ptr<RegKey> printers;  // the printers' key; null when the machine has none
  std::unordered_map<std::string, std::set<std::shared_ptr<RegKey>, NameOrder<RegKey>>> byName;
  std::unordered_map<std::string, std::size_t> portUse;
  std::unordered_map<const RegKey*, Entry> entries;
};

PrinterIndex::PrinterIndex() = default;
PrinterIndex::~PrinterIndex() = default;

void PrinterIndex::Build(SimMachine::State& s) {
  d_ = std::make_unique<Data>();
  d_->printers = s.FindKeyPath(kPrinters);
  if (d_->printers)
    for (const auto& k : d_->printers->subkeys) Add(k);
}

void PrinterIndex::Add(const std::shared_ptr<RegKey>& printer) {
  Data::Entry e;
  e.name = cp932::Fold(spool::PrinterName(*printer));
  for (const std::string& p : spool::PortsOf(*printer)) e.ports.push_back(cp932::Fold(p));
  d_->byName[e.name].insert(printer);
  for (const std::string& p : e.ports) ++d_->portUse[p];
  d_->entries[printer.get()] = std::move(e);
}

void PrinterIndex::Remove(const RegKey& printer) {
  auto it = d_->entries.find(&printer);
  if (it == d_->entries.end()) return;
  auto named = d_->byName.find(it->second.name);
  if (named != d_->byName.end()) {
    auto k = named->second.find(std::string_view(printer.name));
    if (k != named->second.end() && k->get() == &printer) named->second.erase(k);
    if (named->second.empty()) d_->byName.erase(named);
  }
  for (const std::string& p : it->second.ports) {
    auto use = d_->portUse.find(p);
    if (use != d_->portUse.end() && --use->second == 0) d_->portUse.erase(use);
  }
  d_->entries.erase(it);
}

void PrinterIndex::Changed(const RegKey& key) {
  if (!d_ || !d_->printers || key.parent.lock() != d_->printers) return;
  Remove(key);
  // Indexed again only while it is one of the printers (a key out of the tree is not).
  if (auto k = d_->printers->subkeys.Find(key.name); k && k.get() == &key) Add(k);
}

void PrinterIndex::SubkeyAdded(const RegKey& parent, const std::shared_ptr<RegKey>& child) {
  if (!d_) return;
  if (!d_->printers) {
    d_.reset();  // the printers' key may just have been made: found again on next use
    return;
  }
  if (&parent == d_->printers.get()) Add(child);
}

void PrinterIndex::Detached(const RegKey& key) {
  if (!d_ || !d_->printers) return;
  for (std::shared_ptr<RegKey> a = d_->printers; a; a = a->parent.lock()) {
    if (a.get() == &key) {
      d_.reset();  // the printers' key itself goes
      return;
    }
  }
  if (key.parent.lock() == d_->printers) Remove(key);
}

std::shared_ptr<RegKey> PrinterIndex::Printer(SimMachine::State& s, std::string_view name) {
  if (!d_) Build(s);
  auto it = d_->byName.find(cp932::Fold(name));
  return it == d_->byName.end() || it->second.empty() ? nullptr : *it->second.begin();
}

bool PrinterIndex::PortInUse(SimMachine::State& s, std::string_view port) {
  if (!d_) Build(s);
  return d_->portUse.count(cp932::Fold(port)) > 0;
}

}  // namespace qx::sim
