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
#include "wmjoin/wm_stream_table.h"

class JoinHost;

class CWMJoiner : public IWMReaderCallback, public IWMReaderCallbackAdvanced {
public:
    explicit CWMJoiner(JoinHost& host);
    virtual ~CWMJoiner();
    CWMJoiner(const CWMJoiner&) = delete;
    CWMJoiner& operator=(const CWMJoiner&) = delete;

    // IUnknown. The owner's first reference is never released: it destroys the joiner itself.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return m_refCount.Increment(); }
    ULONG Release() override;

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
    HRESULT CopyScripts(IWMHeaderInfo* destination, IWMHeaderInfo* source, QWORD shift);
    HRESULT CopyMarkersToOutput();
    HRESULT CopyMarkers(IWMHeaderInfo* source, IWMHeaderInfo* destination, QWORD shift);
    // A marker at input `input`'s start (1-based), named after its file.
    HRESULT AddInputMarker(IWMHeaderInfo* destination, int input, QWORD shift);

    // The last diagnostic line(s) of the callbacks and the header copy.
    const std::string& MessageText() const { return m_strMessage; }
    // The line of the last failed step of set-up, configuration or the run.
    const std::string& LastLine() const { return m_lastLine; }
    uint32_t TickCount() const { return m_nTicks; }
    // The clock of input `input` (1-based), in 100-ns units.
    QWORD Clock(int input) const { return m_clocks[static_cast<size_t>(input - 1)]; }
    // Where input `input` (1-based) stands in the output: the shift of its samples, scripts and
    // markers, in 100-ns units; known once that input has started.
    QWORD Shift(int input) const { return m_shifts[static_cast<size_t>(input - 1)]; }
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
    std::string m_lastLine;
    std::string m_strTrace;  // the last sample's trace line (kept for debugging, not shown)
    RefCount m_refCount;
};

// The Windows Media join of the job's inputs into `outputPath`: 1 on success, 0 on refusal or
// failure with the reason in g_errorText.
int JoinWmvFiles(JoinHost& host, const std::string& outputPath);
