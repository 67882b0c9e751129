// What a served camera's media runs: iidcsrc, the conversion its frames need,
// the encoder and the RTP payloader (named pay0, as the RTSP server wants).
#pragma once

#include <string>
#include <vector>

namespace iidctool {

// The codecs, by the names --codec takes.
const std::vector<std::string>& CodecNames();

// The launch line of a camera's media for a codec of CodecNames (bitrate in
// kbit/s, used by h264). The source is named "src".
std::string StreamLine(const std::string& camera, const std::string& codec, int nBitrate);

// The GStreamer elements a codec needs beyond iidcsrc, each with the Debian
// package that has it.
std::vector<std::pair<std::string, std::string>> ElementsOfCodec(const std::string& codec);

}  // namespace iidctool
