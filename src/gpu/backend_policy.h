// Decisions of the Windows renderer's start-up and recovery that need no Windows headers, so
// they are tested everywhere: which drivers to try, which failures fall back to the software
// presenter, and which errors mean the device is gone and must be made again.
#pragma once

#include <cstdint>
#include <vector>

namespace perchkin {

enum class DriverKind { hardware, warp };

// Hardware first, then the WARP software rasterizer; WARP alone with --software.
std::vector<DriverKind> device_attempts(bool software);

enum class StartStage { factory, device, composition, shaders, resources };
enum class StartOutcome { software_presenter, fail };

// Composition missing (no DirectComposition or composition swap chains, as under Wine) is no
// reason to give up: the software presenter shows the same frame. Every other failure is the
// graphics start-up error.
StartOutcome after_start_failure(StartStage stage);

// DXGI_ERROR_DEVICE_REMOVED, DXGI_ERROR_DEVICE_RESET (and the hung/driver-internal variants):
// the device and everything made on it must be created again.
bool device_lost(std::uint32_t hresult);

}  // namespace perchkin
