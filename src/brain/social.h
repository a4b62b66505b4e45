// Social play (chats, dance-offs, high fives, tag), messages between buddies, and the reactions
// to the user's hand and to hazards.
#pragma once

#include "brain/world_view.h"
#include "crowd/crew.h"

namespace perchkin {

// The crew-wide social tick; `next_social` advances even while the `social` setting is off.
void social_tick(Crew& crew, double now);
// Applies and empties the outbox of the buddy at `sender` (messages to unknown ids are dropped).
void deliver_messages(Crew& crew, std::size_t sender);
// The tag rule after the brain's chase caught a partner: the catcher's line, the caught one's
// line 0.6 s later and, while bounces remain, a tag back.
void apply_tag_catch(Buddy& catcher);

// The user's hand.
void grab(Buddy& b, double now, double pointer_x, double pointer_y);
void poke(Buddy& b, double now);
void pet(Buddy& b, double now);

// Hazards.
void burn(Buddy& b, double away, double now);
void zap(Buddy& b, double now);
void blast(Buddy& b, double vx, double vy);

// Thrown buddies flying faster than 150 units/s knock over grounded buddies they run into.
// A buddy already in the air can't be knocked, so one pair knocks at most once until the hit
// buddy lands again.
void knock_overs(Crew& crew);

}  // namespace perchkin
