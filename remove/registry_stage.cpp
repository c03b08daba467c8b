// The registry stage: the configured keys and values, per loaded user for the current user's
// entries, and the items taken out of the product's list values.
#include "app/CQXErsDoc.h"
#include "app/log_lines.h"
#include "app/text.h"
#include "app/registry.h"

namespace qx {

namespace {
constexpr const char* kCurrentUser = "HKEY_CURRENT_USER";
}  // namespace

void CQXErsDoc::RemoveRegistryEntries() {
  AddLog(logRegistry, kLightLine + "レジストリ情報削除");
  if (delFlags & kDelNetPort) {
    for (const std::string& entry : DEL_REG_PP) {
      DeleteRegistryEntry(entry);
      SendStep();
    }
  }
  if (delFlags & kDelProduct) {
    // The current user's entries hold for every user whose profile is loaded: they are
    // repeated below each hive once the configured entries are done.
    StringList perUser;
    for (const std::string& entry : DEL_REG_QX) {
      if (entry.find(kCurrentUser) != std::string::npos) {
        std::size_t comma = entry.find(',');
        // An entry without a comma names no key; it is not repeated for the users.
        if (comma != std::string::npos && comma + 1 < entry.size()) perUser.push_back(entry.substr(comma + 1));
      }
      DeleteRegistryEntry(entry);
      SendStep();
    }
    StringList users;
    if (!perUser.empty() && EnumSubkeyNames(sys.registry, HKEY_USERS, "", users) > 0) {
      for (std::string& user : users) {
        EnsureTrailingBackslash(user);
        for (const std::string& remainder : perUser) {
          DeleteRegistryEntry("HKEY_USERS," + user + remainder);
          SendStep();
        }
      }
    }
    for (const std::string& entry : PULL_REG_QX) {
      RemoveTextFromValue(entry);
      SendStep();
    }
  }
  if (delFlags & kDelDrivers) {
    for (const std::string& entry : DEL_REG_DRV) {
      DeleteRegistryEntry(entry);
      SendStep();
    }
  }
}

}  // namespace qx
