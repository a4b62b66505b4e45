// Commands on their way from the port's connection threads to the user-interface thread and
// their answers on the way back: CommandRequest with its one-shot reply, the command channel,
// and the request and reply lines of the wire format.
#pragma once

#include "base/channel.h"
#include "base/json.h"

#include <condition_variable>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace perchkin {

struct CommandReply {
  bool ok = false;
  std::string msg;
};

// The shared state of one one-shot reply channel: one sender, one waiting receiver.
struct ReplySlot {
  std::mutex mutex;
  std::condition_variable ready;
  std::optional<CommandReply> reply;
  bool sender_gone = false;    // answered, or dropped without answering
  bool receiver_gone = false;  // the connection stopped waiting
};

// Sending end of a reply channel. Move-only; dropping it unanswered closes the channel, so the
// waiting connection learns at once that no answer will come.
class ReplySender {
 public:
  ReplySender() = default;
  explicit ReplySender(std::shared_ptr<ReplySlot> slot) : slot_(std::move(slot)) {}
  ReplySender(ReplySender&&) noexcept = default;
  ReplySender& operator=(ReplySender&& other) noexcept;
  ReplySender(const ReplySender&) = delete;
  ReplySender& operator=(const ReplySender&) = delete;
  ~ReplySender();

  // False when the receiver already gave up (or there is none); the reply is then dropped.
  bool send(CommandReply reply) const;

 private:
  void close() const;
  std::shared_ptr<ReplySlot> slot_;
};

// Receiving end, kept by the connection thread.
class ReplyReceiver {
 public:
  explicit ReplyReceiver(std::shared_ptr<ReplySlot> slot) : slot_(std::move(slot)) {}
  ReplyReceiver(ReplyReceiver&&) noexcept = default;
  ReplyReceiver& operator=(ReplyReceiver&&) noexcept = default;
  ReplyReceiver(const ReplyReceiver&) = delete;
  ReplyReceiver& operator=(const ReplyReceiver&) = delete;
  ~ReplyReceiver();

  // The reply, or nullopt when the deadline passed or the sender went away without answering.
  // Either way a later reply is discarded.
  std::optional<CommandReply> wait_until(std::chrono::steady_clock::time_point deadline);

 private:
  std::shared_ptr<ReplySlot> slot_;
};

struct ReplyPair {
  ReplySender sender;
  ReplyReceiver receiver;
};
ReplyPair make_reply_channel();

struct CommandRequest {
  std::string name;  // the "cmd" member, matched byte for byte
  json args;         // the "args" member; {} when absent or null
  ReplySender reply;

  // Answering after the connection gave up waiting is silently ignored.
  void answer(CommandReply reply_value) const { reply.send(std::move(reply_value)); }
};

// From the connection threads to the user-interface thread, unbounded. A request dropped by a
// closed channel closes its reply channel.
using CommandChannel = Channel<CommandRequest>;

// --- Wire format ---

inline constexpr std::string_view kBadRequestReply = "{\"ok\":false,\"msg\":\"bad request\"}\n";
inline constexpr std::string_view kBusyMessage = "buddy is busy, try again";

struct RequestLine {
  std::string name;
  json args;
};

// One request line (its line feed may be included). nullopt means "bad request": not one JSON
// value with only white space around it, nested deeper than 128, or no string "cmd" member.
std::optional<RequestLine> parse_request_line(std::string_view line);

// {"msg":...,"ok":...} compact, followed by a line feed.
std::string reply_line(const CommandReply& reply);

// {"args":...,"cmd":...} compact, followed by a line feed.
std::string request_line(std::string_view name, const json& args);

// A reply line as the client reads it: nullopt when it is not JSON; otherwise "ok" if boolean
// (else false) and "msg" if a string (else empty).
std::optional<CommandReply> parse_reply_line(std::string_view line);

}  // namespace perchkin
