// The output of a conversion: a muxer writing to a HiddenOutput, which takes the output's name
// only when the whole file is written. A failed or stopped conversion leaves whatever was at the
// output path as it was.
#pragma once

#include <memory>
#include <string>

#include "platform/hidden_output.h"

struct AVFormatContext;
struct AVPacket;
struct AVStream;
struct AVDictionary;

class OutputFile {
public:
    OutputFile();
    ~OutputFile();  // an unfinished file is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Sets up the muxer `muxer` for `path`. 0 or an error code with the reason in *error.
    int Create(const std::string& path, const char* muxer, std::string* error);
    AVFormatContext* Context() const { return m_context; }
    AVStream* AddStream();
    // Opens the temporary file and writes the header; `options` are the muxer's.
    int Start(AVDictionary** options, std::string* error);
    // Writes one packet whose timestamps are in its stream's time base.
    int Write(AVPacket* packet, std::string* error);
    // Writes the trailer and puts the file at the output path.
    int Finish(std::string* error);

private:
    struct Sink;  // the file the muxer's bytes go to
    void Discard();
    int OpenAndWriteHeader(const std::string& target, AVDictionary** options, std::string* error);
    int CloseSink();

    AVFormatContext* m_context = nullptr;
    std::unique_ptr<Sink> m_sink;
    std::string m_path;
    HiddenOutput m_hidden;
    bool m_headerWritten = false;
};
