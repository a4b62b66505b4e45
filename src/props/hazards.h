// Hazard and platform props: placing them, the per-tick prop pass that decides which buddies
// they hit, and the flames, embers, rain and fuse sparks they give off.
#pragma once

#include "crowd/buddy.h"
#include "crowd/crew.h"
#include "props/effects.h"
#include "props/prop.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace perchkin {

// Places a prop with the next id and returns that id; a non-finite point places nothing. The
// size is clamped to [kMinPropSize, kMaxPropSize] (a non-finite one takes the kind's default);
// a negative or non-finite ttl counts as 0 (no expiry). A platform's ends are ordered by x. With
// kMaxProps placed, the oldest goes to make room.
std::optional<std::uint32_t> place_prop(Effects& fx, const PropPlacement& placement, double now);

// The prop pass of one tick, in this order over all props: expiry; clouds put out the fires
// below them (steam entries); bombs fall, land on the first surface below (their fuse lights)
// and explode 3 s after landing (blast entries and blast hits); fires burn buddies; bolts strike
// once when 0.35 s old (a strike entry, zap hits, and a new fire where they meet a surface).
// `surfaces` are the tick's desktop and drawn ledges in desktop pixels (buddy and ceiling
// supports are skipped). Buddies are only read; the returned hits are for the world tick. A buddy
// gets at most one burn or zap per pass. Each hazard looks only at the buddies, and each cloud
// only at the burning fires, within its reach across.
std::vector<HazardHit> prop_pass(Effects& fx, const Crew& crew, std::span<const Support> surfaces,
                                 double now);

// Each tick's flames and embers of fires, rain of clouds and fuse sparks of bombs.
void emit_prop_particles(Effects& fx, double now);

}  // namespace perchkin
