#include "gpu/backend_policy.h"

namespace perchkin {

std::vector<DriverKind> device_attempts(bool software) {
  if (software) return {DriverKind::warp};
  return {DriverKind::hardware, DriverKind::warp};
}

StartOutcome after_start_failure(StartStage stage) {
  return stage == StartStage::composition ? StartOutcome::software_presenter : StartOutcome::fail;
}

bool device_lost(std::uint32_t hresult) {
  switch (hresult) {
    case 0x887A0005u:  // DXGI_ERROR_DEVICE_REMOVED
    case 0x887A0006u:  // DXGI_ERROR_DEVICE_HUNG
    case 0x887A0007u:  // DXGI_ERROR_DEVICE_RESET
    case 0x887A0020u:  // DXGI_ERROR_DRIVER_INTERNAL_ERROR
      return true;
    default:
      return false;
  }
}

}  // namespace perchkin
