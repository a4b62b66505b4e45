// Direct3D 11 on a DXGI composition swap chain shown through DirectComposition, with Direct2D
// for the 2D layers on the same surface. Start-up order: the device, then composition (which
// may be missing, as under Wine: the caller then takes the software presenter), then the
// shaders and resources.
#include "gpu/presenter_d3d11.h"

#include <d3d11_1.h>
#include <d3dcompiler.h>
#include <dcomp.h>
#include <dxgi1_3.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "gpu/backend_policy.h"
#include "gpu/overlay_2d.h"
#include "gpu/shader_hlsl.h"

using Microsoft::WRL::ComPtr;

namespace perchkin {

namespace {

Status fail(const char* call, HRESULT hr) { return Status::fail(hresult_text(call, hr)); }

bool is_lost(HRESULT hr) { return device_lost(static_cast<std::uint32_t>(hr)); }

}  // namespace

struct D3D11Presenter::GpuObjects {
  ComPtr<ID3D11Device> device;
  ComPtr<ID3D11DeviceContext> context;
  ComPtr<ID3D11DeviceContext1> context1;  // ClearView, where the driver has it
  ComPtr<IDXGIDevice> dxgi;
  ComPtr<IDXGISwapChain1> swap_chain;
  ComPtr<ID3D11RenderTargetView> rtv;
  ComPtr<IDCompositionDevice> dcomp;
  ComPtr<IDCompositionTarget> dtarget;
  ComPtr<IDCompositionVisual> visual;
  ComPtr<ID3D11VertexShader> sprite_vs, shadow_vs, glow_vs;
  ComPtr<ID3D11PixelShader> sprite_ps, shadow_ps, glow_ps;
  ComPtr<ID3D11ShaderResourceView> atlas, halo;
  ComPtr<ID3D11SamplerState> soft;
  ComPtr<ID3D11BlendState> blend;
  ComPtr<ID3D11RasterizerState> raster;
  ComPtr<ID3D11Buffer> instances;
  ComPtr<ID3D11ShaderResourceView> instances_view;
  std::size_t capacity = 0;
  ComPtr<ID3D11Buffer> constants;
  ComPtr<ID2D1Device> d2d_device;
  ComPtr<ID2D1DeviceContext> d2d;
  ComPtr<ID2D1Bitmap1> d2d_target;
  PixelSize size{0, 0};
  PixelRect placed{-1, -1, -1, -1};
};

D3D11Presenter::D3D11Presenter(HWND window, ID2D1Factory1* factory, D2DCanvas& canvas,
                               const SpriteTextures& textures)
    : window_(window), factory_(factory), canvas_(canvas), textures_(textures),
      gpu_(std::make_unique<GpuObjects>()) {}

D3D11Presenter::~D3D11Presenter() { canvas_.set_target(nullptr, false); }

Status D3D11Presenter::start(const PixelSize& size, bool software, StartStage& stage) {
  Status s = start_device(size, software, stage);
  if (s.ok()) s = start_pipelines();
  return s;
}

Status D3D11Presenter::start_device(const PixelSize& size, bool software, StartStage& stage) {
  stage = StartStage::device;
  const D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_11_0;
  HRESULT hr = E_FAIL;
  for (DriverKind kind : device_attempts(software)) {
    gpu_->device.Reset();
    gpu_->context.Reset();
    hr = D3D11CreateDevice(nullptr, kind == DriverKind::warp ? D3D_DRIVER_TYPE_WARP : D3D_DRIVER_TYPE_HARDWARE,
                           nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, &level, 1, D3D11_SDK_VERSION,
                           gpu_->device.GetAddressOf(), nullptr, gpu_->context.GetAddressOf());
    if (SUCCEEDED(hr)) break;
  }
  if (FAILED(hr)) return fail("D3D11CreateDevice", hr);
  if (!gpu_->device || !gpu_->context) return fail("D3D11CreateDevice", E_POINTER);
  gpu_->context.As(&gpu_->context1);
  if (FAILED(hr = gpu_->device.As(&gpu_->dxgi))) return fail("QueryInterface(IDXGIDevice)", hr);

  stage = StartStage::composition;
  ComPtr<IDXGIFactory2> dxgi_factory;
  if (FAILED(hr = CreateDXGIFactory2(0, IID_PPV_ARGS(dxgi_factory.GetAddressOf()))))
    return fail("CreateDXGIFactory2", hr);
  DXGI_SWAP_CHAIN_DESC1 desc{};
  desc.Width = static_cast<UINT>(size.width);
  desc.Height = static_cast<UINT>(size.height);
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.Stereo = FALSE;
  desc.SampleDesc.Count = 1;
  desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
  desc.BufferCount = 2;
  desc.Scaling = DXGI_SCALING_STRETCH;
  desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_SEQUENTIAL;
  desc.AlphaMode = DXGI_ALPHA_MODE_PREMULTIPLIED;
  if (FAILED(hr = dxgi_factory->CreateSwapChainForComposition(gpu_->device.Get(), &desc, nullptr,
                                                              gpu_->swap_chain.GetAddressOf())))
    return fail("CreateSwapChainForComposition", hr);
  gpu_->size = size;
  if (FAILED(hr = DCompositionCreateDevice(gpu_->dxgi.Get(), IID_PPV_ARGS(gpu_->dcomp.GetAddressOf()))))
    return fail("DCompositionCreateDevice", hr);
  if (FAILED(hr = gpu_->dcomp->CreateTargetForHwnd(window_, TRUE, gpu_->dtarget.GetAddressOf())))
    return fail("CreateTargetForHwnd", hr);
  if (FAILED(hr = gpu_->dcomp->CreateVisual(gpu_->visual.GetAddressOf()))) return fail("CreateVisual", hr);
  if (FAILED(hr = gpu_->dtarget->SetRoot(gpu_->visual.Get()))) return fail("IDCompositionTarget::SetRoot", hr);
  if (FAILED(hr = gpu_->visual->SetContent(gpu_->swap_chain.Get())))
    return fail("IDCompositionVisual::SetContent", hr);
  if (FAILED(hr = gpu_->dcomp->Commit())) return fail("IDCompositionDevice::Commit", hr);
  return Status::success();
}

Status D3D11Presenter::compile(const ShaderEntry& entry, ComPtr<ID3DBlob>& code) {
  const std::string_view source = shader_hlsl();
  const std::string name(entry.name);
  const std::string target(entry.target);
  ComPtr<ID3DBlob> errors;
  const HRESULT hr = D3DCompile(source.data(), source.size(), "perchkin.hlsl", nullptr, nullptr, name.c_str(),
                                target.c_str(), 0, 0, code.GetAddressOf(), errors.GetAddressOf());
  if (FAILED(hr)) {
    std::string message = hresult_text(("D3DCompile(" + name + ")").c_str(), hr);
    if (errors && errors->GetBufferSize() > 0)
      message += ": " + std::string(static_cast<const char*>(errors->GetBufferPointer()),
                                    strnlen(static_cast<const char*>(errors->GetBufferPointer()),
                                            errors->GetBufferSize()));
    return Status::fail(message);
  }
  if (!code) return fail("D3DCompile", E_POINTER);
  return Status::success();
}

Status D3D11Presenter::start_pipelines() {
  ID3D11Device* dev = gpu_->device.Get();
  HRESULT hr = S_OK;
  for (const ShaderEntry& e : kShaderEntries) {
    ComPtr<ID3DBlob> code;
    if (Status s = compile(e, code); !s.ok()) return s;
    const void* bytes = code->GetBufferPointer();
    const SIZE_T size = code->GetBufferSize();
    if (e.name == "SpriteVS") hr = dev->CreateVertexShader(bytes, size, nullptr, gpu_->sprite_vs.GetAddressOf());
    else if (e.name == "ShadowVS") hr = dev->CreateVertexShader(bytes, size, nullptr, gpu_->shadow_vs.GetAddressOf());
    else if (e.name == "GlowVS") hr = dev->CreateVertexShader(bytes, size, nullptr, gpu_->glow_vs.GetAddressOf());
    else if (e.name == "SpritePS") hr = dev->CreatePixelShader(bytes, size, nullptr, gpu_->sprite_ps.GetAddressOf());
    else if (e.name == "ShadowPS") hr = dev->CreatePixelShader(bytes, size, nullptr, gpu_->shadow_ps.GetAddressOf());
    else hr = dev->CreatePixelShader(bytes, size, nullptr, gpu_->glow_ps.GetAddressOf());
    if (FAILED(hr)) return fail(e.stage == ShaderStage::vertex ? "CreateVertexShader" : "CreatePixelShader", hr);
  }

  auto texture = [&](int width, int height, DXGI_FORMAT format, const std::vector<std::uint8_t>& data,
                     ComPtr<ID3D11ShaderResourceView>& view) -> Status {
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(width);
    desc.Height = static_cast<UINT>(height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = format;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA init{data.data(), static_cast<UINT>(width), 0};
    ComPtr<ID3D11Texture2D> tex;
    HRESULT r = dev->CreateTexture2D(&desc, &init, tex.GetAddressOf());
    if (FAILED(r)) return fail("CreateTexture2D", r);
    r = dev->CreateShaderResourceView(tex.Get(), nullptr, view.GetAddressOf());
    if (FAILED(r)) return fail("CreateShaderResourceView", r);
    return Status::success();
  };
  if (Status s = texture(kHaloWidth, kHaloHeight, DXGI_FORMAT_R8_UNORM, textures_.halo, gpu_->halo); !s.ok()) return s;
  if (Status s = texture(kAtlasWidth, kAtlasHeight, DXGI_FORMAT_R8_UINT, textures_.atlas, gpu_->atlas); !s.ok())
    return s;

  D3D11_SAMPLER_DESC sampler{};
  sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
  sampler.AddressU = sampler.AddressV = sampler.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
  sampler.ComparisonFunc = D3D11_COMPARISON_NEVER;
  sampler.MinLOD = 0.0f;
  sampler.MaxLOD = D3D11_FLOAT32_MAX;
  if (FAILED(hr = dev->CreateSamplerState(&sampler, gpu_->soft.GetAddressOf()))) return fail("CreateSamplerState", hr);

  gpu_->capacity = 0;
  if (Status s = create_instance_buffer(kInitialInstanceCapacity); !s.ok()) return s;

  D3D11_BUFFER_DESC cb{};
  cb.ByteWidth = sizeof(Frame);
  cb.Usage = D3D11_USAGE_DYNAMIC;
  cb.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
  cb.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
  if (FAILED(hr = dev->CreateBuffer(&cb, nullptr, gpu_->constants.GetAddressOf()))) return fail("CreateBuffer", hr);

  D3D11_BLEND_DESC blend{};
  D3D11_RENDER_TARGET_BLEND_DESC& t = blend.RenderTarget[0];
  t.BlendEnable = TRUE;
  t.SrcBlend = D3D11_BLEND_ONE;
  t.DestBlend = D3D11_BLEND_INV_SRC_ALPHA;
  t.BlendOp = D3D11_BLEND_OP_ADD;
  t.SrcBlendAlpha = D3D11_BLEND_ONE;
  t.DestBlendAlpha = D3D11_BLEND_INV_SRC_ALPHA;
  t.BlendOpAlpha = D3D11_BLEND_OP_ADD;
  t.RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
  if (FAILED(hr = dev->CreateBlendState(&blend, gpu_->blend.GetAddressOf()))) return fail("CreateBlendState", hr);

  D3D11_RASTERIZER_DESC raster{};
  raster.FillMode = D3D11_FILL_SOLID;
  raster.CullMode = D3D11_CULL_NONE;
  raster.DepthClipEnable = TRUE;
  if (FAILED(hr = dev->CreateRasterizerState(&raster, gpu_->raster.GetAddressOf())))
    return fail("CreateRasterizerState", hr);

  if (FAILED(hr = factory_->CreateDevice(gpu_->dxgi.Get(), gpu_->d2d_device.GetAddressOf())))
    return fail("ID2D1Factory1::CreateDevice", hr);
  if (FAILED(hr = gpu_->d2d_device->CreateDeviceContext(D2D1_DEVICE_CONTEXT_OPTIONS_NONE, gpu_->d2d.GetAddressOf())))
    return fail("CreateDeviceContext", hr);
  canvas_.set_target(gpu_->d2d.Get(), false);
  return attach_back_buffer();
}

Status D3D11Presenter::create_instance_buffer(std::size_t capacity) {
  gpu_->instances.Reset();
  gpu_->instances_view.Reset();
  D3D11_BUFFER_DESC desc{};
  desc.ByteWidth = static_cast<UINT>(capacity * sizeof(BuddyInstance));
  desc.Usage = D3D11_USAGE_DYNAMIC;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
  desc.MiscFlags = D3D11_RESOURCE_MISC_BUFFER_STRUCTURED;
  desc.StructureByteStride = sizeof(BuddyInstance);
  HRESULT hr = gpu_->device->CreateBuffer(&desc, nullptr, gpu_->instances.GetAddressOf());
  if (FAILED(hr)) return fail("CreateBuffer", hr);
  D3D11_SHADER_RESOURCE_VIEW_DESC view{};
  view.Format = DXGI_FORMAT_UNKNOWN;
  view.ViewDimension = D3D11_SRV_DIMENSION_BUFFER;
  view.Buffer.FirstElement = 0;
  view.Buffer.NumElements = static_cast<UINT>(capacity);
  hr = gpu_->device->CreateShaderResourceView(gpu_->instances.Get(), &view, gpu_->instances_view.GetAddressOf());
  if (FAILED(hr)) return fail("CreateShaderResourceView", hr);
  gpu_->capacity = capacity;
  return Status::success();
}

Status D3D11Presenter::attach_back_buffer() {
  ComPtr<ID3D11Texture2D> back;
  HRESULT hr = gpu_->swap_chain->GetBuffer(0, IID_PPV_ARGS(back.GetAddressOf()));
  if (FAILED(hr)) return fail("IDXGISwapChain::GetBuffer", hr);
  if (FAILED(hr = gpu_->device->CreateRenderTargetView(back.Get(), nullptr, gpu_->rtv.GetAddressOf())))
    return fail("CreateRenderTargetView", hr);
  ComPtr<IDXGISurface> surface;
  if (FAILED(hr = back.As(&surface))) return fail("QueryInterface(IDXGISurface)", hr);
  const D2D1_BITMAP_PROPERTIES1 props = D2D1::BitmapProperties1(
      D2D1_BITMAP_OPTIONS_TARGET | D2D1_BITMAP_OPTIONS_CANNOT_DRAW,
      D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96.0f, 96.0f);
  if (FAILED(hr = gpu_->d2d->CreateBitmapFromDxgiSurface(surface.Get(), &props, gpu_->d2d_target.GetAddressOf())))
    return fail("CreateBitmapFromDxgiSurface", hr);
  gpu_->d2d->SetTarget(gpu_->d2d_target.Get());
  return Status::success();
}

Status D3D11Presenter::resize(int width, int height) {
  const PixelSize size{width, height};
  if (size == gpu_->size) return Status::success();
  gpu_->d2d->SetTarget(nullptr);
  gpu_->d2d_target.Reset();
  gpu_->rtv.Reset();
  gpu_->context->OMSetRenderTargets(0, nullptr, nullptr);
  gpu_->context->ClearState();
  gpu_->context->Flush();
  const HRESULT hr = gpu_->swap_chain->ResizeBuffers(2, static_cast<UINT>(size.width), static_cast<UINT>(size.height),
                                                    DXGI_FORMAT_B8G8R8A8_UNORM, 0);
  if (FAILED(hr)) return failed("IDXGISwapChain::ResizeBuffers", hr);
  gpu_->size = size;
  return attach_back_buffer();
}

// The composition visual follows the buffer's place; then the rectangles are cleared.
Status D3D11Presenter::begin(const FrameDraw& f) {
  const PixelRect& buffer = f.buffer;
  if (buffer.left != gpu_->placed.left || buffer.top != gpu_->placed.top) {
    gpu_->visual->SetOffsetX(static_cast<float>(buffer.left));
    gpu_->visual->SetOffsetY(static_cast<float>(buffer.top));
    if (const HRESULT hr = gpu_->dcomp->Commit(); FAILED(hr)) return failed("IDCompositionDevice::Commit", hr);
  }
  gpu_->placed = buffer;
  const float clear[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  if (gpu_->context1) {
    std::array<D3D11_RECT, 2 * kMaxClearRects + 1> rects{};
    UINT n = 0;
    for (const PixelRect& r : f.rects)
      if (n < rects.size()) rects[n++] = D3D11_RECT{r.left, r.top, r.right, r.bottom};
    if (n > 0) gpu_->context1->ClearView(gpu_->rtv.Get(), clear, rects.data(), n);
  } else {
    gpu_->context->ClearRenderTargetView(gpu_->rtv.Get(), clear);
  }
  return Status::success();
}

Status D3D11Presenter::layer(const FrameDraw& f, Layer which) {
  const PixelRect& buffer = f.buffer;
  gpu_->d2d->BeginDraw();
  canvas_.set_transform(canvas_translate(static_cast<float>(-buffer.left), static_cast<float>(-buffer.top)));
  if (which == Layer::below) draw_pass_one(canvas_, *f.in);
  else draw_pass_two(canvas_, *f.in, f.instances);
  canvas_.set_transform({});
  const HRESULT hr = gpu_->d2d->EndDraw();
  if (FAILED(hr)) return failed("ID2D1DeviceContext::EndDraw", hr);
  return Status::success();
}

void D3D11Presenter::draw_instances(const FrameDraw& f) {
  ID3D11DeviceContext* c = gpu_->context.Get();
  const UINT count = static_cast<UINT>(f.instances.size());
  c->IASetInputLayout(nullptr);
  c->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
  c->RSSetState(gpu_->raster.Get());
  const D3D11_VIEWPORT viewport{0.0f, 0.0f, static_cast<float>(gpu_->size.width),
                                static_cast<float>(gpu_->size.height), 0.0f, 1.0f};
  c->RSSetViewports(1, &viewport);
  const float factor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  c->OMSetBlendState(gpu_->blend.Get(), factor, 0xFFFFFFFFu);
  c->OMSetDepthStencilState(nullptr, 0);
  ID3D11RenderTargetView* rtv = gpu_->rtv.Get();
  c->OMSetRenderTargets(1, &rtv, nullptr);
  c->GSSetShader(nullptr, nullptr, 0);
  ID3D11Buffer* constants = gpu_->constants.Get();
  c->VSSetConstantBuffers(0, 1, &constants);
  ID3D11ShaderResourceView* instances = gpu_->instances_view.Get();
  c->VSSetShaderResources(0, 1, &instances);
  ID3D11ShaderResourceView* atlas = gpu_->atlas.Get();
  c->PSSetShaderResources(1, 1, &atlas);

  c->VSSetShader(gpu_->shadow_vs.Get(), nullptr, 0);
  c->PSSetShader(gpu_->shadow_ps.Get(), nullptr, 0);
  c->DrawInstanced(4, count, 0, 0);
  if (f.constants->glow > 0.0f) {
    c->PSSetConstantBuffers(0, 1, &constants);
    ID3D11ShaderResourceView* halo = gpu_->halo.Get();
    c->PSSetShaderResources(2, 1, &halo);
    ID3D11SamplerState* soft = gpu_->soft.Get();
    c->PSSetSamplers(0, 1, &soft);
    c->VSSetShader(gpu_->glow_vs.Get(), nullptr, 0);
    c->PSSetShader(gpu_->glow_ps.Get(), nullptr, 0);
    c->DrawInstanced(4, count, 0, 0);
  }
  c->VSSetShader(gpu_->sprite_vs.Get(), nullptr, 0);
  c->PSSetShader(gpu_->sprite_ps.Get(), nullptr, 0);
  c->DrawInstanced(4, count, 0, 0);
  c->OMSetRenderTargets(0, nullptr, nullptr);
  c->Flush();
}

Status D3D11Presenter::buddies(const FrameDraw& f) {
  HRESULT hr = S_OK;
  if (f.capacity != gpu_->capacity)
    if (Status s = create_instance_buffer(f.capacity); !s.ok()) return s;
  D3D11_MAPPED_SUBRESOURCE mapped{};
  if (FAILED(hr = gpu_->context->Map(gpu_->instances.Get(), 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped)))
    return failed("ID3D11DeviceContext::Map", hr);
  std::memcpy(mapped.pData, f.instances.data(), f.instances.size() * sizeof(BuddyInstance));
  gpu_->context->Unmap(gpu_->instances.Get(), 0);
  if (FAILED(hr = gpu_->context->Map(gpu_->constants.Get(), 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped)))
    return failed("ID3D11DeviceContext::Map", hr);
  std::memcpy(mapped.pData, f.constants, sizeof(Frame));
  gpu_->context->Unmap(gpu_->constants.Get(), 0);
  draw_instances(f);
  return Status::success();
}

Status D3D11Presenter::present(const FrameDraw& f) {
  const HRESULT hr = gpu_->swap_chain->Present(static_cast<UINT>(f.present_interval), 0);
  if (FAILED(hr)) return failed("IDXGISwapChain::Present", hr);
  return Status::success();
}

// Direct2D reports a lost device as "recreate the target".
bool D3D11Presenter::lost() {
  if (lost_ || failed_hr_ == S_OK) return lost_;
  HRESULT reason = gpu_->device ? gpu_->device->GetDeviceRemovedReason() : S_OK;
  if (!is_lost(reason) && (is_lost(failed_hr_) || failed_hr_ == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)))
    reason = failed_hr_;
  lost_ = is_lost(reason) || reason == static_cast<HRESULT>(D2DERR_RECREATE_TARGET);
  if (lost_)
    std::fprintf(stderr, "perchkin: the graphics device was lost (0x%08lX); starting it again\n",
                 static_cast<unsigned long>(reason));
  return lost_;
}

}  // namespace perchkin
