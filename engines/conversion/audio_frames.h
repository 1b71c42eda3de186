// Whether a copied audio packet holds a whole frame of its codec.
#pragma once

struct AVCodecParameters;
struct AVPacket;

// False when `packet`, of a stream with the codec `stream`, is not one whole frame: a fresh
// parser of the codec does not give it back unflushed. A demuxer that splits a stream with a
// parser hands out what the end of a cut-off file left of a frame only when flushed, unmarked;
// this tells such a remainder apart. A codec without a parser counts as whole.
bool AudioPacketIsWholeFrame(const AVCodecParameters* stream, const AVPacket* packet);
