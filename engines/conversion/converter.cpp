#include "engines/conversion/converter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

#include "engines/conversion/audio_frames.h"
#include "engines/conversion/audio_stage.h"
#include "engines/conversion/av_error.h"
#include "engines/conversion/av_owners.h"
#include "engines/conversion/ffmpeg_log.h"
#include "engines/conversion/file_list.h"
#include "engines/conversion/input_open.h"
#include "engines/conversion/input_sources.h"
#include "engines/conversion/input_warnings.h"
#include "engines/conversion/mpeg_pictures.h"
#include "engines/conversion/output_file.h"
#include "engines/conversion/output_plan.h"
#include "engines/conversion/riff_length.h"
#include "engines/conversion/silent_frame.h"
#include "engines/conversion/stream_decoder.h"
#include "engines/conversion/video_stage.h"

namespace {

// Audio packets kept while waiting for an input's first picture, which sets its start.
constexpr size_t kMaxPendingAudio = 512;

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// An AVI's audio header takes a block alignment for a constant sample size, and then counts the
// stream's length in such blocks. MPEG audio and AC-3 come one frame to a chunk, whatever block
// alignment the input's header gave them (MPEG audio often the frame's 1152 samples): copied into
// an AVI, they are written as frames, or the output would claim a fraction of its length.
void CopiedAudioForAvi(AVCodecParameters* audio) {
    bool mpegAudio = audio->codec_id == AV_CODEC_ID_MP2 || audio->codec_id == AV_CODEC_ID_MP3;
    if ((mpegAudio &&
         (audio->block_align == 1 || audio->block_align == 576 || audio->block_align == 1152)) ||
        audio->codec_id == AV_CODEC_ID_AC3) {
        audio->block_align = 0;
    }
}

int64_t PacketTime(const AVPacket* packet) {
    return packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
}

// What a join left out of one input.
struct InputLosses {
    bool cutShort = false;
    double joinedSeconds = 0.0;
    double wholeSeconds = 0.0;  // what the file's header promises; 0 when it says nothing
    int64_t damagedPictures = 0;
};

std::vector<std::string> LossSentences(const std::string& path, const InputLosses& losses) {
    std::vector<std::string> sentences;
    if (losses.cutShort) {
        sentences.push_back(CutShortSentence(path, losses.joinedSeconds, losses.wholeSeconds));
    }
    if (losses.damagedPictures > 0) {
        sentences.push_back(DamagedFramesSentence(path, losses.damagedPictures));
    }
    return sentences;
}

// One audio track whose packets are copied: where it is in the current input and in the output.
struct CopiedTrack {
    int index = -1;  // the stream's number in the current input
    AVStream* in = nullptr;
    AVStream* out = nullptr;
    // An AVI input's latest packet waits until the next one, or the input's end, shows whether
    // it is the input's last: a part-frame there is left out.
    PacketPtr held;
    bool parsed = false;               // the demuxer splits the track with a parser
    bool inThisInput = false;          // a packet of the current input went out
    int64_t lastEnd = AV_NOPTS_VALUE;  // the end of the last packet out, in the output's time base
    // A frame of silence in the track's codec, made when first needed.
    PacketPtr silence;
    int64_t silenceSamples = 0;
    bool silenceTried = false;
};

// An audio track after the first and the copied ones, encoded to the plan's format: its own
// decoder, stage and output stream.
struct EncodedTrack {
    int index = -1;  // the stream's number in the current input; -1: the input has none
    AVStream* in = nullptr;
    AVStream* out = nullptr;
    std::unique_ptr<AudioStage> stage;
    std::unique_ptr<StreamDecoder> decoder;
    int64_t packets = 0;  // of the current input
    int64_t blocks = 0;
};

// The stream number of each of an input's audio tracks after `first` (its best one), in stream
// order, for `count` tracks: -1 where the input has no such track.
std::vector<int> FurtherAudioTracks(const AVFormatContext* context, int first, size_t count) {
    std::vector<int> indices(count, -1);
    for (unsigned i = 0, k = 0; first >= 0 && i < context->nb_streams && k < count; ++i) {
        if (static_cast<int>(i) != first &&
            context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            indices[k++] = static_cast<int>(i);
        }
    }
    return indices;
}

// The input being joined: its streams, decoders, start, counters and what it holds back. Made
// fresh as each input begins; what runs on across inputs stays in the Joiner.
struct CurrentInput {
    const InputFacts* facts = nullptr;
    AVFormatContext* context = nullptr;  // closed by JoinInput
    int videoIndex = -1;
    int audioIndex = -1;
    AVStream* videoIn = nullptr;
    AVStream* audioIn = nullptr;
    bool hasAudio = false;
    std::unique_ptr<StreamDecoder> videoDecoder;
    std::unique_ptr<StreamDecoder> audioDecoder;
    LeadingPictureFilter leadFilter;
    bool filterLeads = false;
    int64_t base = AV_NOPTS_VALUE;  // the input's start, in its video time base
    int64_t segmentFrames = 0;
    int64_t audioPackets = 0;
    int64_t audioBlocks = 0;
    double frameRate = 0.0;
    int64_t firstPictureTime = AV_NOPTS_VALUE;  // the first decoded picture's, re-encoding
    // An AVI input: its pictures are placed by their index entries (an empty entry repeats the
    // picture before), and a packet that the end of the file cut off is left out.
    bool avi = false;
    // Re-encoding anything else, the last picture is held back until the input's end shows
    // whether the file broke off inside it.
    bool holdLastPicture = false;
    PacketPtr heldPicture;
    int64_t overhangFrames = 0;  // frames the copied audio runs on past the last picture
    std::unique_ptr<InputLogWatch> watch;
    int64_t cutPackets = 0;
    int64_t damagedPictures = 0;
    std::deque<PacketPtr> pending;  // audio read before the input's start is known
};

// ReadPackets: the join was stopped while the input was read.
constexpr int kInputStopped = 1;

// One conversion's run over its inputs.
class Joiner {
public:
    Joiner(Conversion& conversion, ConversionSettings settings)
        : m_conversion(conversion), m_settings(std::move(settings)) {}

    int Run(std::string* error);

private:
    int SetUpOutput(const AVCodecParameters* firstVideo, const AVCodecParameters* firstAudio,
                    const std::vector<const AVCodecParameters*>& moreAudio, std::string* error);
    int JoinInput(const InputFacts& input, std::string* error);
    int BeginInput(const InputFacts& input, AVFormatContext* context, std::string* error);
    void BindCopiedTracks();
    int BeginEncodedTracks(std::string* error);
    int ReadPackets(std::string* error);
    int HandlePacket(AVPacket* packet, std::string* error);
    int VideoPacketRead(AVPacket* packet, std::string* error);
    int StartAt(const AVPacket* firstPicture, std::string* error);
    int EndInput(std::string* error);
    int EndCopiedAudio(std::string* error);
    int EndEncodedAudio(std::string* error);
    int HandleVideo(AVPacket* packet, const std::string& path, std::string* error);
    void NoteLosses(const InputFacts& input);
    void NoteInputWarning(const std::string& sentence);  // told of the current input
    int CopyVideoPacket(AVPacket* packet, std::string* error);
    int CopyAudioPacket(CopiedTrack& track, AVPacket* packet, std::string* error);
    int HandleCopiedAudio(CopiedTrack& track, AVPacket* packet, std::string* error);
    int CopyHeldAudio(CopiedTrack& track, std::string* error);
    int AudioPacket(AVPacket* packet, std::string* error);
    int64_t AudioOverhang() const;
    int FillSilenceToPictures(CopiedTrack& track, std::string* error);
    bool IsAudioTrack(int index) const {
        if (std::any_of(m_moreEncoded.begin(), m_moreEncoded.end(),
                        [index](const EncodedTrack& t) { return t.index == index; })) {
            return true;
        }
        if (!m_plan.copyAudio) {
            return m_in.audioIn != nullptr && index == m_in.audioIn->index;
        }
        return std::any_of(m_tracks.begin(), m_tracks.end(),
                           [index](const CopiedTrack& t) { return t.index == index; });
    }
    int CopyTrailingEmptyFrames(std::string* error);
    int DecodeVideo(const AVPacket* packet, std::string* error);
    int DecodeAudio(StreamDecoder& decoder, AVStream* in, AudioStage& stage, int64_t* blocks,
                    const AVPacket* packet, std::string* error);
    int EndEncodedTrack(EncodedTrack& track, const std::string& path, std::string* error);
    // Output frames as samples of the encoded further tracks.
    int64_t EncodedSamples(int64_t frames) const {
        return av_rescale_q(frames, m_frameBase, AVRational{1, m_plan.encodedSampleRate});
    }
    int WriteEncoded(AVPacket* packet, AVStream* stream, AVRational from, std::string* error);
    bool FrameDone();
    bool Stopped() const { return m_conversion.abortRequested.load(); }
    // The output frames the current input takes: its pictures, less those a copy leaves out
    // (before its first I picture, and the B pictures of an open GOP that lean on the input
    // before), so that the next input follows its last kept picture without a gap.
    int64_t KeptFrames() const {
        return m_in.filterLeads
                   ? std::max<int64_t>(0, m_in.segmentFrames - m_in.leadFilter.Dropped())
                   : m_in.segmentFrames;
    }
    // The pictures read so far, kept or left out: what the progress counts towards the inputs'
    // total frame count.
    // Progress counts audio samples as the file list does (at its fixed rate), whatever rate
    // the output's audio has.
    int64_t SamplesHandled() const {
        int64_t samples = m_plan.copyAudio ? m_copiedSamples : m_audio.SamplesOut();
        return m_plan.sampleRate > 0 ? av_rescale(samples, kOutputSampleRate, m_plan.sampleRate)
                                     : samples;
    }
    int64_t FramesHandled() const {
        return m_framesDone + m_framesLeftOut + (m_in.segmentFrames - KeptFrames());
    }
    // The output frames the current input takes: its kept pictures, and the frames its copied
    // sound runs on past them, so the next input begins where this one's streams end.
    int64_t SegmentLength() const { return KeptFrames() + m_in.overhangFrames; }
    void Report(int32_t status, int64_t frame, int64_t sample);
    // Keeps where the input just joined lies in the output, in output frames.
    void RecordInputTime(int64_t firstFrame, int64_t frames) {
        double frame = av_q2d(m_frameBase);
        std::lock_guard<std::mutex> lock(m_conversion.mutex);
        m_conversion.inputTimes.emplace_back(static_cast<double>(firstFrame) * frame,
                                             static_cast<double>(frames) * frame);
    }

    Conversion& m_conversion;
    ConversionSettings m_settings;
    OutputPlan m_plan;
    OutputFile m_output;
    AVStream* m_videoOut = nullptr;
    AVStream* m_audioOut = nullptr;
    std::vector<CopiedTrack> m_tracks;        // copying audio: the first track, then the others
    std::vector<EncodedTrack> m_moreEncoded;  // encoded tracks after the first and the copied
    VideoStage m_video;
    AudioStage m_audio;
    AVRational m_frameBase{1, 25};  // one output frame

    CurrentInput m_in;  // made fresh as each input begins

    // Across inputs.
    int64_t m_segmentStart = 0;  // the current input's first output frame
    size_t m_inputIndex = 0;
    int64_t m_framesDone = 0;     // output frames
    int64_t m_framesLeftOut = 0;  // pictures of earlier inputs a copy left out
    int64_t m_copiedSamples = 0;  // copied audio: the end of the last packet, in output samples
    int64_t m_lastVideoDts = AV_NOPTS_VALUE;
};

void Joiner::Report(int32_t status, int64_t frame, int64_t sample) {
    m_conversion.ReportProgress(status, frame, sample);
}

bool Joiner::FrameDone() {
    ++m_framesDone;
    if (m_plan.audio && !m_plan.copyAudio && !m_in.hasAudio) {
        // An input without audio gets silence as its pictures go by, so the two stay together.
        std::string ignored;
        int64_t upTo = av_rescale_q(m_framesDone, m_frameBase, AVRational{1, m_plan.sampleRate});
        int64_t segmentFirst =
            av_rescale_q(m_segmentStart, m_frameBase, AVRational{1, m_plan.sampleRate});
        m_audio.FillSilenceTo(upTo - segmentFirst, &ignored);
    }
    for (EncodedTrack& track : m_moreEncoded) {
        if (track.in == nullptr) {
            std::string ignored;
            track.stage->FillSilenceTo(
                EncodedSamples(m_framesDone) - EncodedSamples(m_segmentStart), &ignored);
        }
    }
    Report(kStatusProgress, FramesHandled(), SamplesHandled());
    return !Stopped();
}

int Joiner::SetUpOutput(const AVCodecParameters* firstVideo, const AVCodecParameters* firstAudio,
                        const std::vector<const AVCodecParameters*>& moreAudio,
                        std::string* error) {
    int result = m_output.Create(m_settings.outputPath, m_plan.muxer, error);
    if (result < 0) {
        return result;
    }
    AVFormatContext* context = m_output.Context();
    bool globalHeader = (context->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    m_videoOut = m_output.AddStream();
    m_audioOut = m_plan.audio ? m_output.AddStream() : nullptr;
    if (m_videoOut == nullptr || (m_plan.audio && m_audioOut == nullptr)) {
        *error = "Out of memory setting up the output";
        return AVERROR(ENOMEM);
    }
    m_frameBase = av_inv_q(m_plan.frameRate);
    if (m_plan.copyVideo) {
        avcodec_parameters_copy(m_videoOut->codecpar, firstVideo);
        // The tag the join asked for; uncompressed pictures keep the first input's (none at all).
        m_videoOut->codecpar->codec_tag =
            m_plan.videoTag != 0 ? m_plan.videoTag : firstVideo->codec_tag;
        m_videoOut->time_base = m_frameBase;
        m_videoOut->avg_frame_rate = m_plan.frameRate;
        m_videoOut->r_frame_rate = m_plan.frameRate;
        // The container's shape and the bitstream's may differ (a DV AVI says 1:1 around DV's
        // 16:15): the muxer takes one, so both are the container's, as a player shows it.
        m_videoOut->sample_aspect_ratio = m_plan.sampleAspect;
        m_videoOut->codecpar->sample_aspect_ratio = m_plan.sampleAspect;
    } else {
        result = m_video.Open(m_plan, m_videoOut, globalHeader, error);
        if (result < 0) {
            return result;
        }
        m_video.SetSinks(
            [this](AVPacket* packet, std::string* e) {
                return WriteEncoded(packet, m_videoOut, m_video.Encoder()->time_base, e);
            },
            [this] { return FrameDone(); });
    }
    if (!m_plan.audio) {
        // A list without sound stays without.
    } else if (m_plan.copyAudio) {
        m_tracks.clear();
        m_tracks.resize(1 + moreAudio.size());
        m_tracks[0].out = m_audioOut;
        for (size_t i = 0; i < m_tracks.size(); ++i) {
            if (i > 0) {
                m_tracks[i].out = m_output.AddStream();
                if (m_tracks[i].out == nullptr) {
                    *error = "Out of memory setting up the output";
                    return AVERROR(ENOMEM);
                }
            }
            AVStream* out = m_tracks[i].out;
            avcodec_parameters_copy(out->codecpar, i == 0 ? firstAudio : moreAudio[i - 1]);
            out->codecpar->codec_tag = 0;
            if (std::strcmp(m_plan.muxer, "avi") == 0) {
                CopiedAudioForAvi(out->codecpar);
            }
            out->time_base = AVRational{
                1, out->codecpar->sample_rate > 0 ? out->codecpar->sample_rate : m_plan.sampleRate};
        }
    } else {
        result = m_audio.Open(m_plan, m_audioOut, globalHeader, error);
        if (result < 0) {
            return result;
        }
        MclAudioFuncFn audioFunc = m_conversion.callbacks.audioFunc;
        int32_t handle = m_conversion.handle;
        m_audio.SetSinks(
            [this](AVPacket* packet, std::string* e) {
                return WriteEncoded(packet, m_audioOut, m_audio.Encoder()->time_base, e);
            },
            [audioFunc, handle](int64_t first, int count) {
                if (audioFunc != nullptr) {
                    audioFunc(handle, static_cast<int32_t>(first), count);
                }
            });
    }
    // Further tracks that cannot be copied are encoded, each as its own stream after the others.
    OutputPlan encoded = m_plan;
    encoded.audioCodec = m_plan.encodedAudioCodec;
    encoded.sampleRate = m_plan.encodedSampleRate;
    encoded.channels = m_plan.encodedChannels;
    m_moreEncoded.clear();
    m_moreEncoded.resize(m_plan.audio ? m_plan.encodedAudioTracks : 0);
    for (EncodedTrack& track : m_moreEncoded) {
        track.out = m_output.AddStream();
        track.stage = std::make_unique<AudioStage>();
        if (track.out == nullptr) {
            *error = "Out of memory setting up the output";
            return AVERROR(ENOMEM);
        }
        result = track.stage->Open(encoded, track.out, globalHeader, error);
        if (result < 0) {
            return result;
        }
        AVStream* out = track.out;
        AudioStage* stage = track.stage.get();
        track.stage->SetSinks(
            [this, out, stage](AVPacket* packet, std::string* e) {
                return WriteEncoded(packet, out, stage->Encoder()->time_base, e);
            },
            [](int64_t, int) {});
    }
    if (m_plan.packetSize > 0) {
        context->packet_size = static_cast<unsigned>(m_plan.packetSize);
    }
    context->avoid_negative_ts = AVFMT_AVOID_NEG_TS_MAKE_NON_NEGATIVE;
    AVDictionary* options = nullptr;
    if (m_plan.muxRate > 0) {
        av_dict_set_int(&options, "muxrate", m_plan.muxRate, 0);
    }
    if (m_plan.preloadSeconds > 0) {
        av_dict_set_int(&options, "preload", static_cast<int64_t>(m_plan.preloadSeconds * 1e6), 0);
    }
    result = m_output.Start(&options, error);
    av_dict_free(&options);
    return result;
}

int Joiner::WriteEncoded(AVPacket* packet, AVStream* stream, AVRational from, std::string* error) {
    packet->stream_index = stream->index;
    av_packet_rescale_ts(packet, from, stream->time_base);
    return m_output.Write(packet, error);
}

int Joiner::CopyVideoPacket(AVPacket* packet, std::string* error) {
    AVRational in = m_in.videoIn->time_base;
    AVRational out = m_videoOut->time_base;
    int64_t shift = av_rescale_q(m_segmentStart, m_frameBase, out);
    // A program stream does not time every picture: what is not timed stays so, and the
    // reader of the output works it out as it did for the input.
    if (packet->pts != AV_NOPTS_VALUE) {
        packet->pts = av_rescale_q(packet->pts - m_in.base, in, out) + shift;
    }
    if (packet->dts != AV_NOPTS_VALUE) {
        packet->dts = av_rescale_q(packet->dts - m_in.base, in, out) + shift;
        // Decoding order must keep going forward across the seam.
        if (m_lastVideoDts != AV_NOPTS_VALUE && packet->dts <= m_lastVideoDts) {
            packet->dts = m_lastVideoDts + 1;
        }
        if (packet->pts != AV_NOPTS_VALUE && packet->pts < packet->dts) {
            packet->pts = packet->dts;
        }
        m_lastVideoDts = packet->dts;
    }
    packet->duration = av_rescale_q(packet->duration, in, out);
    packet->stream_index = m_videoOut->index;
    packet->pos = -1;
    int64_t frame = packet->pts;
    int result = m_output.Write(packet, error);
    if (result < 0) {
        return result;
    }
    if (m_in.avi && frame != AV_NOPTS_VALUE) {
        // Empty entries before this picture are frames too: the sound goes on under them.
        m_framesDone =
            std::max(m_framesDone, std::min(frame, m_segmentStart + m_in.segmentFrames - 1));
    }
    FrameDone();
    return 0;
}

// Empty index entries after a copied AVI input's last picture are frames of it too: the output
// gets them as empty entries of its own, so the input keeps its length even at the very end.
int Joiner::CopyTrailingEmptyFrames(std::string* error) {
    int64_t last = m_segmentStart + SegmentLength() - 1;
    if (m_lastVideoDts == AV_NOPTS_VALUE || m_lastVideoDts >= last) {
        return 0;
    }
    PacketPtr empty(av_packet_alloc());
    if (empty == nullptr) {
        *error = "Out of memory writing the video";
        return AVERROR(ENOMEM);
    }
    empty->pts = last;
    empty->dts = last;
    empty->duration = 1;
    empty->stream_index = m_videoOut->index;
    m_lastVideoDts = last;
    return m_output.Write(empty.get(), error);
}

int Joiner::CopyAudioPacket(CopiedTrack& track, AVPacket* packet, std::string* error) {
    AVRational in = track.in->time_base;
    AVRational out = track.out->time_base;
    int64_t time = PacketTime(packet);
    if (time == AV_NOPTS_VALUE) {
        return 0;  // nowhere to put it
    }
    int64_t base = av_rescale_q(m_in.base, m_in.videoIn->time_base, in);
    int64_t start =
        av_rescale_q(time - base, in, out) + av_rescale_q(m_segmentStart, m_frameBase, out);
    int64_t duration = av_rescale_q(packet->duration, in, out);
    int64_t middle = start + duration / 2;
    int64_t segmentFirst = av_rescale_q(m_segmentStart, m_frameBase, out);
    int64_t segmentEnd = av_rescale_q(m_segmentStart + KeptFrames(), m_frameBase, out);
    // Each input's audio stays inside its own place in the output: what lies before its first
    // picture, or over the audio before, is left out. Copying an AVI's pictures too, its sound
    // after the last picture stays (every whole frame is kept, and the next input's pictures
    // follow it); otherwise the pictures' end is the input's end.
    // An AVI's sound has no times of its own: each chunk follows the one before. So it goes
    // on from the last one out.
    bool continuous = std::strcmp(m_plan.muxer, "avi") == 0 && m_in.avi;
    bool keepsTail = m_in.avi && m_plan.copyVideo;
    bool overlaps = !continuous && track.lastEnd != AV_NOPTS_VALUE && middle < track.lastEnd;
    if (middle < segmentFirst || (!keepsTail && middle >= segmentEnd) || overlaps) {
        return 0;
    }
    if (track.lastEnd != AV_NOPTS_VALUE && (start < track.lastEnd || continuous)) {
        start = track.lastEnd;
    }
    packet->pts = start;
    packet->dts = start;
    packet->duration = duration;
    packet->stream_index = track.out->index;
    packet->pos = -1;
    track.lastEnd = start + duration;
    track.inThisInput = true;
    if (&track == &m_tracks.front()) {
        m_copiedSamples = av_rescale_q(track.lastEnd, out, AVRational{1, m_plan.sampleRate});
    }
    return m_output.Write(packet, error);
}

int Joiner::DecodeVideo(const AVPacket* packet, std::string* error) {
    int result = m_in.videoDecoder->Send(packet);
    // A damaged packet costs its picture, which the frame mapping makes up for.
    if (result < 0 && result != AVERROR(EAGAIN) && result != AVERROR_EOF &&
        result != AVERROR_INVALIDDATA) {
        return result;
    }
    FramePtr frame(av_frame_alloc());
    while ((result = m_in.videoDecoder->Receive(frame.get())) >= 0) {
        int64_t time = frame->best_effort_timestamp;
        if (m_in.firstPictureTime == AV_NOPTS_VALUE) {
            // Counted from the first picture out of the decoder, whose time may lie a frame
            // after the first packet's (pictures reordered in packed B-frame AVIs).
            m_in.firstPictureTime = time;
        }
        if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
            // What the decoder had to make up is left out: the picture before stays instead.
            ++m_in.damagedPictures;
            av_frame_unref(frame.get());
            continue;
        }
        int64_t position = -1;
        if (m_in.avi && time != AV_NOPTS_VALUE && m_in.firstPictureTime != AV_NOPTS_VALUE) {
            position = std::llround(static_cast<double>(time - m_in.firstPictureTime) *
                                    av_q2d(m_in.videoIn->time_base) * m_in.frameRate);
        }
        result = m_video.AddPicture(frame.get(), position, error);
        av_frame_unref(frame.get());
        if (result < 0 || m_video.Stopped()) {
            return result;
        }
    }
    return 0;
}

int Joiner::DecodeAudio(StreamDecoder& decoder, AVStream* in, AudioStage& stage, int64_t* blocks,
                        const AVPacket* packet, std::string* error) {
    int result = decoder.Send(packet);
    if (result < 0 && result != AVERROR(EAGAIN) && result != AVERROR_EOF &&
        result != AVERROR_INVALIDDATA) {
        *error = AvErrorText("Cannot decode the audio", result);
        return result;
    }
    FramePtr frame(av_frame_alloc());
    while (decoder.Receive(frame.get()) >= 0) {
        ++*blocks;
        int64_t time = frame->best_effort_timestamp;
        double seconds = 0.0;
        if (time != AV_NOPTS_VALUE && m_in.base != AV_NOPTS_VALUE) {
            seconds = static_cast<double>(time) * av_q2d(in->time_base) -
                      static_cast<double>(m_in.base) * av_q2d(m_in.videoIn->time_base);
        }
        result = stage.AddBlock(frame.get(), seconds, error);
        av_frame_unref(frame.get());
        if (result < 0) {
            return result;
        }
    }
    return 0;
}

int Joiner::AudioPacket(AVPacket* packet, std::string* error) {
    for (EncodedTrack& track : m_moreEncoded) {
        if (track.index == packet->stream_index) {
            ++track.packets;
            return DecodeAudio(*track.decoder, track.in, *track.stage, &track.blocks, packet,
                               error);
        }
    }
    if (!m_plan.copyAudio) {
        if (m_in.audioIn != nullptr && packet->stream_index == m_in.audioIn->index) {
            ++m_in.audioPackets;
            return DecodeAudio(*m_in.audioDecoder, m_in.audioIn, m_audio, &m_in.audioBlocks, packet,
                               error);
        }
        return 0;
    }
    ++m_in.audioPackets;
    for (CopiedTrack& track : m_tracks) {
        if (track.index == packet->stream_index) {
            return HandleCopiedAudio(track, packet, error);
        }
    }
    return 0;
}

int Joiner::HandleCopiedAudio(CopiedTrack& track, AVPacket* packet, std::string* error) {
    if (!m_in.avi) {
        return CopyAudioPacket(track, packet, error);
    }
    track.parsed = track.parsed || av_stream_get_parser(track.in) != nullptr;
    PacketPtr previous = std::move(track.held);
    track.held.reset(av_packet_clone(packet));
    if (track.held == nullptr) {
        *error = "Out of memory reading the audio";
        return AVERROR(ENOMEM);
    }
    return previous != nullptr ? CopyAudioPacket(track, previous.get(), error) : 0;
}

// A track's last audio packet, once the input's end is known: left out when it is only part of
// a frame (the end of a cut-off file, or a writer that stopped inside the frame), so the copied
// audio ends at the input's last whole frame and no decoder meets a broken frame at the seam.
int Joiner::CopyHeldAudio(CopiedTrack& track, std::string* error) {
    PacketPtr last = std::move(track.held);
    if (last == nullptr) {
        return 0;
    }
    // Read without a parser, packets are the file's chunks, which the demuxer marks when cut off.
    if (track.parsed && !AudioPacketIsWholeFrame(track.in->codecpar, last.get())) {
        ++m_in.cutPackets;
        return 0;
    }
    return CopyAudioPacket(track, last.get(), error);
}

// An AVI's sound has no times: where an input's sound ends before its pictures, the next input's
// would start early, and more so at every such seam. Silence in the track's own codec fills up
// to the pictures' end, to within half a frame of it (exactly for PCM).
int Joiner::FillSilenceToPictures(CopiedTrack& track, std::string* error) {
    if (track.lastEnd == AV_NOPTS_VALUE || track.in == nullptr) {
        return 0;
    }
    AVRational out = track.out->time_base;
    int64_t picturesEnd = av_rescale_q(m_segmentStart + KeptFrames(), m_frameBase, out);
    const bool pcm = av_get_bits_per_sample(track.out->codecpar->codec_id) > 0;
    // The muxer may count the track in its own units (an AVI: frames, or blocks): silence is
    // measured in samples.
    const AVRational sample{1, track.out->codecpar->sample_rate};
    while (track.lastEnd < picturesEnd && sample.den > 0) {
        int64_t missing = av_rescale_q(picturesEnd - track.lastEnd, out, sample);
        if (pcm) {
            track.silence = MakeSilentPacket(track.out->codecpar, missing, &track.silenceSamples);
        } else if (!track.silenceTried) {
            track.silenceTried = true;
            track.silence = MakeSilentPacket(track.out->codecpar, 0, &track.silenceSamples);
        }
        if (track.silence == nullptr || track.silenceSamples <= 0 ||
            (!pcm && missing < track.silenceSamples / 2)) {
            return 0;  // what is left is less than half a frame, or FFmpeg cannot make it
        }
        int64_t duration = av_rescale_q(track.silenceSamples, sample, out);
        if (duration <= 0) {
            return 0;
        }
        PacketPtr packet(av_packet_clone(track.silence.get()));
        if (packet == nullptr) {
            *error = "Out of memory writing the audio";
            return AVERROR(ENOMEM);
        }
        packet->pts = track.lastEnd;
        packet->dts = track.lastEnd;
        packet->duration = duration;
        packet->stream_index = track.out->index;
        packet->flags |= AV_PKT_FLAG_KEY;
        track.lastEnd += duration;
        int result = m_output.Write(packet.get(), error);
        if (result < 0) {
            return result;
        }
    }
    return 0;
}

// Frames the current input's copied sound runs on past its last kept picture, to the nearest
// frame: the next input then begins within half a frame of where the longest stream ends.
int64_t Joiner::AudioOverhang() const {
    int64_t overhang = 0;
    for (const CopiedTrack& track : m_tracks) {
        if (!track.inThisInput) {
            continue;
        }
        AVRational out = track.out->time_base;
        int64_t soundFrames =
            av_rescale_q_rnd(track.lastEnd, out, m_frameBase, AV_ROUND_NEAR_INF) - m_segmentStart;
        overhang = std::max(overhang, soundFrames - KeptFrames());
    }
    return overhang;
}

// A further encoded track at an input's end: its decoder drained, then silence to the input's
// length (all of it where the input has no such track).
int Joiner::EndEncodedTrack(EncodedTrack& track, const std::string& path, std::string* error) {
    if (track.decoder != nullptr) {
        int result =
            DecodeAudio(*track.decoder, track.in, *track.stage, &track.blocks, nullptr, error);
        if (result < 0) {
            return result;
        }
        if (track.packets > 0 && track.blocks == 0) {
            *error = "The audio of " + path + " cannot be decoded.";
            return AVERROR_INVALIDDATA;
        }
        track.decoder.reset();
    }
    return track.stage->EndInput(error);
}

int Joiner::HandleVideo(AVPacket* packet, const std::string& path, std::string* error) {
    int result = m_plan.copyVideo ? CopyVideoPacket(packet, error) : DecodeVideo(packet, error);
    if (result < 0 && !m_plan.copyVideo) {
        *error = AvErrorText("The video of " + path + " cannot be decoded", result);
    }
    return result;
}

void Joiner::NoteLosses(const InputFacts& input) {
    InputLosses losses;
    losses.cutShort = m_in.cutPackets > 0 || (m_in.avi && RiffFileCutShort(input.path));
    losses.damagedPictures = m_in.damagedPictures;
    double outRate = av_q2d(m_plan.frameRate);
    losses.joinedSeconds = outRate > 0 ? static_cast<double>(KeptFrames()) / outRate : 0.0;
    if (m_in.avi && m_in.videoIn->nb_frames > 0 && input.scan.frameRate > 0) {
        // The stream header counts the frames the file was meant to hold.
        losses.wholeSeconds = static_cast<double>(m_in.videoIn->nb_frames) / input.scan.frameRate;
    }
    for (const std::string& sentence : LossSentences(input.path, losses)) {
        NoteInputWarning(sentence);
    }
}

void Joiner::NoteInputWarning(const std::string& sentence) {
    std::lock_guard<std::mutex> lock(m_conversion.mutex);
    auto& all = m_conversion.inputWarnings;
    if (all.size() <= m_inputIndex) {
        all.resize(m_inputIndex + 1);
    }
    all[m_inputIndex].push_back(sentence);
}

int Joiner::JoinInput(const InputFacts& input, std::string* error) {
    MediaInput opened;
    int result = OpenMediaInput(input.path, &opened.context, error);
    if (result < 0) {
        return result;
    }
    result = BeginInput(input, opened.context, error);
    if (result < 0) {
        return result;
    }
    result = ReadPackets(error);
    if (result != 0) {
        return result == kInputStopped ? 0 : result;
    }
    return EndInput(error);
}

// The input's streams, its place in the output and the decoders and stages it goes through.
int Joiner::BeginInput(const InputFacts& input, AVFormatContext* context, std::string* error) {
    m_in = CurrentInput{};
    m_in.facts = &input;
    m_in.context = context;
    m_in.videoIndex = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    m_in.audioIndex = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (m_in.videoIndex < 0) {
        *error = "The file " + input.path + " has no video to join.";
        return AVERROR_STREAM_NOT_FOUND;
    }
    m_in.videoIn = context->streams[m_in.videoIndex];
    m_in.audioIn = m_in.audioIndex >= 0 ? context->streams[m_in.audioIndex] : nullptr;
    m_in.hasAudio = m_in.audioIn != nullptr;
    BindCopiedTracks();
    m_in.filterLeads = m_plan.copyVideo && (m_plan.videoCodec == AV_CODEC_ID_MPEG1VIDEO ||
                                            m_plan.videoCodec == AV_CODEC_ID_MPEG2VIDEO);
    m_in.avi = std::string(context->iformat->name) == "avi";
    m_in.holdLastPicture = !m_in.avi && !m_plan.copyVideo;
    m_in.watch = std::make_unique<InputLogWatch>(context);
    m_in.frameRate = input.scan.frameRate;

    double outRate = av_q2d(m_plan.frameRate);
    m_in.segmentFrames = m_plan.copyVideo          ? input.scan.frameCount
                         : m_settings.keepDuration ? OutputFrameCount(input.scan.frameCount,
                                                                      input.scan.frameRate, outRate)
                                                   : input.scan.frameCount;
    if (!m_plan.copyVideo) {
        m_in.videoDecoder = std::make_unique<StreamDecoder>();
        int result = m_in.videoDecoder->Open(m_in.videoIn, input.path, error);
        if (result < 0) {
            return result;
        }
        bool sameCount = m_in.segmentFrames == input.scan.frameCount;
        m_video.BeginInput(sameCount ? outRate : input.scan.frameRate, m_in.segmentFrames,
                           input.displayAspect);
    }
    if (m_plan.audio && !m_plan.copyAudio) {
        int64_t first = av_rescale_q(m_segmentStart, m_frameBase, AVRational{1, m_plan.sampleRate});
        int64_t end = av_rescale_q(m_segmentStart + m_in.segmentFrames, m_frameBase,
                                   AVRational{1, m_plan.sampleRate});
        m_audio.BeginInput(end - first);
        if (m_in.audioIn != nullptr) {
            m_in.audioDecoder = std::make_unique<StreamDecoder>();
            int result = m_in.audioDecoder->Open(m_in.audioIn, input.path, error);
            if (result < 0) {
                return result;
            }
        }
    }
    return BeginEncodedTracks(error);
}

// Copied tracks in the order the plan took them: the first input's best track, then its others
// in stream order, which every input holds alike.
void Joiner::BindCopiedTracks() {
    AVFormatContext* context = m_in.context;
    for (size_t i = 0, next = 0; i < m_tracks.size(); ++i) {
        CopiedTrack& track = m_tracks[i];
        track.index = -1;
        track.in = nullptr;
        track.held.reset();
        track.parsed = false;
        track.inThisInput = false;
        if (i == 0) {
            track.index = m_in.audioIndex;
        } else {
            for (; next < context->nb_streams; ++next) {
                if (static_cast<int>(next) != m_in.audioIndex &&
                    context->streams[next]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                    track.index = static_cast<int>(next++);
                    break;
                }
            }
        }
        track.in = track.index >= 0 ? context->streams[track.index] : nullptr;
    }
}

// The encoded further tracks follow the copied ones in the input's stream order. Their sound is
// cut at the pictures' end; a copied track running on past them lengthens the input's place at
// its end, with silence.
int Joiner::BeginEncodedTracks(std::string* error) {
    std::vector<int> further = FurtherAudioTracks(m_in.context, m_in.audioIndex,
                                                  m_plan.moreAudioTracks + m_moreEncoded.size());
    for (size_t k = 0; k < m_moreEncoded.size(); ++k) {
        EncodedTrack& track = m_moreEncoded[k];
        track.index = further[m_plan.moreAudioTracks + k];
        track.in = track.index >= 0 ? m_in.context->streams[track.index] : nullptr;
        track.packets = 0;
        track.blocks = 0;
        track.decoder.reset();
        track.stage->BeginInput(EncodedSamples(m_segmentStart + m_in.segmentFrames) -
                                EncodedSamples(m_segmentStart));
        if (track.in != nullptr) {
            track.decoder = std::make_unique<StreamDecoder>();
            std::string reason;
            int result = track.decoder->Open(track.in, m_in.facts->path, &reason);
            if (result == AVERROR_DECODER_NOT_FOUND) {
                // A track FFmpeg cannot read costs that track, not the join: silence instead.
                NoteInputWarning(reason + "; silence takes its place in audio track " +
                                 std::to_string(m_plan.moreAudioTracks + k + 2) + ".");
                track.decoder.reset();
                track.in = nullptr;
                track.index = -1;
            } else if (result < 0) {
                *error = reason;
                return result;
            }
        }
    }
    return 0;
}

// Every packet of the input, to the end of the file or until the join is stopped
// (kInputStopped).
int Joiner::ReadPackets(std::string* error) {
    PacketPtr packet(av_packet_alloc());
    int result = 0;
    while (!Stopped() && (result = av_read_frame(m_in.context, packet.get())) >= 0) {
        result = HandlePacket(packet.get(), error);
        av_packet_unref(packet.get());
        if (result < 0) {
            return result;
        }
    }
    if (Stopped()) {
        return kInputStopped;
    }
    const std::string& path = m_in.facts->path;
    if (result != AVERROR_EOF) {
        *error = AvErrorText("Cannot read " + path, result);
        return result;
    }
    if (m_in.base == AV_NOPTS_VALUE) {
        *error = "The video of " + path + " cannot be decoded: it holds no picture.";
        return AVERROR_INVALIDDATA;
    }
    return 0;
}

int Joiner::HandlePacket(AVPacket* packet, std::string* error) {
    bool audioPacket = IsAudioTrack(packet->stream_index);
    if (m_in.avi && (packet->flags & AV_PKT_FLAG_CORRUPT) != 0 &&
        (packet->stream_index == m_in.videoIndex || audioPacket)) {
        ++m_in.cutPackets;  // the end of the file took the rest of it
        return 0;
    }
    if (packet->stream_index == m_in.videoIndex) {
        return VideoPacketRead(packet, error);
    }
    if (!audioPacket) {
        return 0;
    }
    if (m_in.base == AV_NOPTS_VALUE) {
        if (m_in.pending.size() < kMaxPendingAudio) {
            m_in.pending.emplace_back(av_packet_clone(packet));
        }
        return 0;
    }
    return AudioPacket(packet, error);
}

int Joiner::VideoPacketRead(AVPacket* packet, std::string* error) {
    if (m_in.filterLeads &&
        !m_in.leadFilter.Keep(packet->data, static_cast<size_t>(packet->size))) {
        // Encoded sound fills the pictures' place: a picture left out takes its part.
        if (m_plan.audio && !m_plan.copyAudio) {
            AVRational rate{1, m_plan.sampleRate};
            m_audio.ShortenInput(av_rescale_q(m_segmentStart + KeptFrames(), m_frameBase, rate) -
                                 av_rescale_q(m_segmentStart, m_frameBase, rate));
        }
        return 0;
    }
    if (m_in.base == AV_NOPTS_VALUE) {
        int result = StartAt(packet, error);
        if (result < 0) {
            return result;
        }
    }
    const std::string& path = m_in.facts->path;
    if (!m_in.holdLastPicture) {
        return HandleVideo(packet, path, error);
    }
    PacketPtr previous = std::move(m_in.heldPicture);
    m_in.heldPicture.reset(av_packet_clone(packet));
    if (m_in.heldPicture == nullptr) {
        *error = "Out of memory reading " + path;
        return AVERROR(ENOMEM);
    }
    return previous != nullptr ? HandleVideo(previous.get(), path, error) : 0;
}

// The input's first kept picture sets its start; the audio read before it follows.
int Joiner::StartAt(const AVPacket* firstPicture, std::string* error) {
    m_in.base = PacketTime(firstPicture);
    if (m_in.base == AV_NOPTS_VALUE) {
        m_in.base = 0;
    }
    for (PacketPtr& held : m_in.pending) {
        int result = AudioPacket(held.get(), error);
        if (result < 0) {
            return result;
        }
    }
    m_in.pending.clear();
    return 0;
}

// The input's end: what was held back goes out or is left out, the decoders are drained, every
// stream is brought to the input's length, and the next input's place follows.
int Joiner::EndInput(std::string* error) {
    const InputFacts& input = *m_in.facts;
    if (m_in.heldPicture != nullptr) {
        // A file that broke off ends inside its last picture: that one is left out, and the
        // picture before it stays on screen for its place.
        PacketPtr last = std::move(m_in.heldPicture);
        if (m_in.watch->TruncatedPackets() > 0) {
            ++m_in.cutPackets;
        } else {
            int result = HandleVideo(last.get(), input.path, error);
            if (result < 0) {
                return result;
            }
        }
    }
    int result = EndCopiedAudio(error);
    if (result < 0) {
        return result;
    }
    if (!m_plan.copyVideo) {
        result = DecodeVideo(nullptr, error);
        if (result >= 0 && !Stopped()) {
            result = m_video.EndInput(input.path, error);
        }
        if (result < 0 || Stopped()) {
            return result;
        }
    }
    result = EndEncodedAudio(error);
    if (result < 0) {
        return result;
    }
    NoteLosses(input);
    m_in.watch.reset();
    m_in.videoDecoder.reset();
    m_in.audioDecoder.reset();
    RecordInputTime(m_segmentStart, SegmentLength());
    m_segmentStart += SegmentLength();
    m_framesLeftOut += m_in.segmentFrames - KeptFrames();
    // What it left out is counted now: the progress after it must not count it again.
    m_in.leadFilter = LeadingPictureFilter{};
    if (m_plan.copyVideo) {
        // A copied input whose pictures ran short still takes its whole place.
        m_framesDone = m_segmentStart;
    }
    return 0;
}

// The copied tracks' last packets; an AVI's sound filled to its pictures, and its pictures to
// the end of its sound.
int Joiner::EndCopiedAudio(std::string* error) {
    for (CopiedTrack& track : m_tracks) {
        int result = CopyHeldAudio(track, error);
        if (result >= 0 && m_in.avi && std::strcmp(m_plan.muxer, "avi") == 0) {
            result = FillSilenceToPictures(track, error);
        }
        if (result < 0) {
            return result;
        }
    }
    if (m_plan.copyVideo && m_in.avi) {
        m_in.overhangFrames = AudioOverhang();
        return CopyTrailingEmptyFrames(error);
    }
    return 0;
}

// The encoded sound drained and brought to the input's length, the first track and the others.
int Joiner::EndEncodedAudio(std::string* error) {
    const std::string& path = m_in.facts->path;
    if (m_plan.audio && !m_plan.copyAudio) {
        if (m_in.audioDecoder != nullptr) {
            int result = DecodeAudio(*m_in.audioDecoder, m_in.audioIn, m_audio, &m_in.audioBlocks,
                                     nullptr, error);
            if (result < 0) {
                return result;
            }
            if (m_in.audioPackets > 0 && m_in.audioBlocks == 0) {
                *error = "The audio of " + path + " cannot be decoded.";
                return AVERROR_INVALIDDATA;
            }
        }
        int result = m_audio.EndInput(error);
        if (result < 0) {
            return result;
        }
    }
    for (EncodedTrack& track : m_moreEncoded) {
        track.stage->ExtendInput(EncodedSamples(m_segmentStart + SegmentLength()) -
                                 EncodedSamples(m_segmentStart));
        int result = EndEncodedTrack(track, path, error);
        if (result < 0) {
            return result;
        }
    }
    return 0;
}

int Joiner::Run(std::string* error) {
    {
        std::lock_guard<std::mutex> lock(m_conversion.mutex);
        m_conversion.inputTimes.clear();
    }
    Report(kStatusPreparing, 0, 0);
    std::vector<std::string> videoPaths =
        AskSources(m_conversion, m_conversion.callbacks.videoSource);
    std::vector<std::string> audioPaths =
        AskSources(m_conversion, m_conversion.callbacks.audioSource);
    for (size_t i = 0; i < audioPaths.size() && i < videoPaths.size(); ++i) {
        if (!SameFile(audioPaths[i], videoPaths[i]) && audioPaths[i] != videoPaths[i]) {
            *error = "The audio of input " + std::to_string(i + 1) + " (" + audioPaths[i] +
                     ") must come from the same file as its video (" + videoPaths[i] + ").";
            return AVERROR(EINVAL);
        }
    }
    for (const std::string& path : videoPaths) {
        if (SameFile(path, m_settings.outputPath)) {
            *error = "The output " + m_settings.outputPath + " is one of the inputs.";
            return AVERROR(EINVAL);
        }
    }
    if (!m_settings.secondOutputPath.empty() &&
        m_settings.secondOutputPath != m_settings.outputPath) {
        *error = "Audio and video go into one file: the two output paths must be the same.";
        return AVERROR(EINVAL);
    }
    std::vector<InputFacts> inputs;
    AVCodecParameters* firstVideoRaw = nullptr;
    AVCodecParameters* firstAudioRaw = nullptr;
    int result = ReadInputFacts(videoPaths, &inputs, &firstVideoRaw, &firstAudioRaw, error);
    ParametersPtr firstVideo(firstVideoRaw);
    ParametersPtr firstAudio(firstAudioRaw);
    if (result < 0) {
        return result;
    }
    result = MakeOutputPlan(m_settings, inputs, &m_plan, error);
    if (result >= 0) {
        std::vector<const AVCodecParameters*> moreAudio;
        for (size_t i = 0; m_plan.copyAudio && i < m_plan.moreAudioTracks; ++i) {
            moreAudio.push_back(inputs.front().moreAudio[i].get());
        }
        result = SetUpOutput(firstVideo.get(), firstAudio.get(), moreAudio, error);
    }
    if (result >= 0) {
        std::lock_guard<std::mutex> lock(m_conversion.mutex);
        auto& all = m_conversion.inputWarnings;
        for (size_t i = 0; i < inputs.size(); ++i) {
            std::vector<std::string> sentences = LeftOutTracks(m_plan, inputs[i]);
            if (!sentences.empty()) {
                all.resize(std::max(all.size(), i + 1));
                all[i].insert(all[i].end(), sentences.begin(), sentences.end());
            }
        }
    }
    for (size_t i = 0; result >= 0 && i < inputs.size() && !Stopped(); ++i) {
        m_inputIndex = i;
        result = JoinInput(inputs[i], error);
    }
    if (result >= 0 && Stopped()) {
        *error = "The conversion was stopped.";
        return AVERROR_EXIT;
    }
    if (result >= 0 && !m_plan.copyVideo) {
        result = m_video.Flush(error);
    }
    if (result >= 0 && m_plan.audio && !m_plan.copyAudio) {
        result = m_audio.Flush(error);
    }
    for (size_t k = 0; result >= 0 && k < m_moreEncoded.size(); ++k) {
        result = m_moreEncoded[k].stage->Flush(error);
    }
    if (result >= 0) {
        result = m_output.Finish(error);
    }
    if (result < 0) {
        return result;
    }
    Report(kStatusFinished, FramesHandled(), SamplesHandled());
    return 0;
}

}  // namespace

int RunConversion(Conversion& conversion, std::string* error) {
    ConversionSettings settings;
    {
        std::lock_guard<std::mutex> lock(conversion.mutex);
        settings = conversion.settings;
        conversion.inputWarnings.clear();
    }
    Joiner joiner(conversion, settings);
    return joiner.Run(error);
}
