// The Windows Media joiner: one reader per input hands out compressed samples, which one writer
// writes, input after input, under the first input's profile, with later inputs shifted in time
// and their streams renumbered; header attributes, codec information, scripts and markers are
// carried over.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engines/asf/wmsdk.h"
#include "platform/auto_event.h"
#include "wmjoin/wm_audio_seams.h"
#include "wmjoin/wm_stream_table.h"

class JoinHost;

// The owner destroys the joiner itself; the readers' references never do.
class CWMJoiner : public OwnedComObject<IWMReaderCallback, IWMReaderCallbackAdvanced> {
public:
    explicit CWMJoiner(JoinHost& host);
    virtual ~CWMJoiner();
    CWMJoiner(const CWMJoiner&) = delete;
    CWMJoiner& operator=(const CWMJoiner&) = delete;

    // Set-up.
    HRESULT Init(int inputCount);
    HRESULT OpenFirstFile(const std::wstring& path);
    HRESULT OpenNextFile(const std::wstring& path, int fileNumber, int* matched);
    HRESULT ApplyBufferWindows();
    HRESULT ConfigureWriter(const std::wstring& outputPath);

    // The sample pump.
    HRESULT Run();
    WORD MapStreamNumber(WORD streamNumber, int fileNumber);

    // IWMStatusCallback / IWMReaderCallback
    HRESULT OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, BYTE* value,
                     void* context) override;
    HRESULT OnSample(DWORD outputNumber, QWORD sampleTime, QWORD sampleDuration, DWORD flags,
                     INSSBuffer* sample, void* context) override;
    // IWMReaderCallbackAdvanced
    HRESULT OnStreamSample(WORD streamNumber, QWORD sampleTime, QWORD sampleDuration, DWORD flags,
                           INSSBuffer* sample, void* context) override;
    HRESULT OnTime(QWORD currentTime, void* context) override;
    HRESULT OnStreamSelection(WORD, WORD*, WMT_STREAM_SELECTION*, void*) override { return S_OK; }
    HRESULT OnOutputPropsChanged(DWORD, WM_MEDIA_TYPE*, void*) override { return S_OK; }
    HRESULT AllocateForStream(WORD, DWORD, INSSBuffer**, void*) override { return E_NOTIMPL; }
    HRESULT AllocateForOutput(DWORD, DWORD, INSSBuffer**, void*) override { return E_NOTIMPL; }

    // Header copy.
    HRESULT CopyAttributes(IWMHeaderInfo* writerHeader);
    HRESULT CopyAttribute(WORD sourceStream, WORD destinationStream, IWMHeaderInfo* destination,
                          const wchar_t* name);
    // Every other file-level attribute of input 1 (cover pictures, genres, lyrics ...), with its
    // type and language, after the designed ones; not what describes input 1's own layout.
    HRESULT CopyOtherAttributes(IWMHeaderInfo* writerHeader);
    HRESULT CopyCodecInfo(IWMHeaderInfo* writerHeader);
    // The shift of scripts and markers is signed: an input's lead before its first sample is
    // taken off, and an item in that lead goes to the input's start.
    HRESULT CopyScripts(IWMHeaderInfo* destination, IWMHeaderInfo* source, int64_t shift);
    HRESULT CopyMarkersToOutput();
    HRESULT CopyMarkers(IWMHeaderInfo* source, IWMHeaderInfo* destination, int64_t shift);
    // A marker at input `input`'s start (1-based), named after its file.
    HRESULT AddInputMarker(IWMHeaderInfo* destination, int input, QWORD shift);

    // The last diagnostic line(s) of the callbacks and the header copy.
    const std::string& MessageText() const { return m_strMessage; }
    // The line of the last failed step of set-up, configuration or the run.
    const std::string& LastLine() const { return m_lastLine; }
    uint32_t TickCount() const { return m_nTicks; }
    // The clock of input `input` (1-based), in 100-ns units.
    QWORD Clock(int input) const { return m_clocks[static_cast<size_t>(input - 1)]; }
    // Where input `input` (1-based) starts in the output, in 100-ns units: where the samples of
    // the inputs before it end; known once that input has started.
    QWORD Shift(int input) const { return m_shifts[static_cast<size_t>(input - 1)]; }
    // What is added to the times of input `input`'s samples, scripts and markers: its start less
    // the lead its streams share before their first sample (the first input keeps its own).
    int64_t Offset(int input) const { return m_offsets[static_cast<size_t>(input - 1)]; }
    QWORD TotalSeconds() const { return m_totalSeconds; }
    // The latest end (time plus duration) of any sample written, in 100-ns units.
    QWORD ContentEnd() const { return m_contentEnd; }
    // The output time of the earliest sample written of input `input` (1-based), or its shift
    // when none was written.
    QWORD FirstSampleTime(int input) const;

private:
    // Keeps `outputTime` when it is the earliest of the current input's samples so far.
    void NoteInputStart(QWORD outputTime);
    HRESULT CheckNotProtected(const std::wstring& path);
    HRESULT RequestStreamSamples(IWMReaderAdvanced* reader, IWMProfile* profile, DWORD index);
    HRESULT OpenReader(int input, const std::wstring& path);
    // Lists of any length (wm_reader_turns.cpp): a later input's reader is let go once the
    // input has been matched, and a new one opens it when its turn comes, so that only the
    // readers of the first and the current input hold a file (and a thread) at a time.
    HRESULT RetireReader(int input);
    HRESULT ReopenReader(int input);
    bool ReaderLive(int input) const;
    // Shows a line in a message box and returns `hr`.
    HRESULT Show(HRESULT hr, const std::string& line);
    int CurrentInput();
    // Hands `status` to the waiting worker thread.
    void Signal(HRESULT status);
    // Ends the current input with `status` unless it has already ended.
    void EndInput(HRESULT status);
    // Waits for the current reader's answer; E_ABORT when the user stops the join meanwhile.
    HRESULT WaitForReader();
    // Tells the job's report what the reader of input `input` (1-based) left out of it.
    void ReportInputDamage(int input);
    // Notes where a written sample ends, for the place of the next input.
    void NoteSampleEnd(WORD outputStream, QWORD outputTime, QWORD duration);
    // Placing an input (wm_input_place.cpp): a later input's samples are held until its lead is
    // known, then written at their place.
    HRESULT TakeSample(int input, WORD outputStream, QWORD sampleTime, QWORD duration, DWORD flags,
                       INSSBuffer* sample);
    bool LeadKnown() const;
    HRESULT PlaceHeldSamples(int input);
    void DropHeldSamples();
    // Writes one sample of input `input` at its output time.
    HRESULT WriteOutputSample(int input, WORD outputStream, QWORD sampleTime, QWORD duration,
                              DWORD flags, INSSBuffer* sample);
    QWORD PlaceTime(int input, QWORD inputTime) const;
    // Ends the current input's placing: what is still held is written (on success) or dropped.
    HRESULT FinishInputPlacing(HRESULT status);
    // Sound whose objects need care at a seam (wm_audio_seam_write.cpp).
    struct AudioSeam;
    void FindAudioSeams();
    void StartAudioSeams();
    HRESULT WriteAudioSeamSample(AudioSeam& seam, WORD outputStream, QWORD outputTime,
                                 QWORD duration, DWORD flags, INSSBuffer* sample);
    // The end of the input (`ended`; else it failed and what is kept goes): each sound
    // stream's last object is written now. Where it would last past the input's own duration,
    // it ends there (the file's duration tells where the decoded sound of a padded last payload
    // ends), and an object that ends inside an MPEG audio frame ends with its last whole
    // frame.
    HRESULT FinishAudioSeams(bool ended);
    // Whether the reader of input `input` (1-based) found it cut short.
    bool InputCutShort(int input);
    // Writes a sample at its output time as it is and notes where it ends.
    HRESULT WriteToOutput(WORD outputStream, QWORD outputTime, QWORD duration, DWORD flags,
                          INSSBuffer* sample);

    JoinHost& m_host;
    std::string m_strMessage;
    uint32_t m_nTicks = 0;
    std::mutex m_lock;  // guards the current-input number
    int m_nFiles = 0;
    std::vector<IWMHeaderInfo*> m_headerInfos;
    std::vector<IWMProfile*> m_profiles;
    IWMWriterAdvanced* m_pWriterAdvanced = nullptr;
    IWMWriter* m_pWriter = nullptr;
    std::vector<IWMReaderAdvanced*> m_readersAdvanced;
    std::vector<IWMReader*> m_readers;
    std::vector<bool> m_opened;  // the reader's Open was accepted
    std::unique_ptr<WmStreamTable> m_pFirstTable;
    std::vector<std::unique_ptr<WmStreamMap>> m_streamMaps;
    uint32_t m_nStreams = 0;
    std::atomic<bool> m_bEndOfInput{false};
    std::vector<QWORD> m_clocks;
    // The output-time shift of each input, and the latest end (time plus duration) of any
    // sample written so far: the next input starts there.
    std::vector<QWORD> m_shifts;
    std::vector<QWORD> m_firstSampleTimes;  // per input; kNoSampleYet until one is written
    std::vector<int64_t> m_offsets;         // per input: added to its times
    std::vector<QWORD> m_fileDurations;     // per input: its "Duration" attribute, 0 unknown
    struct AudioStream {
        WORD stream = 0;              // its output stream number
        uint32_t bytesPerSecond = 0;  // its format's average, 0 unknown
    };
    std::vector<AudioStream> m_audioStreams;
    // The sound stream of that output number, or null.
    const AudioStream* FindAudioStream(WORD outputStream) const;
    struct HeldSample {
        WORD stream = 0;
        QWORD time = 0;
        QWORD duration = 0;
        DWORD flags = 0;
        INSSBuffer* buffer = nullptr;  // one reference held
    };
    std::vector<HeldSample> m_held;  // of the current input, until its lead is known
    bool m_placed = false;           // the current input's offset is known
    struct AudioSeam {
        WORD stream = 0;
        SeamAudioKind kind = SeamAudioKind::kWhole;
        uint32_t blockAlign = 0;
        bool inputStarted = false;  // the current input has written an object of the stream
        // WMA Pro / Lossless: the last packet number written, and what the current input's
        // numbers are moved by to follow it.
        bool anyPacket = false;
        unsigned lastSequence = 0;
        unsigned sequenceDelta = 0;
        // MPEG audio: bytes of the next object that finish the current frame.
        size_t carry = 0;
        // The latest object, kept until the next one shows it was not the last; for MPEG
        // audio, where its last whole frame ends.
        HeldSample pending;
        size_t pendingWholeEnd = 0;
        QWORD lastStep = 0;  // from the object before the pending one to it
        uint32_t sampleRate = 0;
    };
    std::vector<AudioSeam> m_audioSeams;
    QWORD m_contentEnd = 0;
    // Per output stream, the current input's previous sample time and the step to it: the
    // length of a sample that comes without a duration.
    struct StreamSteps {
        bool any = false;
        QWORD lastTime = 0;
        QWORD lastStep = 0;
    };
    std::vector<StreamSteps> m_steps;
    QWORD m_totalSeconds = 0;
    HRESULT m_status = S_OK;
    AutoResetEvent m_event;
    int16_t m_nCurrentInput = 0;
    std::wstring m_outputPath;
    std::vector<std::wstring> m_inputPaths;  // per input, as opened
    std::string m_lastLine;
    std::string m_strTrace;  // the last sample's trace line (kept for debugging, not shown)
};

// A time moved by a signed shift; one that would come before 0 stays at 0.
inline QWORD ShiftedTime(QWORD time, int64_t shift) {
    if (shift < 0 && time < static_cast<QWORD>(-shift)) {
        return 0;
    }
    return time + static_cast<QWORD>(shift);
}

// The Windows Media join of the job's inputs into `outputPath`: 1 on success, 0 on refusal or
// failure with the reason in g_errorText.
int JoinWmvFiles(JoinHost& host, const std::string& outputPath);

// The join's refusal of input `fileNumber` (from 1) whose streams are not the first file's:
// "File No.%d's profile mismatch with the first one\r\nCan not continue... Aborting the process"
std::string WmProfileMismatchText(int fileNumber);
