// PNG files through the Windows Imaging Component, which every Windows
// carries, so the tool needs no PNG library of its own. The encoder writes
// into memory; the file is written as the other picture files are.
#include <wincodec.h>

#include <fmt/format.h>

#include <memory>
#include <vector>
#include <utility>

#include "file_error.h"
#include "image.h"

namespace iidctool {

namespace {

struct CReleaser {
  void operator()(IUnknown* pUnknown) const { pUnknown->Release(); }
};
template <class T>
using CComRef = std::unique_ptr<T, CReleaser>;

// COM on this thread while the picture is encoded (the library's start has
// usually done it already, which the count allows).
class CComUser {
 public:
  CComUser() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~CComUser()
  {
      if (SUCCEEDED(m_hr))
          CoUninitialize();
  }
  CComUser(const CComUser&) = delete;
  CComUser& operator=(const CComUser&) = delete;

 private:
  HRESULT m_hr;
};

void Check(HRESULT hr, const std::string& path, const char* pszStep)
{
    if (FAILED(hr))
        throw CToolError(EXIT_FAILED, fmt::format("cannot write {}: the imaging component failed at {} (0x{:08X})", path,
                                                  pszStep, static_cast<unsigned long>(hr)));
}

// The pixels in the encoder's layout: blue-green-red for 8-bit colour, and
// 16-bit samples least significant byte first.
std::vector<uint8_t> EncoderPixels(const CImage& image)
{
    std::vector<uint8_t> pixels = image.pixels;
    if (image.nBitDepth == 16) {
        for (std::size_t i = 0; i + 1 < pixels.size(); i += 2)
            std::swap(pixels[i], pixels[i + 1]);
    } else if (image.nChannels == 3) {
        for (std::size_t i = 0; i + 2 < pixels.size(); i += 3)
            std::swap(pixels[i], pixels[i + 2]);
    }
    return pixels;
}

WICPixelFormatGUID EncoderFormat(const CImage& image)
{
    if (image.nChannels == 1)
        return image.nBitDepth == 16 ? GUID_WICPixelFormat16bppGray : GUID_WICPixelFormat8bppGray;
    return image.nBitDepth == 16 ? GUID_WICPixelFormat48bppRGB : GUID_WICPixelFormat24bppBGR;
}

}  // namespace

void WritePng(const CImage& image, const std::string& path)
{
    const CComUser com;
    IWICImagingFactory* pRawFactory = nullptr;
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                           reinterpret_cast<void**>(&pRawFactory)),
          path, "its start");
    const CComRef<IWICImagingFactory> pFactory(pRawFactory);
    IStream* pRawStream = nullptr;
    Check(CreateStreamOnHGlobal(nullptr, TRUE, &pRawStream), path, "a memory stream");
    const CComRef<IStream> pStream(pRawStream);
    IWICBitmapEncoder* pRawEncoder = nullptr;
    Check(pFactory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &pRawEncoder), path, "the PNG encoder");
    const CComRef<IWICBitmapEncoder> pEncoder(pRawEncoder);
    Check(pEncoder->Initialize(pStream.get(), WICBitmapEncoderNoCache), path, "the PNG encoder");
    IWICBitmapFrameEncode* pRawFrame = nullptr;
    Check(pEncoder->CreateNewFrame(&pRawFrame, nullptr), path, "a new picture");
    const CComRef<IWICBitmapFrameEncode> pFrame(pRawFrame);
    Check(pFrame->Initialize(nullptr), path, "a new picture");
    Check(pFrame->SetSize(UINT(image.nWidth), UINT(image.nHeight)), path, "the picture size");
    // The encoder answers with the nearest layout it takes; anything else
    // than the one asked for would need a conversion.
    const WICPixelFormatGUID wanted = EncoderFormat(image);
    WICPixelFormatGUID format = wanted;
    Check(pFrame->SetPixelFormat(&format), path, "the pixel layout");
    if (!IsEqualGUID(format, wanted))
        Check(WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT, path, "the pixel layout");
    std::vector<uint8_t> pixels = EncoderPixels(image);
    Check(pFrame->WritePixels(UINT(image.nHeight), UINT(image.RowBytes()), UINT(pixels.size()), pixels.data()), path,
          "the pixels");
    Check(pFrame->Commit(), path, "the picture");
    Check(pEncoder->Commit(), path, "the file");

    // The encoded file, read back from the start of the stream.
    STATSTG stat{};
    Check(pStream->Stat(&stat, STATFLAG_NONAME), path, "the encoded size");
    std::vector<uint8_t> bytes(std::size_t(stat.cbSize.QuadPart));
    ULONG cbRead = 0;
    Check(pStream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), path, "the encoded bytes");
    Check(pStream->Read(bytes.data(), ULONG(bytes.size()), &cbRead), path, "the encoded bytes");
    bytes.resize(cbRead);
    WriteFileBytes(path, bytes);
}

}  // namespace iidctool
