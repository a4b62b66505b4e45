// The Windows renderer: Direct3D 11 on a DXGI composition swap chain shown through
// DirectComposition, with Direct2D and DirectWrite for the 2D passes on the same surface. Where
// composition is unavailable (as under Wine) it falls back to a software presenter: the CPU
// reference rasterizer and the 2D passes into a DIB shown with UpdateLayeredWindow.
#pragma once

#include <memory>

#include "gpu/renderer.h"

namespace perchkin {

// start() takes the overlay's HWND as the window handle.
std::unique_ptr<Renderer> make_d3d11_renderer();

}  // namespace perchkin
