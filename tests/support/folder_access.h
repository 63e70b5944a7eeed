#pragma once

#include <string>

namespace rariduze::testing {

// Who may reach a folder, and the links and names that Windows treats apart, as each system
// has them.

// Why others than the current user may reach folder (on Windows the system's own accounts and
// the administrators, who reach every file anyway, are not counted), or why the user may not;
// empty when the folder is the user's alone.
std::string WhyNotPrivate(const std::string& folder);

// Lets everyone read and write in folder, as in a temporary folder that all accounts share.
void OpenToEveryone(const std::string& folder);

// Makes link a link to the folder target as the system makes them: a symbolic link; on Windows
// a junction (mklink /J), or under Wine, which makes none, a Linux symbolic link, which Wine
// shows as a reparse point. False with the reason in *why when neither can be made.
bool MakeFolderLink(const std::string& link, const std::string& target, std::string* why);

// Writes a file under exactly this name, which on Windows may end in a dot or a blank.
void WriteExactFile(const std::string& path, const std::string& bytes);

}  // namespace rariduze::testing
