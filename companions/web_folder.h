// The web component's virtual directory in the web server's metabase, and its lookup
// through the directory service of newer web servers.
#pragma once

#include <string>

#include "platform/platform.h"

namespace qx {

// The metabase and web-application administration objects; open when both are present.
struct WebAdminObjects {
  IMSAdminBase* adminBase = nullptr;
  IWamAdmin* wamAdmin = nullptr;
};

inline constexpr int kWebPairNotOpened = 0x20001;
inline constexpr int kWebNoMemory = 0x20002;
inline constexpr int kWebApplicationNotDeleted = 0x20003;
inline constexpr int kWebParentNotOpened = 0x20004;
inline constexpr int kWebKeyNotDeleted = 0x20005;

// 0 open, 1 no pair, 2 COM cannot start, 3 no metabase object, 4 no web-application object.
int OpenWebAdminObjects(Platform& sys, WebAdminObjects* pair);
int CloseWebAdminObjects(Platform& sys, WebAdminObjects& pair);
// Removes the web application at the metabase path ("/LM/..." or relative to "/LM/") and below.
int DeleteWebApplication(Platform& sys, WebAdminObjects& pair, const std::string& path);
// Removes "/LM/W3SVC/<site>/ROOT/<name>"; 0 or one of the results above.
int DeleteWebVirtualDirectory(Platform& sys, const std::string& name, int site);
bool IsWebServerVersion6OrLater(Platform& sys);
// systemDir: where "ACTIVEDS.DLL" is loaded from.
bool WebVirtualDirectoryExists(Platform& sys, const std::string& systemDir);

}  // namespace qx
