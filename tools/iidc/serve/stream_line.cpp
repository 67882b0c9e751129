#include "stream_line.h"

#include <fmt/format.h>

#include <utility>

namespace iidctool {

namespace {

struct Codec {
  const char* pszName;
  // After the conversion: a format the encoder takes, the encoder, the
  // payloader with its properties.
  const char* pszCaps;
  const char* pszEncoder;
  const char* pszPayloader;
  const char* pszPackage;  // of the encoder and the payloader
};

// Uncompressed video keeps the camera's layout where RFC 4175 has it, so
// that the frames leave byte for byte as the camera sent them. RTP JPEG
// carries 4:2:0 and 4:2:2 pictures only; x264 wants planar 4:2:0.
const Codec g_codecs[] = {
    {"h264", "video/x-raw,format=I420", "x264enc tune=zerolatency speed-preset=ultrafast key-int-max=30 bitrate={}",
     "rtph264pay config-interval=-1 pt=96", "gstreamer1.0-plugins-ugly"},
    {"jpeg", "video/x-raw,format=I420", "jpegenc quality=90", "rtpjpegpay pt=26", "gstreamer1.0-plugins-good"},
    {"raw", "video/x-raw,format=(string){UYVY,RGB,BGR,RGBA,BGRA,AYUV,I420,Y41B}", "", "rtpvrawpay pt=96",
     "gstreamer1.0-plugins-good"},
};

const Codec& CodecOf(const std::string& name)
{
    for (const Codec& codec : g_codecs)
        if (name == codec.pszName)
            return codec;
    return g_codecs[0];
}

std::string FirstWord(const char* psz)
{
    const std::string text = psz;
    return text.substr(0, text.find(' '));
}

}  // namespace

const std::vector<std::string>& CodecNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> result;
        for (const Codec& codec : g_codecs)
            result.push_back(codec.pszName);
        return result;
    }();
    return names;
}

std::string StreamLine(const std::string& camera, const std::string& codec, int nBitrate)
{
    const Codec& chosen = CodecOf(codec);
    std::string encoder = fmt::format(fmt::runtime(chosen.pszEncoder), nBitrate);
    if (!encoder.empty())
        encoder += " ! ";
    return fmt::format("( iidcsrc name=src camera={} ! videoconvert ! {} ! {}{} name=pay0 )", camera, chosen.pszCaps,
                       encoder, chosen.pszPayloader);
}

std::vector<std::pair<std::string, std::string>> ElementsOfCodec(const std::string& codec)
{
    const Codec& chosen = CodecOf(codec);
    std::vector<std::pair<std::string, std::string>> elements{{"videoconvert", "gstreamer1.0-plugins-base"},
                                                              {FirstWord(chosen.pszPayloader), chosen.pszPackage}};
    if (*chosen.pszEncoder)
        elements.emplace_back(FirstWord(chosen.pszEncoder), chosen.pszPackage);
    return elements;
}

}  // namespace iidctool
