#pragma once

// The words of frmMain, whatever draws it: its title, its buttons' captions (both of
// cmdVerifica's, which the update driver switches) and its menu.
namespace rariduze {

inline constexpr const char* kMainWindowTitle = "ZT --> Check update Availability ";
inline constexpr const char* kCheckCaption = "Check for New version";
inline constexpr const char* kBusyCaption = "Wait a moment...";
inline constexpr const char* kStopCaption = "Stop Download";
inline constexpr const char* kExitCaption = "Exit";
inline constexpr const char* kProxyMenuCaption = "Set Proxy / Lan Connection";
inline constexpr const char* kVersionMenuCaption = "Version";

}  // namespace rariduze
