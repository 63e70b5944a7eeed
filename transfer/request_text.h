#pragma once

#include <string>

// The helpers with which the information request builds its request line and reads the
// buffers the internet operations fill. The update driver's module offers them under its own
// name too (app/paths.h).
namespace rariduze {

// Removes a leading "http://" or "https://" (in any case) from url and splits the rest at its
// first "/": url keeps the host, path gets the rest from the "/" on. Without a "/" url stays
// the host and path is left as the caller set it.
void SplitUrl(std::string& url, std::string& path);

// True when url begins with "https://" in any case.
bool IsHttpsUrl(const std::string& url);

// The text before the first NUL character; the whole buffer when it holds none.
std::string TrimAtNul(const std::string& buffer);

}  // namespace rariduze
