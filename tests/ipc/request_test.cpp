// Request and reply lines, the one-shot reply channel and the command channel, without sockets.
#include "ipc/command.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace perchkin {
namespace {

using namespace std::chrono_literals;

std::string nested_args(int levels) {
  return std::string(static_cast<std::size_t>(levels), '[') +
         std::string(static_cast<std::size_t>(levels), ']');
}

TEST(RequestLine, ArgsAbsentOrNullBecomeEmptyObject) {
  for (const char* line : {"{\"cmd\":\"status\"}\n", "{\"cmd\":\"status\",\"args\":null}\n",
                           "{\"cmd\":\"status\",\"args\":{}}\n"}) {
    auto request = parse_request_line(line);
    ASSERT_TRUE(request) << line;
    EXPECT_EQ(request->name, "status");
    EXPECT_EQ(request->args, json::object()) << line;
  }
}

TEST(RequestLine, NonObjectArgsPassUnchangedAndOtherMembersAreIgnored) {
  auto request = parse_request_line("{\"id\":7,\"cmd\":\"Say\",\"args\":\"hi\"}\n");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->name, "Say");  // case is kept for the exact match later
  EXPECT_EQ(request->args, json("hi"));
}

TEST(RequestLine, MalformedLinesAreBadRequests) {
  for (const char* line : {"{\"cmd\":5}\n", "[1,2]\n", "hello\n", "\n", "", "{}\n",
                           "{\"cmd\":null}\n", "{\"cmd\":\"say\"} x\n",
                           "{\"cmd\":\"a\"}{\"cmd\":\"b\"}\n", "{\"cmd\":\"say\"\n",
                           "\"cmd\"\n"}) {
    EXPECT_FALSE(parse_request_line(line)) << line;
  }
  // A NUL byte ends nothing: what follows it is still part of the line.
  using namespace std::string_literals;
  for (const std::string& line : {"{\"cmd\":\"say\",\"args\":{\"text\":\"hi\"}}\0}}}}\n"s,
                                  "{\"cmd\":\"say\"}\0\n"s, "{\"cmd\":\"s\0ay\"}\n"s}) {
    EXPECT_FALSE(parse_request_line(line)) << line.size();
  }
}

TEST(RequestLine, SurroundingWhiteSpaceIsAccepted) {
  for (const char* line : {"{\"cmd\":\"say\",\"args\":{\"text\":\"hi\"}}   \n",
                           "{\"cmd\":\"say\",\"args\":{\"text\":\"hi\"}}\r\n",
                           " \t{\"cmd\":\"say\",\"args\":{\"text\":\"hi\"}}\t\r\n",
                           "{\"cmd\":\"say\",\"args\":{\"text\":\"hi\"}}"}) {
    auto request = parse_request_line(line);
    ASSERT_TRUE(request) << line;
    EXPECT_EQ(request->args, json({{"text", "hi"}}));
  }
}

TEST(RequestLine, NestingIsLimitedTo128Levels) {
  // The request object itself is the first level.
  std::string deepest = "{\"cmd\":\"x\",\"args\":" + nested_args(127) + "}\n";
  std::string too_deep = "{\"cmd\":\"x\",\"args\":" + nested_args(128) + "}\n";
  EXPECT_TRUE(parse_request_line(deepest));
  EXPECT_FALSE(parse_request_line(too_deep));
  // Brackets inside strings are text, not nesting.
  std::string brackets = "{\"cmd\":\"x\",\"args\":\"" + nested_args(300) + "\"}\n";
  EXPECT_TRUE(parse_request_line(brackets));
}

TEST(ReplyLine, MembersComeMsgFirstExceptInTheFixedBadRequestReply) {
  EXPECT_EQ(reply_line({true, "walking to x=400"}), "{\"msg\":\"walking to x=400\",\"ok\":true}\n");
  EXPECT_EQ(reply_line({false, "say \"hi\"\n"}), "{\"msg\":\"say \\\"hi\\\"\\n\",\"ok\":false}\n");
  EXPECT_EQ(kBadRequestReply, "{\"ok\":false,\"msg\":\"bad request\"}\n");
  EXPECT_EQ(kBadRequestReply.size(), 33u);
  EXPECT_EQ(request_line("say", {{"text", "hi"}}), "{\"args\":{\"text\":\"hi\"},\"cmd\":\"say\"}\n");
}

TEST(ReplyLine, ClientReadsForgivingly) {
  auto reply = parse_reply_line("{\"ok\":\"yes\",\"msg\":3}\n");
  ASSERT_TRUE(reply);
  EXPECT_FALSE(reply->ok);
  EXPECT_EQ(reply->msg, "");
  reply = parse_reply_line("{\"msg\":\"said\",\"ok\":true}\n");
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->ok);
  EXPECT_EQ(reply->msg, "said");
  EXPECT_FALSE(parse_reply_line(""));
  EXPECT_FALSE(parse_reply_line("nope\n"));
}

TEST(ReplyChannel, FirstAnswerWinsAndLateAnswersAreIgnored) {
  ReplyPair pair = make_reply_channel();
  EXPECT_TRUE(pair.sender.send({true, "one"}));
  EXPECT_FALSE(pair.sender.send({true, "two"}));
  auto reply = pair.receiver.wait_until(std::chrono::steady_clock::now() + 1s);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->msg, "one");

  ReplyPair gave_up = make_reply_channel();
  EXPECT_FALSE(gave_up.receiver.wait_until(std::chrono::steady_clock::now() + 10ms));
  EXPECT_FALSE(gave_up.sender.send({true, "late"}));
}

TEST(ReplyChannel, DroppedRequestWakesTheWaiterAtOnce) {
  ReplyPair pair = make_reply_channel();
  std::thread dropper([sender = std::move(pair.sender)]() mutable {
    std::this_thread::sleep_for(20ms);
    CommandRequest request{"walk", json::object(), std::move(sender)};
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(pair.receiver.wait_until(start + 10s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  dropper.join();
}

TEST(CommandChannel, KeepsOrderAcrossSendersAndFailsOnceClosed) {
  auto channel = std::make_shared<CommandChannel>();
  std::vector<std::thread> senders;
  for (int t = 0; t < 4; ++t) {
    senders.emplace_back([channel, t] {
      for (int i = 0; i < 500; ++i) {
        ReplyPair pair = make_reply_channel();
        channel->send({std::to_string(t), json(i), std::move(pair.sender)});
      }
    });
  }
  for (auto& sender : senders) sender.join();
  std::vector<int> next(4, 0);
  int total = 0;
  while (auto request = channel->try_receive()) {
    int t = std::stoi(request->name);
    EXPECT_EQ(request->args.get<int>(), next[static_cast<std::size_t>(t)]++);
    ++total;
  }
  EXPECT_EQ(total, 2000);

  ReplyPair queued = make_reply_channel();
  ASSERT_TRUE(channel->send({"walk", json::object(), std::move(queued.sender)}));
  channel->close();
  // Queued requests go with the closed channel and their waiters learn it at once.
  EXPECT_FALSE(queued.receiver.wait_until(std::chrono::steady_clock::now() + 10s));
  ReplyPair late = make_reply_channel();
  EXPECT_FALSE(channel->send({"walk", json::object(), std::move(late.sender)}));
  EXPECT_FALSE(channel->try_receive());
}

}  // namespace
}  // namespace perchkin
