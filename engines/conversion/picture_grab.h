// One picture of a file for the list: a frame about a tenth of the way in, decoded and scaled
// down, so that people can see what is in each file. Apart from the joins: it opens the file
// on its own and may run on any thread while a join runs on another.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GrabbedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // 32-bit B, G, R, A; rows of width * 4 bytes, top first
};

// The frame at about `fraction` (0..1) of the file's length, scaled to fit `maxWidth` x
// `maxHeight` with its shape kept (its pixel shape included). False, with the reason in *error,
// for a file without a picture or one that cannot be decoded.
bool GrabPicture(const std::string& path, double fraction, int maxWidth, int maxHeight,
                 GrabbedPicture& out, std::string* error);
