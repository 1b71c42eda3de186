#include "engines/asf/writer.h"

#include <chrono>
#include <random>

#include "engines/asf/asf_header_builder.h"
#include "engines/asf/block_io.h"
#include "engines/asf/header_info.h"
#include "engines/asf/nss_buffer.h"
#include "engines/asf/text.h"
#include "platform/bytes.h"

namespace asf {

namespace {

constexpr uint64_t kUnitsPerSecond = 10000000;
// 1601-01-01 to 1970-01-01 in seconds.
constexpr uint64_t kFileTimeEpochOffset = 11644473600ull;

GUID NewFileId() {
    std::random_device rd;
    uint8_t raw[16];
    for (auto& b : raw) {
        b = static_cast<uint8_t>(rd());
    }
    raw[7] = static_cast<uint8_t>((raw[7] & 0x0F) | 0x40);  // a version-4 id
    raw[8] = static_cast<uint8_t>((raw[8] & 0x3F) | 0x80);
    return GuidFromBytes(raw);
}

uint64_t NowAsFileTime() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto units = std::chrono::duration_cast<std::chrono::microseconds>(now).count() * 10;
    return static_cast<uint64_t>(units) + kFileTimeEpochOffset * kUnitsPerSecond;
}

// Every stream of the written file has Extended Stream Properties; a stream that came without
// them gets them from its profile entry.
void CompleteExtended(const ProfileStream& ps, StreamInfo* s) {
    if (!s->hasExtended) {
        s->hasExtended = true;
        s->extended = ExtendedStreamProperties{};
        s->extended.flags = extprops::kFlagSeekable;
        s->extended.initialBufferFullnessMs = ps.bufferWindowMs;
        s->extended.altInitialBufferFullnessMs = ps.bufferWindowMs;
    }
    s->extended.dataBitrate = ps.bitrate;
    s->extended.bufferSizeMs = ps.bufferWindowMs;
    if (s->extended.altDataBitrate == 0) {
        s->extended.altDataBitrate = ps.bitrate;
    }
    if (s->extended.altBufferSizeMs == 0) {
        s->extended.altBufferSizeMs = ps.bufferWindowMs;
    }
    s->averageBitrate = ps.bitrate;
}

// About a megabyte of packets per write, as for reading.
constexpr size_t kWriteBatchBytes = size_t{1} << 20;

}  // namespace

// Packets go to the file from the buffers they were built in, written on a thread of their
// own while the next batch is being filled.
class FileBatches final : public PacketBatches {
public:
    FileBatches(File& file, uint64_t offset, size_t capacity) : m_out(file, offset, capacity) {}
    size_t Capacity() const override { return m_out.BlockSize(); }
    uint8_t* NextBatch() override { return m_out.Block(); }
    HRESULT Send(size_t size) override { return m_out.Submit(size); }
    HRESULT Finish() { return m_out.Finish(); }

private:
    WriteBehind m_out;
};

Writer::Writer() {
    HeaderInfoPolicy policy;
    policy.editable = true;
    policy.markersNotImplemented = true;
    m_headerInfo = new HeaderInfo(Metadata{}, {}, policy);
}

Writer::~Writer() {
    {
        std::lock_guard lock(m_mutex);
        AbandonLocked();
    }
    SafeRelease(m_headerInfo);
}

void Writer::AbandonLocked() {
    m_packetizer.reset();
    m_batches.reset();  // waits for its writes: before the file closes
    m_file.Close();
    m_hidden.Discard();
    m_streams.clear();
    m_writing = false;
}

HRESULT Writer::QueryInterface(REFIID riid, void** ppv) {
    HRESULT hr = ComObjectWith::QueryInterface(riid, ppv);
    if (hr != E_NOINTERFACE) {
        return hr;
    }
    if (riid == IID_IWMHeaderInfo || riid == IID_IWMHeaderInfo2 || riid == IID_IWMHeaderInfo3) {
        return m_headerInfo->QueryInterface(riid, ppv);
    }
    return E_NOINTERFACE;
}

HRESULT Writer::SetProfileByID(REFGUID) {
    return E_NOTIMPL;
}

HRESULT Writer::SetProfile(IWMProfile* pProfile) {
    if (pProfile == nullptr) {
        return E_POINTER;
    }
    void* p = nullptr;
    if (FAILED(pProfile->QueryInterface(IID_IAsfProfileData, &p))) {
        return E_INVALIDARG;  // only profiles of this module describe whole streams
    }
    auto* source = static_cast<IAsfProfileData*>(p);
    ProfileData data = source->Snapshot();
    source->Release();
    // Packets carry their padding length in a WORD, which bounds the packet size.
    if (data.streams.empty() || data.packetSize == 0 || data.packetSize > 0xFFFF) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_mutex);
    if (m_writing) {
        return NS_E_INVALID_REQUEST;
    }
    m_profile = std::move(data);
    return S_OK;
}

HRESULT Writer::SetOutputFilename(LPCWSTR pwszFilename) {
    if (pwszFilename == nullptr || pwszFilename[0] == 0) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_mutex);
    if (m_writing) {
        return NS_E_INVALID_REQUEST;
    }
    m_path = Utf8FromWide(pwszFilename);
    return S_OK;
}

HRESULT Writer::GetInputCount(DWORD* pcInputs) {
    if (pcInputs == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    if (!m_profile) {
        return NS_E_INVALID_REQUEST;
    }
    *pcInputs = static_cast<DWORD>(m_profile->streams.size());
    return S_OK;
}

// Inputs take compressed stream samples only; there is no encoder behind them.
HRESULT Writer::GetInputProps(DWORD, IWMInputMediaProps**) {
    return E_NOTIMPL;
}

HRESULT Writer::SetInputProps(DWORD dwInputNum, IWMInputMediaProps* pInput) {
    std::lock_guard lock(m_mutex);
    if (!m_profile || dwInputNum >= m_profile->streams.size()) {
        return E_INVALIDARG;
    }
    return pInput == nullptr ? S_OK : E_NOTIMPL;
}

HRESULT Writer::GetInputFormatCount(DWORD, DWORD* pcFormats) {
    if (pcFormats == nullptr) {
        return E_POINTER;
    }
    *pcFormats = 0;
    return S_OK;
}

HRESULT Writer::GetInputFormat(DWORD, DWORD, IWMInputMediaProps**) {
    return E_NOTIMPL;
}

HRESULT Writer::Fail(HRESULT hr) {
    if (SUCCEEDED(m_error)) {
        m_error = hr;
    }
    return hr;
}

HRESULT Writer::BeginWriting() {
    std::lock_guard lock(m_mutex);
    if (m_writing || !m_profile || m_path.empty()) {
        return NS_E_INVALID_REQUEST;
    }
    const ProfileData& profile = *m_profile;
    Header h;
    FileProperties& f = h.file;
    f.fileId = NewFileId();
    f.creationDate = NowAsFileTime();
    f.prerollMs = profile.prerollMs;
    f.flags = fileprops::kFlagSeekable;
    f.minPacketSize = profile.packetSize;
    f.maxPacketSize = profile.packetSize;
    uint64_t bitrateSum = 0;
    m_streams.clear();
    for (const ProfileStream& ps : profile.streams) {
        StreamInfo s = ps.info;
        CompleteExtended(ps, &s);
        bitrateSum += ps.bitrate;
        StreamState state;
        state.headerIndex = h.streams.size();
        state.video = s.IsVideo();
        m_streams[s.number] = std::move(state);
        h.streams.push_back(std::move(s));
    }
    f.maxBitrate = profile.maxBitrate != 0
                       ? profile.maxBitrate
                       : static_cast<uint32_t>(std::min<uint64_t>(bitrateSum, 0xFFFFFFFFu));
    h.otherExtension = profile.extensionObjects;
    h.otherTopLevel = profile.topLevelObjects;
    h.metadata = m_headerInfo->Snapshot();
    h.metadata.markers.clear();
    for (const ProfileStream& ps : profile.streams) {
        for (const Attribute& a : ps.attributes) {
            bool set = false;
            for (const Attribute& b : h.metadata.attributes) {
                set = set || (b.stream == a.stream && b.name == a.name);
            }
            if (!set) {
                h.metadata.attributes.push_back(a);
            }
        }
    }
    h.hasCodecList = true;
    h.hasStreamBitrates = true;  // its rates are filled in at the end where the profile had none

    Bytes headerBytes;
    HeaderBuildOptions options;
    options.minimumPadding = kWriterHeaderPadding;
    HRESULT hr = BuildHeaderObject(h, options, &headerBytes);
    if (FAILED(hr)) {
        return hr;
    }
    hr = CreateOutput(m_hidden, m_file, m_path);
    if (FAILED(hr)) {
        return hr;
    }
    // The header goes in now to reserve its place and again, final, at the end.
    ByteWriter data;
    uint8_t raw[16];
    GuidToBytes(kDataObject, raw);
    data.Bytes(raw, 16).LE64(0);
    GuidToBytes(f.fileId, raw);
    data.Bytes(raw, 16).LE64(0).LE16(kDataObjectReserved);
    hr = WriteAt(m_file, 0, headerBytes.data(), headerBytes.size());
    if (SUCCEEDED(hr)) {
        hr = WriteAt(m_file, headerBytes.size(), data.bytes().data(), data.size());
    }
    if (FAILED(hr)) {
        m_file.Close();
        m_hidden.Discard();
        return hr;
    }
    m_headerSize = headerBytes.size();
    m_header = std::move(h);
    m_dataEnd = m_headerSize + kDataObjectFixed;
    size_t batch = std::max<size_t>(1, kWriteBatchBytes / profile.packetSize) * profile.packetSize;
    m_batches = std::make_unique<FileBatches>(m_file, m_dataEnd, batch);
    m_packetizer =
        std::make_unique<Packetizer>(profile.packetSize, profile.prerollMs, m_batches.get());
    for (const StreamInfo& s : m_header.streams) {
        if (!m_packetizer->Fits(s.FixedExtensionBytes() < 0 ? 0 : s.FixedExtensionBytes())) {
            AbandonLocked();
            return E_INVALIDARG;
        }
    }
    m_error = S_OK;
    m_endTime = 0;
    m_writerTime = 0;
    m_writing = true;
    HeaderInfoPolicy frozen;
    frozen.markersNotImplemented = true;
    m_headerInfo->SetPolicy(frozen);
    return S_OK;
}

Bytes Writer::ExtensionFor(const StreamInfo& s, INSSBuffer* sample, QWORD duration) const {
    const auto& systems = s.extended.extensions;
    if (systems.empty()) {
        return {};
    }
    // The bytes the sample carried in its source file, when they suit this stream's layout.
    void* p = nullptr;
    if (SUCCEEDED(sample->QueryInterface(IID_IAsfSampleExtension, &p))) {
        auto* ext = static_cast<IAsfSampleExtension*>(p);
        Bytes carried = ext->ExtensionData();
        ext->Release();
        ByteReader r(carried);
        size_t off = 0;
        bool ok = true;
        for (const auto& e : systems) {
            size_t n = e.dataSize;
            if (n == extprops::kVariableExtensionSize) {
                ok = ok && r.Has(off, 2);
                n = r.LE16(off);
                off += 2;
            }
            ok = ok && r.Has(off, n);
            off += n;
        }
        if (ok && off == carried.size() && carried.size() + packet::kMinReplicatedLength <= 0xFF) {
            return carried;
        }
    }
    // Otherwise made up: the sample duration where declared, zeros elsewhere.
    ByteWriter w;
    for (const auto& e : systems) {
        if (e.dataSize == extprops::kVariableExtensionSize) {
            w.LE16(0);
        } else if (e.id == kPayloadExtSampleDuration && e.dataSize == 2) {
            w.LE16(static_cast<uint16_t>(std::min<QWORD>(duration / kUnitsPerMs, 0xFFFF)));
        } else {
            w.Zeros(e.dataSize);
        }
    }
    return std::move(w.bytes());
}

HRESULT Writer::WriteStreamSample(WORD wStreamNum, QWORD cnsSampleTime, DWORD,
                                  QWORD cnsSampleDuration, DWORD dwFlags, INSSBuffer* pSample) {
    if (pSample == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    if (!m_writing) {
        return NS_E_INVALID_REQUEST;
    }
    if (FAILED(m_error)) {
        return m_error;
    }
    auto it = m_streams.find(wStreamNum);
    if (it == m_streams.end()) {
        return E_INVALIDARG;
    }
    StreamState& st = it->second;
    const StreamInfo& s = m_header.streams[st.headerIndex];
    // A buffer of this module gives its bytes where they lie (in the blocks they were read
    // into); any other is read through its pointer.
    DWORD length = 0;
    HRESULT hr = pSample->GetLength(&length);
    if (FAILED(hr)) {
        return hr;
    }
    const ObjectBytes* spans = nullptr;
    ObjectBytes pointed;
    void* own = nullptr;
    if (SUCCEEDED(pSample->QueryInterface(IID_IAsfSampleData, &own))) {
        auto* sampleData = static_cast<IAsfSampleData*>(own);
        if (sampleData->SampleBytes().size() == length) {
            spans = &sampleData->SampleBytes();
        }
        sampleData->Release();  // the caller's reference keeps the buffer
    }
    if (spans == nullptr) {
        BYTE* data = nullptr;
        hr = pSample->GetBufferAndLength(&data, &length);
        if (FAILED(hr)) {
            return hr;
        }
        if (length > 0 && data == nullptr) {
            return E_POINTER;
        }
        pointed.Append(data, length, std::shared_ptr<const void>(data, [](const void*) {}));
        spans = &pointed;
    }
    uint64_t ms = (cnsSampleTime + kUnitsPerMs / 2) / kUnitsPerMs + m_header.file.prerollMs;
    if (ms > 0xFFFFFFFFu) {
        return ASF_E_INVALIDTIME;
    }
    Bytes extension = ExtensionFor(s, pSample, cnsSampleDuration);
    if (extension.size() + packet::kMinReplicatedLength > 0xFF) {
        return E_INVALIDARG;
    }
    bool key = (dwFlags & WM_SF_CLEANPOINT) != 0;
    Packetizer::Placement where;
    hr = m_packetizer->AddObject(static_cast<uint8_t>(wStreamNum), static_cast<uint32_t>(ms), key,
                                 *spans, extension, &where);
    if (FAILED(hr)) {
        return Fail(hr);
    }
    if (key || !st.video) {
        st.simpleIndex.Add(static_cast<uint32_t>(ms), where.firstPacket, where.lastPacket);
        st.fullIndex.Add(static_cast<uint32_t>(ms), where.firstPacket, where.lastPacket);
    }
    // The play duration ends with the latest sample's end; a sample without a duration is
    // taken to last as long as the step from that stream's previous sample.
    if (st.any && cnsSampleTime > st.lastTime) {
        st.lastDelta = cnsSampleTime - st.lastTime;
    }
    QWORD duration = cnsSampleDuration != 0 ? cnsSampleDuration : st.lastDelta;
    if (!st.any) {
        st.firstTime = cnsSampleTime;
    }
    st.lastTime = cnsSampleTime;
    st.any = true;
    st.bytes += length;
    ++st.objects;
    st.maxObjectSize = std::max<uint32_t>(st.maxObjectSize, length);
    m_endTime = std::max(m_endTime, cnsSampleTime + duration);
    m_writerTime = std::max(m_writerTime, cnsSampleTime);
    return S_OK;
}

HRESULT Writer::EndWriting() {
    std::lock_guard lock(m_mutex);
    if (!m_writing) {
        return NS_E_INVALID_REQUEST;
    }
    HRESULT hr = m_error;
    if (SUCCEEDED(hr)) {
        hr = m_packetizer->Finish();
    }
    // Every packet is on its way; the index and the final header follow them.
    HRESULT written = m_batches->Finish();
    if (SUCCEEDED(hr)) {
        hr = written;
    }
    FileProperties& f = m_header.file;
    const uint64_t packets = m_packetizer->PacketCount();
    const uint64_t dataEnd = m_headerSize + kDataObjectFixed + packets * f.maxPacketSize;
    f.packetCount = packets;
    f.playDuration = packets == 0 ? 0 : m_endTime + UnitsFromMs(f.prerollMs);
    f.sendDuration = packets == 0 ? 0 : m_endTime;
    // What the profile left open is measured: bit rates over the play time, and the average
    // time per frame of video. These fields have fixed sizes, so the header keeps its size.
    uint64_t bitrateSum = 0;
    for (auto& [number, st] : m_streams) {
        StreamInfo& s = m_header.streams[st.headerIndex];
        s.extended.maxObjectSize = st.maxObjectSize;
        if (s.averageBitrate == 0 && m_endTime > 0) {
            uint64_t rate = st.bytes * 8 * kUnitsPerSecond / m_endTime;
            s.averageBitrate = static_cast<uint32_t>(std::min<uint64_t>(rate, 0xFFFFFFFFu));
            if (s.extended.dataBitrate == 0) {
                s.extended.dataBitrate = s.averageBitrate;
                s.extended.altDataBitrate = s.averageBitrate;
            }
        }
        if (st.video && s.extended.avgTimePerFrame == 0 && st.objects > 1) {
            s.extended.avgTimePerFrame = (st.lastTime - st.firstTime) / (st.objects - 1);
        }
        bitrateSum += s.averageBitrate;
    }
    if (f.maxBitrate == 0) {
        f.maxBitrate = static_cast<uint32_t>(std::min<uint64_t>(bitrateSum, 0xFFFFFFFFu));
    }
    uint64_t end = dataEnd;
    if (SUCCEEDED(hr)) {
        hr = WriteIndexesLocked(&end);
    }
    f.fileSize = end;
    Bytes headerBytes;
    if (SUCCEEDED(hr)) {
        HeaderBuildOptions options;
        options.targetSize = m_headerSize;
        hr = BuildHeaderObject(m_header, options, &headerBytes);
    }
    if (SUCCEEDED(hr)) {
        hr = WriteAt(m_file, 0, headerBytes.data(), headerBytes.size());
    }
    if (SUCCEEDED(hr)) {
        ByteWriter d;
        d.LE64(kDataObjectFixed + packets * f.maxPacketSize);
        hr = WriteAt(m_file, m_headerSize + 16, d.bytes().data(), d.size());
        ByteWriter c;
        c.LE64(packets);
        if (SUCCEEDED(hr)) {
            hr = WriteAt(m_file, m_headerSize + 40, c.bytes().data(), c.size());
        }
    }
    if (SUCCEEDED(hr)) {
        hr = Truncate(m_file, end);
    }
    if (SUCCEEDED(hr)) {
        m_packetizer.reset();
        m_batches.reset();
        hr = NameOutput(m_hidden, m_file);
    }
    AbandonLocked();
    HeaderInfoPolicy policy;
    policy.editable = true;
    policy.markersNotImplemented = true;
    m_headerInfo->SetPolicy(policy);
    return hr;
}

HRESULT Writer::WriteIndexesLocked(uint64_t* end) {
    const FileProperties& f = m_header.file;
    bool anyVideo = false;
    for (auto& [number, st] : m_streams) {
        anyVideo = anyVideo || st.video;
        st.simpleIndex.FinishUntil(f.playDuration);
        st.fullIndex.FinishUntil(f.playDuration);
    }
    // Readers seek through the Simple Index only: a file of sound alone gets one of its first
    // audio stream, so that it can be sought as well.
    std::vector<const IndexSeries*> simple;
    for (const auto& [number, st] : m_streams) {
        const StreamInfo& s = m_header.streams[st.headerIndex];
        if (st.video || (!anyVideo && s.IsAudio() && simple.empty())) {
            simple.push_back(&st.simpleIndex);
        }
    }
    std::vector<Bytes> objects;
    for (const IndexSeries* series : simple) {
        objects.push_back(SimpleIndexObject(*series, f.fileId));
    }
    if (m_profile->indexObject) {
        std::vector<IndexedStream> all;
        for (const auto& [number, st] : m_streams) {
            all.push_back({number, &st.fullIndex});
        }
        objects.push_back(IndexObject(all, f.maxPacketSize));
    }
    for (const Bytes& object : objects) {
        HRESULT hr = WriteAt(m_file, *end, object.data(), object.size());
        if (FAILED(hr)) {
            return hr;
        }
        *end += object.size();
    }
    return S_OK;
}

HRESULT Writer::AllocateSample(DWORD dwSampleSize, INSSBuffer** ppSample) {
    if (ppSample == nullptr) {
        return E_POINTER;
    }
    *ppSample = new NssBuffer(dwSampleSize);
    return S_OK;
}

HRESULT Writer::WriteSample(DWORD, QWORD, DWORD, INSSBuffer*) {
    return NS_E_INVALID_REQUEST;  // uncompressed input would need an encoder
}

HRESULT Writer::Flush() {
    return S_OK;
}

HRESULT Writer::GetSinkCount(DWORD* pcSinks) {
    if (pcSinks == nullptr) {
        return E_POINTER;
    }
    *pcSinks = 1;
    return S_OK;
}
HRESULT Writer::GetSink(DWORD, IWMWriterSink**) {
    return E_NOTIMPL;
}
HRESULT Writer::AddSink(IWMWriterSink*) {
    return E_NOTIMPL;
}
HRESULT Writer::RemoveSink(IWMWriterSink*) {
    return E_NOTIMPL;
}

HRESULT Writer::SetLiveSource(BOOL fIsLiveSource) {
    return fIsLiveSource ? E_NOTIMPL : S_OK;
}

HRESULT Writer::IsRealTime(BOOL* pfRealTime) {
    if (pfRealTime == nullptr) {
        return E_POINTER;
    }
    *pfRealTime = FALSE;
    return S_OK;
}

HRESULT Writer::GetWriterTime(QWORD* pcnsCurrentTime) {
    if (pcnsCurrentTime == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pcnsCurrentTime = m_writerTime;
    return S_OK;
}

HRESULT Writer::GetStatistics(WORD, WM_WRITER_STATISTICS*) {
    return E_NOTIMPL;
}

HRESULT Writer::SetSyncTolerance(DWORD msWindow) {
    std::lock_guard lock(m_mutex);
    m_syncTolerance = msWindow;
    return S_OK;
}

HRESULT Writer::GetSyncTolerance(DWORD* pmsWindow) {
    if (pmsWindow == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pmsWindow = m_syncTolerance;
    return S_OK;
}

}  // namespace asf
