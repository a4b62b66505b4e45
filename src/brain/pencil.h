// A buddy's pencil flight: queueing draw jobs, flying the pencil along their strokes, and the
// ink, text and placement events it leaves for the scene.
#pragma once

#include "base/status.h"
#include "brain/world_view.h"
#include "crowd/buddy.h"
#include "crowd/crew.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace perchkin {

// Points the whole crew may have in drawing jobs at once, waiting or in flight. Each command is
// bounded on its own; this bounds a flood of them to every buddy, which would otherwise take
// memory and tick time without end. One command within its own limits always fits an idle crew.
inline constexpr std::size_t kMaxCrewDrawingPoints = 400000;
inline constexpr std::string_view kTooMuchDrawing =
    "too much drawing waiting; try again in a moment";

// The points of a job's strokes.
std::size_t job_points(const DrawJob& job);
// The points of every queued job of the crew, waiting or in flight.
std::size_t crew_drawing_points(const Crew& crew);

// Wakes a sleeper, refuses while held, starts the job at once or queues it (at most 20 wait).
// `room` is how many more points the crew may queue (kMaxCrewDrawingPoints less what it holds);
// a bigger job is refused with kTooMuchDrawing.
Status queue_job(Buddy& b, DrawJob job, std::size_t room);
void start_flight(Buddy& b, DrawJob job);
// The motion of mode `drawing`, once per 1/60 s.
void pencil_step(Buddy& b, const WorldView& view);
// Finishes the line being inked and drops the job in flight and every waiting job. The caller
// sets the buddy's new mode.
void abandon_drawing(Buddy& b);

}  // namespace perchkin
