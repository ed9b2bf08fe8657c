// The hardware video encoders this machine can use: the codec libraries'
// VAAPI encoders, each usable when a VAAPI render node (/dev/dri/renderD*)
// opens and the encoder initialises on it. The front ends hand the usable
// ones to the profiles (OfferHardwareVideoEncoders) once the codec
// libraries are loaded.
#pragma once

#include <string>
#include <vector>

namespace fennick {

// The encoders looked for, by the codec libraries' names.
inline const std::vector<std::string>& VaapiEncoderNames() {
  static const std::vector<std::string> names = {"h264_vaapi", "hevc_vaapi"};
  return names;
}

struct THardwareEncoderCheck {
  std::string Encoder;  // "h264_vaapi"
  bool Usable = false;
  std::string Device;   // the render node it initialised on
  std::string Reason;   // why it is not usable
};

// The render nodes of folder, "renderD" followed by a number, sorted; none
// when the folder does not exist.
std::vector<std::string> VaapiRenderNodes(const std::string& folder = "/dev/dri");

// Checks each of VaapiEncoderNames(): usable on the first render node of
// folder that opens for reading and writing, becomes a VAAPI device and has
// the encoder initialise on pictures of its own. Without the codec libraries
// loaded, or without a render node, none is usable; the reason says which
// step refused.
std::vector<THardwareEncoderCheck> CheckVaapiEncoders(const std::string& folder = "/dev/dri");

// The names of the usable ones, in the order of VaapiEncoderNames().
std::vector<std::string> UsableVaapiEncoders(const std::string& folder = "/dev/dri");

}  // namespace fennick
