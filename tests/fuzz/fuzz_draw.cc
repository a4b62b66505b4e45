// draw and turtle argument validation on arbitrary JSON: no crash, no hang, bounded output.
#include "crowd/buddy.h"
#include "scene/draw_command.h"
#include "base/json.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto args = perchkin::parse_json(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!args || !args->is_object()) return 0;
  perchkin::Buddy b;
  b.motion.unit = 3.0;
  b.motion.x = 500;
  b.motion.y = 1000;
  for (const perchkin::Result<perchkin::DrawPlan>& plan :
       {perchkin::plan_draw(*args, b, 1.25), perchkin::plan_turtle(*args, b, 1.0)}) {
    if (plan.ok() == plan.error.empty() && plan.ok() && !plan->clear && !plan->job) std::abort();
    if (plan.ok() && plan->job) {
      std::size_t points = 0;
      for (const auto& s : plan->job->strokes) points += s.points.size();
      if (points > 100000) std::abort();
    }
  }
  return 0;
}
