// Handing on what an encoder has ready, for the audio and the video stage alike.
#pragma once

#include <functional>
#include <string>

struct AVCodecContext;
struct AVPacket;

// Where encoded packets go: 0 or an error code with the reason in *error.
using PacketSink = std::function<int(AVPacket* packet, std::string* error)>;

// Passes every packet `encoder` has ready to `sink` (through `packet`, unreferenced after each).
// 0 when the encoder wants more input or has ended; otherwise the error, with "<failure>: ..."
// in *error for the encoder's own.
int DrainEncoder(AVCodecContext* encoder, AVPacket* packet, const PacketSink& sink,
                 const char* failure, std::string* error);
