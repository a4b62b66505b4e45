#include "ipc/command.h"

namespace perchkin {

// --- Reply channel ---

ReplySender& ReplySender::operator=(ReplySender&& other) noexcept {
  if (this != &other) {
    close();
    slot_ = std::move(other.slot_);
  }
  return *this;
}

ReplySender::~ReplySender() { close(); }

bool ReplySender::send(CommandReply reply) const {
  if (!slot_) return false;
  std::lock_guard lock(slot_->mutex);
  if (slot_->sender_gone || slot_->receiver_gone) return false;
  slot_->reply = std::move(reply);
  slot_->sender_gone = true;
  slot_->ready.notify_one();
  return true;
}

void ReplySender::close() const {
  if (!slot_) return;
  std::lock_guard lock(slot_->mutex);
  if (slot_->sender_gone) return;
  slot_->sender_gone = true;
  slot_->ready.notify_one();
}

ReplyReceiver::~ReplyReceiver() {
  if (!slot_) return;
  std::lock_guard lock(slot_->mutex);
  slot_->receiver_gone = true;
}

std::optional<CommandReply> ReplyReceiver::wait_until(
    std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(slot_->mutex);
  slot_->ready.wait_until(lock, deadline, [this] { return slot_->sender_gone; });
  slot_->receiver_gone = true;
  return std::move(slot_->reply);
}

ReplyPair make_reply_channel() {
  auto slot = std::make_shared<ReplySlot>();
  return ReplyPair{ReplySender(slot), ReplyReceiver(slot)};
}

// --- Command channel ---

// --- Wire format ---

std::optional<RequestLine> parse_request_line(std::string_view line) {
  std::optional<json> value = parse_json(line);
  if (!value) return std::nullopt;
  const json* cmd = json_member(*value, "cmd");
  if (cmd == nullptr || !cmd->is_string()) return std::nullopt;
  RequestLine request;
  request.name = cmd->get<std::string>();
  if (json* args = &(*value)["args"]; !args->is_null()) {
    request.args = std::move(*args);
  } else {
    request.args = json::object();
  }
  return request;
}

std::string reply_line(const CommandReply& reply) {
  json object = {{"ok", reply.ok}, {"msg", reply.msg}};
  std::string text = dump_compact(object);
  text += '\n';
  return text;
}

std::string request_line(std::string_view name, const json& args) {
  json object = json::object();
  object["args"] = args;
  object["cmd"] = std::string(name);
  std::string text = dump_compact(object);
  text += '\n';
  return text;
}

std::optional<CommandReply> parse_reply_line(std::string_view line) {
  std::optional<json> value = parse_json(line);
  if (!value) return std::nullopt;
  CommandReply reply;
  if (const json* ok = json_member(*value, "ok"); ok != nullptr && ok->is_boolean()) {
    reply.ok = ok->get<bool>();
  }
  if (const json* msg = json_member(*value, "msg"); msg != nullptr && msg->is_string()) {
    reply.msg = msg->get<std::string>();
  }
  return reply;
}

}  // namespace perchkin
