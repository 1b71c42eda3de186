#include "wmjoin/wm_joiner.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "job/job_state.h"
#include "job/join_host.h"
#include "platform/unicode.h"
#include "res/resource_ids.h"
#include "wmjoin/wm_entry_points.h"

namespace {

// How long the joiner waits for a reader to confirm it has closed before letting it go.
constexpr auto kCloseWait = std::chrono::seconds(5);

std::string Narrow(const std::wstring& text) {
    return Utf8FromWide(text);
}

}  // namespace

CWMJoiner::CWMJoiner(JoinHost& host) : m_host(host) {}

CWMJoiner::~CWMJoiner() {
    DropHeldSamples();
    m_outputPath.clear();
    m_streamMaps.clear();
    for (size_t i = 0; i < m_readers.size(); ++i) {
        if (m_readers[i] != nullptr) {
            // Wait for the reader to confirm, so no callback reaches a joiner that is gone.
            if (i < m_opened.size() && m_opened[i] && SUCCEEDED(m_readers[i]->Close())) {
                m_event.WaitFor(kCloseWait);
            }
            SafeRelease(m_readers[i]);
        }
        if (i < m_readersAdvanced.size()) {
            SafeRelease(m_readersAdvanced[i]);
        }
        if (i < m_profiles.size()) {
            SafeRelease(m_profiles[i]);
        }
        if (i < m_headerInfos.size()) {
            SafeRelease(m_headerInfos[i]);
        }
    }
    SafeRelease(m_pWriterAdvanced);
    SafeRelease(m_pWriter);
    m_pFirstTable.reset();
    m_strMessage.clear();
}

HRESULT CWMJoiner::Show(HRESULT hr, const std::string& line) {
    // After a stop by the user the failures that follow are expected: say nothing.
    if (g_stopRequested.load() == 0) {
        m_host.MessageBox(line);
    }
    m_lastLine = line;
    return hr;
}

int CWMJoiner::CurrentInput() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nCurrentInput;
}

void CWMJoiner::Signal(HRESULT status) {
    m_status = status;
    m_event.Set();
}

HRESULT CWMJoiner::Init(int inputCount) {
    size_t count = inputCount > 0 ? static_cast<size_t>(inputCount) : 0;
    m_readers.assign(count, nullptr);
    m_readersAdvanced.assign(count, nullptr);
    m_profiles.assign(count, nullptr);
    m_headerInfos.assign(count, nullptr);
    m_opened.assign(count, false);
    m_inputPaths.assign(count, std::wstring());
    m_clocks.assign(count, 0);
    m_shifts.assign(count, 0);
    m_firstSampleTimes.assign(count, kNoSampleYet);
    m_offsets.assign(count, 0);
    m_fileDurations.assign(count, 0);
    m_contentEnd = 0;
    m_nFiles = inputCount;
    if (g_pfnWMCreateReader == nullptr || g_pfnWMCreateWriter == nullptr) {
        return E_FAIL;
    }
    for (size_t i = 0; i < count; ++i) {
        if (FAILED(g_pfnWMCreateReader(nullptr, 0, &m_readers[i]))) {
            m_readers[i] = nullptr;
            break;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        if (m_readers[i] != nullptr) {
            m_readers[i]->QueryInterface(IID_IWMReaderAdvanced,
                                         reinterpret_cast<void**>(&m_readersAdvanced[i]));
        }
    }
    HRESULT hr = g_pfnWMCreateWriter(nullptr, &m_pWriter);
    if (FAILED(hr)) {
        m_pWriter = nullptr;
        return hr;
    }
    return m_pWriter->QueryInterface(IID_IWMWriterAdvanced,
                                     reinterpret_cast<void**>(&m_pWriterAdvanced));
}

HRESULT CWMJoiner::CheckNotProtected(const std::wstring& path) {
    std::string line;
    IWMMetadataEditor* editor = nullptr;
    IWMHeaderInfo* header = nullptr;
    HRESULT hr = g_pfnWMCreateEditor != nullptr ? g_pfnWMCreateEditor(&editor) : E_FAIL;
    if (FAILED(hr)) {
        editor = nullptr;
        line = WmLine("Could not create Metadata Editor (hr=0x%08x).\n", Hex(hr));
    } else if (FAILED(hr = editor->Open(path.c_str()))) {
        line = WmLine("Could not open file %s (hr=0x%08x).\n", Narrow(path).c_str(), Hex(hr)) +
               WmFileFailureReason(hr);
    } else if (FAILED(hr = editor->QueryInterface(IID_IWMHeaderInfo,
                                                  reinterpret_cast<void**>(&header)))) {
        header = nullptr;
        line = WmLine("Could not QI for IWMHeaderInfo (hr=0x%08x).\n", Hex(hr));
    } else {
        WORD stream = 0;
        WMT_ATTR_DATATYPE type = WMT_TYPE_BOOL;
        BOOL isProtected = FALSE;
        WORD length = sizeof isProtected;
        const std::wstring name = WideFromUtf8("Is_Protected");
        hr = header->GetAttributeByName(&stream, name.c_str(), &type,
                                        reinterpret_cast<BYTE*>(&isProtected), &length);
        if (FAILED(hr)) {
            line = WmLine("Error in getting Protected attribute for file %s (hr=0x%08x).\n",
                          Narrow(path).c_str(), Hex(hr));
        } else if (isProtected != FALSE) {
            line = WmLine("Protected attributes set for input file %s .\n", Narrow(path).c_str());
            hr = E_INVALIDARG;
        }
    }
    SafeRelease(header);
    SafeRelease(editor);
    if (FAILED(hr)) {
        Show(hr, line);
    }
    return hr;
}

HRESULT CWMJoiner::OpenReader(int input, const std::wstring& path) {
    if (static_cast<size_t>(input) < m_inputPaths.size()) {
        m_inputPaths[static_cast<size_t>(input)] = path;
    }
    IWMReader* reader = m_readers[static_cast<size_t>(input)];
    if (reader == nullptr) {
        return E_POINTER;
    }
    HRESULT hr = reader->Open(path.c_str(), this, nullptr);
    if (SUCCEEDED(hr)) {
        m_opened[static_cast<size_t>(input)] = true;
    }
    return hr;
}

HRESULT CWMJoiner::OpenFirstFile(const std::wstring& path) {
    if (m_nFiles < 1) {
        return E_INVALIDARG;
    }
    std::string file = Narrow(path);
    HRESULT hr = CheckNotProtected(path);
    if (FAILED(hr)) {
        return Show(hr, WmLine("File %s is protected, cannot open, aborting...\n", file.c_str()));
    }
    hr = OpenReader(0, path);
    if (FAILED(hr)) {
        return Show(
            hr, WmLine("Could not open first input file %s (hr=0x%08x).\n", file.c_str(), Hex(hr)));
    }
    m_event.Wait();
    hr = m_status;
    if (FAILED(hr)) {
        return Show(hr,
                    WmLine("Open failed for first file %s (hr=0x%08x).\n", file.c_str(), Hex(hr)) +
                        WmFileFailureReason(hr));
    }
    hr = m_readers[0]->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&m_profiles[0]));
    if (FAILED(hr)) {
        m_profiles[0] = nullptr;
        return Show(hr,
                    WmLine("Could not QI for IWMProfile of first file (hr=0x%08x).\n", Hex(hr)));
    }
    DWORD count = 0;
    hr = m_profiles[0]->GetStreamCount(&count);
    if (FAILED(hr)) {
        return Show(hr, WmLine("GetStreamCount on IWMProfile failed for first file "
                               "(hr=0x%08x).\n",
                               Hex(hr)));
    }
    m_nStreams = count;
    m_streamMaps.clear();
    m_streamMaps.resize(static_cast<size_t>(m_nFiles));
    m_pFirstTable = std::make_unique<WmStreamTable>(count);
    m_pFirstTable->Build(m_profiles[0]);
    m_audioStreams.clear();
    for (uint32_t i = 0; i < count; ++i) {
        const WM_MEDIA_TYPE* type = m_pFirstTable->MediaType(i);
        if (type != nullptr && type->majortype == WMMEDIATYPE_Audio) {
            AudioStream audio;
            audio.stream = m_pFirstTable->StreamNumber(i);
            if (type->formattype == WMFORMAT_WaveFormatEx &&
                type->cbFormat >= sizeof(WAVEFORMATEX)) {
                WAVEFORMATEX format;
                std::memcpy(&format, type + 1, sizeof format);
                audio.bytesPerSecond = format.nAvgBytesPerSec;
            }
            m_audioStreams.push_back(audio);
        }
    }
    FindAudioSeams();
    return hr;
}

HRESULT CWMJoiner::OpenNextFile(const std::wstring& path, int fileNumber, int* matched) {
    *matched = 0;
    if (fileNumber < 2 || fileNumber > m_nFiles) {
        return E_INVALIDARG;
    }
    size_t index = static_cast<size_t>(fileNumber - 1);
    std::string file = Narrow(path);
    HRESULT hr = CheckNotProtected(path);
    if (FAILED(hr)) {
        return Show(hr,
                    WmLine("File %s file is protected, cannot open, aborting...\n", file.c_str()));
    }
    hr = OpenReader(fileNumber - 1, path);
    if (FAILED(hr)) {
        return Show(hr, WmLine("Could not open second input file %s (hr=0x%08x).\n", file.c_str(),
                               Hex(hr)));
    }
    m_event.Wait();
    hr = m_status;
    if (FAILED(hr)) {
        return Show(hr,
                    WmLine("Open failed for second file %s (hr=0x%08x).\n", file.c_str(), Hex(hr)) +
                        WmFileFailureReason(hr));
    }
    hr = m_readers[index]->QueryInterface(IID_IWMProfile,
                                          reinterpret_cast<void**>(&m_profiles[index]));
    if (FAILED(hr)) {
        m_profiles[index] = nullptr;
        return Show(hr,
                    WmLine("Could not QI for IWMProfile of second file (hr=0x%08x).\n", Hex(hr)));
    }
    DWORD count = 0;
    hr = m_profiles[index]->GetStreamCount(&count);
    if (FAILED(hr)) {
        return Show(hr, WmLine("GetStreamCount on IWMProfile failed for second file "
                               "(hr=0x%08x).\n",
                               Hex(hr)));
    }
    if (count != m_nStreams || m_pFirstTable == nullptr) {
        return hr;  // the driver reports the mismatch
    }
    WmStreamTable table(count);
    hr = table.Build(m_profiles[index]);
    if (SUCCEEDED(hr) && index < m_streamMaps.size()) {
        *matched = m_pFirstTable->MapStreams(table, &m_streamMaps[index], m_host);
    }
    // Its header stays at hand for the header copy; its file waits for its turn.
    if (FAILED(m_readers[index]->QueryInterface(IID_IWMHeaderInfo,
                                                reinterpret_cast<void**>(&m_headerInfos[index])))) {
        m_headerInfos[index] = nullptr;
    }
    RetireReader(fileNumber);
    return hr;
}

HRESULT CWMJoiner::ApplyBufferWindows() {
    if (m_profiles.empty() || m_profiles[0] == nullptr || m_pFirstTable == nullptr) {
        return E_INVALIDARG;
    }
    IWMProfile* profile = m_profiles[0];
    for (uint32_t i = 0; i < m_pFirstTable->Count(); ++i) {
        WORD number = m_pFirstTable->StreamNumber(i);
        if (number == 0) {
            continue;
        }
        IWMStreamConfig* config = nullptr;
        HRESULT hr = profile->GetStreamByNumber(number, &config);
        if (FAILED(hr)) {
            return Show(hr, WmLine("Could not get Stream %d from IWMProfile (hr=0x%08x).\n", number,
                                   Hex(hr)));
        }
        hr = config->SetBufferWindow(m_pFirstTable->BufferWindow(i));
        DWORD bitrate = 0;
        if (SUCCEEDED(hr) && SUCCEEDED(config->GetBitrate(&bitrate)) &&
            m_pFirstTable->Bitrate(i) > bitrate) {
            hr = config->SetBitrate(m_pFirstTable->Bitrate(i));
        }
        if (FAILED(hr)) {
            SafeRelease(config);
            return Show(hr, WmLine("Could not set Buffer Window for Stream %d (hr=0x%08x).\n",
                                   number, Hex(hr)));
        }
        hr = profile->ReconfigStream(config);
        SafeRelease(config);
        if (FAILED(hr)) {
            return Show(hr, WmLine("Could not reconfig stream %d (hr=0x%08x).\n", number, Hex(hr)));
        }
    }
    return S_OK;
}

HRESULT CWMJoiner::RequestStreamSamples(IWMReaderAdvanced* reader, IWMProfile* profile,
                                        DWORD index) {
    if (reader == nullptr || profile == nullptr) {
        return E_POINTER;
    }
    IWMStreamConfig* config = nullptr;
    HRESULT hr = profile->GetStream(index, &config);
    if (FAILED(hr)) {
        return Show(hr, WmLine("Could not get Stream %d from IWMProfile (hr=0x%08x).\n",
                               static_cast<int>(index), Hex(hr)));
    }
    WORD number = 0;
    hr = config->GetStreamNumber(&number);
    SafeRelease(config);
    if (FAILED(hr)) {
        return Show(hr, WmLine("Could not get stream number from IWMStreamConfig for Stream "
                               "Index %d (hr=0x%08x).\n",
                               static_cast<int>(index), Hex(hr)));
    }
    hr = reader->SetReceiveStreamSamples(number, TRUE);
    if (FAILED(hr)) {
        return Show(hr, WmLine("Could not SetReceivedStreamSamples for Stream Index %d "
                               "(hr=0x%08x).\n",
                               static_cast<int>(index), Hex(hr)));
    }
    return hr;
}

HRESULT CWMJoiner::ConfigureWriter(const std::wstring& outputPath) {
    for (IWMProfile* profile : m_profiles) {
        if (profile == nullptr) {
            return E_INVALIDARG;
        }
    }
    if (m_pWriter == nullptr || m_pWriterAdvanced == nullptr) {
        return E_INVALIDARG;
    }
    HRESULT hr = S_OK;
    std::string line;
    IWMHeaderInfo* writerHeader = nullptr;
    auto finish = [&](HRESULT result) {
        SafeRelease(writerHeader);
        QWORD sum = 0;
        for (QWORD clock : m_clocks) {
            sum += clock;
        }
        m_totalSeconds = sum / kWmOneSecond;
        m_lastLine = line;
        return result;
    };

    for (size_t input = 0; input < m_readersAdvanced.size(); ++input) {
        IWMReaderAdvanced* reader = m_readersAdvanced[input];
        if (!ReaderLive(static_cast<int>(input) + 1)) {
            continue;  // set when it opens again
        }
        if (reader == nullptr || FAILED(hr = reader->SetManualStreamSelection(TRUE))) {
            hr = reader == nullptr ? E_POINTER : hr;
            line = WmLine("Failed to set manual stream selection for first file (hr=0x%08x).\n",
                          Hex(hr));
            break;
        }
    }
    for (DWORD s = 0; s < m_nStreams; ++s) {
        for (size_t input = 0; input < m_readersAdvanced.size(); ++input) {
            if (!ReaderLive(static_cast<int>(input) + 1)) {
                continue;
            }
            hr = RequestStreamSamples(m_readersAdvanced[input], m_profiles[input], s);
            if (FAILED(hr)) {
                break;
            }
        }
    }
    if (FAILED(hr)) {
        return finish(hr);
    }
    for (size_t input = 0; input < m_readersAdvanced.size(); ++input) {
        if (!ReaderLive(static_cast<int>(input) + 1)) {
            continue;
        }
        HRESULT clockResult = m_readersAdvanced[input]->SetUserProvidedClock(TRUE);
        if (FAILED(clockResult)) {
            line = WmLine("SetUserProvidedClock failed for %d file (hr=0x%08x).\n",
                          static_cast<int>(input), Hex(clockResult));
            break;
        }
    }
    if (FAILED(hr = m_pWriter->SetProfile(m_profiles[0]))) {
        line = WmLine("Could not set profile on IWMWriter (hr=0x%08x).\n", Hex(hr));
        return finish(hr);
    }
    m_outputPath = outputPath;
    if (FAILED(hr = m_pWriter->SetOutputFilename(m_outputPath.c_str()))) {
        line = WmLine("Could not set output file %s on IWMWriter (hr=0x%08x).\n",
                      Narrow(outputPath).c_str(), Hex(hr));
        return finish(hr);
    }
    DWORD inputs = 0;
    if (FAILED(hr = m_pWriter->GetInputCount(&inputs))) {
        line = WmLine("Could not get input count from IWMWriter (hr=0x%08x).\n", Hex(hr));
        return finish(hr);
    }
    for (DWORD i = 0; i < inputs; ++i) {
        m_pWriter->SetInputProps(i, nullptr);  // compressed stream samples only
    }
    for (size_t input = 0; input < m_readers.size(); ++input) {
        if (m_headerInfos[input] != nullptr) {
            continue;  // taken when it was matched
        }
        hr = m_readers[input] == nullptr
                 ? E_POINTER
                 : m_readers[input]->QueryInterface(
                       IID_IWMHeaderInfo, reinterpret_cast<void**>(&m_headerInfos[input]));
        if (FAILED(hr)) {
            m_headerInfos[input] = nullptr;
            line = WmLine("Could not QI for IWMHeaderInfo from the reader (hr=0x%08x).\n", Hex(hr));
            return finish(hr);
        }
    }
    hr = m_pWriter->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&writerHeader));
    if (FAILED(hr)) {
        writerHeader = nullptr;
        line = WmLine("Could not QI for IWMHeaderInfo from the writer (hr=0x%08x).\n", Hex(hr));
        return finish(hr);
    }
    if (FAILED(hr = CopyAttributes(writerHeader)) || FAILED(hr = CopyCodecInfo(writerHeader)) ||
        FAILED(hr = CopyScripts(writerHeader, m_headerInfos[0], 0))) {
        line = m_strMessage;
        return finish(hr);
    }
    // The durations give the run's progress. Later inputs' scripts go where the sample pump
    // puts their samples, which is known once the input before has been read: they are added
    // with the markers, after writing.
    const std::wstring durationName = WideFromUtf8("Duration");
    auto readDuration = [&](size_t index) {
        WORD stream = 0;
        WMT_ATTR_DATATYPE type = WMT_TYPE_QWORD;
        WORD length = sizeof(QWORD);
        hr = m_headerInfos[index]->GetAttributeByName(&stream, durationName.c_str(), &type,
                                                      reinterpret_cast<BYTE*>(&m_clocks[index]),
                                                      &length);
        if (FAILED(hr)) {
            line = WmLine("Error in getting Duration attribute for first file (hr=0x%08x).\n",
                          Hex(hr));
        }
        return SUCCEEDED(hr);
    };
    for (int k = 1; k < m_nFiles; ++k) {
        if (!readDuration(static_cast<size_t>(k - 1))) {
            return finish(hr);
        }
        if (k + 1 == m_nFiles && !readDuration(static_cast<size_t>(k))) {
            return finish(hr);
        }
    }
    // Each input's own duration, where its sound ends (the clocks become delivery clocks).
    for (size_t input = 0; input < m_headerInfos.size(); ++input) {
        WORD stream = 0;
        WMT_ATTR_DATATYPE type = WMT_TYPE_QWORD;
        WORD length = sizeof(QWORD);
        if (FAILED(m_headerInfos[input]->GetAttributeByName(
                &stream, durationName.c_str(), &type,
                reinterpret_cast<BYTE*>(&m_fileDurations[input]), &length))) {
            m_fileDurations[input] = 0;
        }
    }
    return finish(hr);
}

void CWMJoiner::NoteInputStart(QWORD outputTime) {
    size_t input = static_cast<size_t>(CurrentInput() - 1);
    if (input < m_firstSampleTimes.size()) {
        m_firstSampleTimes[input] = std::min(m_firstSampleTimes[input], outputTime);
    }
}

QWORD CWMJoiner::FirstSampleTime(int input) const {
    size_t index = static_cast<size_t>(input - 1);
    if (index >= m_firstSampleTimes.size()) {
        return 0;
    }
    return m_firstSampleTimes[index] != kNoSampleYet ? m_firstSampleTimes[index] : Shift(input);
}
