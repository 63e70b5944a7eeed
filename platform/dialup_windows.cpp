#include "platform/dialup.h"
#include "platform/windows_api.h"

// After windows.h, which it needs.
#include <ras.h>
#include <raserror.h>

namespace rariduze {

int CountActiveDialUpConnections() {
  // One record is enough to tell: a larger list only says "buffer too small" with the count.
  RASCONNA connection{};
  connection.dwSize = sizeof connection;
  DWORD size = sizeof connection;
  DWORD count = 0;
  DWORD result = ::RasEnumConnectionsA(&connection, &size, &count);
  if (result != ERROR_SUCCESS && result != ERROR_BUFFER_TOO_SMALL) return 0;
  return static_cast<int>(count);
}

}  // namespace rariduze
