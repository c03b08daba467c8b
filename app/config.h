// The reader for QXErs.ini and settings files of its form. The platform's profile calls are
// not used: deletion sections are read in file order with any key names, and a key must
// start in the first column.
#pragma once

#include <string>

#include "app/CQXErsDoc.h"
#include "platform/files.h"

namespace qx {

inline constexpr const char* kIniNotFound = "ERROR";
inline constexpr const char* kIniNotOpened = "NotINI";

// The key's value, "ERROR" when the section or key is missing, "NotINI" when the file cannot be opened.
std::string ReadIniValue(Files& files, const std::string& section, const std::string& key, const std::string& path);
// Appends the text after the first "=" of each line of the section; returns how many it
// appended. A line with text after a zero byte is not appended: its text up to the zero goes
// to refused, when given.
int ReadIniSection(Files& files, const std::string& section, const std::string& path, StringList& list,
                   StringList* refused = nullptr);
// Whether directory + file exists; searchUp also tries each parent directory in turn.
bool IniFileExists(Files& files, const std::string& fileName, const std::string& directory, bool searchUp);

}  // namespace qx
