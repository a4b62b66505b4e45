// Feeds arbitrary bytes through the request-line path of the command port: parsing must never
// crash, and whatever is accepted must carry a string name and survive the reply encoding.
#include "ipc/command.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  std::optional<perchkin::RequestLine> request = perchkin::parse_request_line(line);
  if (request) {
    if (request->args.is_null()) std::abort();  // absent or null args must become {}
    // Echoing the (possibly invalid UTF-8) name back must stay one line.
    std::string reply = perchkin::reply_line({false, request->name});
    if (reply.empty() || reply.back() != '\n' || reply.find('\n') != reply.size() - 1) {
      std::abort();
    }
  }
  std::optional<perchkin::CommandReply> reply = perchkin::parse_reply_line(line);
  (void)reply;
  return 0;
}
