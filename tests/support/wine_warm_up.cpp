// Runs before the Windows tests, as the fixture they all require: the first program in a new
// Wine prefix waits for the prefix to be made and for the services behind sockets and the
// internet API to start, and a test meeting that wait would spend its own time limits on it.
// One request through the internet API to a loopback responder brings all of it up.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/internet.h"
#include "tests/support/loopback_responder.h"

int main() {
  using rariduze::InternetHandle;
  rariduze::testing::LoopbackResponder responder;
  responder.Enqueue(rariduze::testing::Reply::Answer("HTTP/1.1 200 OK", "warm"));
  // The updater's own limits: the first start may take long, but not for ever.
  std::unique_ptr<rariduze::InternetApi> api = rariduze::CreateInternetApi();
  InternetHandle session =
      api->OpenSession("warm-up", rariduze::InternetAccess::kDirect, std::string());
  InternetHandle url = api->OpenUrl(session, responder.Url("/"));
  char buffer[16];
  std::uint32_t read = 0;
  const bool answered = url != 0 && api->ReadFile(url, buffer, sizeof buffer, &read) &&
                        std::string(buffer, read) == "warm";
  api->CloseHandle(url);
  api->CloseHandle(session);
  if (!answered) std::fputs("the first request through the internet API failed\n", stderr);
  return answered ? 0 : 1;
}
