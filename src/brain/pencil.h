// A buddy's pencil flight: queueing draw jobs, flying the pencil along their strokes, and the
// ink, text and placement events it leaves for the scene.
#pragma once

#include "base/status.h"
#include "brain/world_view.h"
#include "crowd/buddy.h"

#include <string>

namespace perchkin {

// Wakes a sleeper, refuses while held, starts the job at once or queues it (at most 20 wait).
Status queue_job(Buddy& b, DrawJob job);
void start_flight(Buddy& b, DrawJob job);
// The motion of mode `drawing`, once per 1/60 s.
void pencil_step(Buddy& b, const WorldView& view);
// Finishes the line being inked and drops the job in flight and every waiting job. The caller
// sets the buddy's new mode.
void abandon_drawing(Buddy& b);

// The pencil's start point when no pencil is out.
StrokePoint pencil_home(const Buddy& b);

}  // namespace perchkin
