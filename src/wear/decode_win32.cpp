// Windows image decoding through the Windows Imaging Component: the first frame, shrunk with
// the Fant scaler and converted to premultiplied BGRA. COM is set up for the calling thread
// around every call, so any worker thread may decode.
#include "wear/wear_backend.h"
#include "base/utf16_win32.h"

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <cstdio>
#include <string>

namespace perchkin {

namespace {

struct ComApartment {
  HRESULT hr;
  ComApartment() : hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

template <class T>
struct ComRef {
  T* p = nullptr;
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (p) p->Release();
  }
  T** out() { return &p; }
  T* operator->() const { return p; }
};

std::string hresult_text(HRESULT hr) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, static_cast<DWORD>(hr), 0,
                                 reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::string text;
  if (n > 0 && buffer) text = narrow(std::wstring_view(buffer, n));
  if (buffer) LocalFree(buffer);
  // System texts end in ".\r\n"; the message adds its own punctuation.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                           text.back() == '.'))
    text.pop_back();
  if (text.empty()) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "error 0x%08lX", static_cast<unsigned long>(hr));
    text = hex;
  }
  return text;
}

// The imaging objects of one call, released in reverse order.
struct Opened {
  ComRef<IWICImagingFactory> factory;
  ComRef<IWICStream> stream;
  ComRef<IWICBitmapDecoder> decoder;
  ComRef<IWICBitmapFrameDecode> frame;
};

HRESULT open_first_frame(std::span<const std::uint8_t> bytes, Opened& o) {
  if (bytes.size() > 0x7FFFFFFF) return E_INVALIDARG;
  HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(o.factory.out()));
  if (FAILED(hr)) return hr;
  if (FAILED(hr = o.factory->CreateStream(o.stream.out()))) return hr;
  if (FAILED(hr = o.stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()),
                                                 static_cast<DWORD>(bytes.size()))))
    return hr;
  if (FAILED(hr = o.factory->CreateDecoderFromStream(o.stream.p, nullptr,
                                                     WICDecodeMetadataCacheOnDemand,
                                                     o.decoder.out())))
    return hr;
  return o.decoder->GetFrame(0, o.frame.out());
}

class WicImageDecoder final : public ImageDecoder {
 public:
  Result<ImageSize> probe(std::span<const std::uint8_t> bytes) override {
    ComApartment com;
    Opened o;
    HRESULT hr = open_first_frame(bytes, o);
    UINT w = 0, h = 0;
    if (SUCCEEDED(hr)) hr = o.frame->GetSize(&w, &h);
    if (FAILED(hr)) return Result<ImageSize>::fail(hresult_text(hr));
    return Result<ImageSize>::success({w, h});
  }

  Result<std::vector<std::uint8_t>> decode(std::span<const std::uint8_t> bytes,
                                           ImageSize target) override {
    using Pixels = Result<std::vector<std::uint8_t>>;
    if (target.width == 0 || target.height == 0 || target.width > 0x4000 ||
        target.height > 0x4000)
      return Pixels::fail("bad target size");
    ComApartment com;
    Opened o;
    ComRef<IWICBitmapScaler> scaler;
    ComRef<IWICFormatConverter> converter;
    std::vector<std::uint8_t> pixels(std::size_t{target.width} * target.height * 4);
    HRESULT hr = open_first_frame(bytes, o);
    if (SUCCEEDED(hr)) hr = o.factory->CreateBitmapScaler(scaler.out());
    if (SUCCEEDED(hr))
      hr = scaler->Initialize(o.frame.p, target.width, target.height,
                              WICBitmapInterpolationModeFant);
    if (SUCCEEDED(hr)) hr = o.factory->CreateFormatConverter(converter.out());
    if (SUCCEEDED(hr))
      hr = converter->Initialize(scaler.p, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                 nullptr, 0.0, WICBitmapPaletteTypeCustom);
    if (SUCCEEDED(hr))
      hr = converter->CopyPixels(nullptr, target.width * 4, static_cast<UINT>(pixels.size()),
                                 pixels.data());
    if (FAILED(hr)) return Pixels::fail(hresult_text(hr));
    return Pixels::success(std::move(pixels));
  }

  std::string_view reader_name() const override { return "Windows"; }
};

}  // namespace

std::unique_ptr<ImageDecoder> make_image_decoder() { return std::make_unique<WicImageDecoder>(); }

}  // namespace perchkin
