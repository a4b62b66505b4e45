// Arbitrary request lines through the port's path: parse, dispatch, one world tick. Every
// answer must be exactly one line.
#include "app/app.h"
#include "app/commands.h"
#include "ipc/command.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

struct Harness {
  perchkin::FakeDesktop desktop;
  perchkin::VirtualClock clock;
  perchkin::App app;
  Harness() {
    clock.hour = 3;
    perchkin::init_app(app, desktop, clock, 200, 99);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Harness* h = new Harness();
  perchkin::App& app = h->app;
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  std::string reply;
  if (auto request = perchkin::parse_request_line(line)) {
    const perchkin::CommandReply r = perchkin::run_command(app, request->name, request->args);
    reply = perchkin::reply_line(r);
  } else {
    reply = std::string(perchkin::kBadRequestReply);
  }
  if (reply.empty() || reply.back() != '\n' || reply.find('\n') != reply.size() - 1) std::abort();
  // A quit only ends the loop; keep the world going for the next input.
  app.running = true;
  app.sim_clock += perchkin::kTick;
  perchkin::world_tick(app);
  // Keep the crew from growing across inputs without end.
  if (app.world.crew.buddies.size() > 40) app.world.crew.truncate(1);
  return 0;
}
