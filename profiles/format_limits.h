// What the encoders named by the profiles can take: picture sizes, frame
// rates, sampling rates, channel counts and audio bit rates; and what a DVD
// player takes. A setting outside these would make the engine fail when it
// opens the encoder, quietly choose something else, or make a DVD no player
// takes; the translation refuses it instead (see EProfileSettingRefused),
// and sizes taken from the source are fitted to them. Encoder names are those
// of the output records ("h263", "libfaac" ...).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fennick {

// Picture widths and heights an encoder codes are multiples of this: 16 for
// "rv10", 4 for "rv20" and "h263", 2 for every other video encoder.
int FrameSizeStep(std::string_view videoEncoder);

// True when videoEncoder can code width x height pictures: "h263" only the
// five H.263 sizes (128x96, 176x144, 352x288, 704x576, 1408x1152), the
// others any multiple of their step.
bool EncoderTakesFrameSize(std::string_view videoEncoder, int width, int height);

// The engine size text ("320x240") for a source picture of width x height
// when the settings keep the source size: each side rounded to the nearest
// multiple of the encoder's step (halves round down), at least one step.
// Empty when the source size can be coded as it is.
std::string FitSourceFrameSize(std::string_view videoEncoder, int width, int height);

// True when videoEncoder codes the frame rate rate (an engine rate text:
// "25", "30000/1001"; empty means the source's rate and is not judged here).
// Only "mpeg1video" is restricted, to the MPEG-1 rates.
bool EncoderTakesFrameRate(std::string_view videoEncoder, std::string_view rate);

// True when audioEncoder encodes at sampleRate Hz (the rates the encoder
// lists; "wmav2" and "vorbis" up to 48000 Hz, "libamr_nb" 8000 Hz only).
// A rate of 0 or less is the source's, which the encoder fits itself.
bool EncoderTakesSampleRate(std::string_view audioEncoder, int32_t sampleRate);
// True when audioEncoder encodes channels channels ("libamr_nb": mono only).
bool EncoderTakesChannels(std::string_view audioEncoder, int32_t channels);
// True when audioEncoder encodes at bitRate bit/s for that sampling rate and
// channel count: "libmp3lame" up to 320000, "mp2" only its bit rate table
// (which depends on the rate),
// "vorbis" only within the bit rate range of libvorbis for the rate and
// channel count. A rate the encoder does not take is not judged here.
bool EncoderTakesBitRate(std::string_view audioEncoder, int32_t bitRate, int32_t sampleRate, int32_t channels);

// What a DVD player takes, beyond what its encoders can code. Pictures come
// in two norms: 480 lines at 29.97 frames a second (NTSC: 720x480, 704x480,
// 352x480, 352x240) and 576 lines at 25 (PAL: 720x576, 704x576, 352x576,
// 352x288); sound is sampled at 48000 Hz.
bool DvdTakesFrameSize(int width, int height);
// "NTSC" or "PAL", the norm of DVD pictures `height` lines high; empty for
// other heights.
std::string_view DvdNorm(int height);
// True when rate (an engine rate text) is the frame rate of that norm.
bool DvdTakesFrameRate(int height, std::string_view rate);
bool DvdTakesSampleRate(int32_t sampleRate);

}  // namespace fennick
