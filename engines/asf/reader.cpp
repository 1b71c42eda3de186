#include "engines/asf/reader.h"

#include <algorithm>
#include <new>

#include "engines/asf/header_info.h"
#include "engines/asf/nss_buffer.h"
#include "engines/asf/profile.h"
#include "engines/asf/text.h"
#include "platform/bytes.h"

namespace asf {

namespace {
// Samples delivered before the thread looks at its commands again (so Stop is prompt).
constexpr int kSamplesPerTurn = 32;
}  // namespace

Reader::Reader() = default;

Reader::~Reader() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        if (std::this_thread::get_id() == m_thread.get_id()) {
            m_thread.detach();  // the last reference went away inside a callback
        } else {
            m_thread.join();
        }
    }
    SafeRelease(m_advanced);
    SafeRelease(m_callback);
    SafeRelease(m_profile);
    SafeRelease(m_headerInfo);
}

HRESULT Reader::QueryInterface(REFIID riid, void** ppv) {
    HRESULT hr = ComObjectWith::QueryInterface(riid, ppv);
    if (hr != E_NOINTERFACE) {
        return hr;
    }
    // The profile and header of the open file are objects of their own.
    std::lock_guard lock(m_mutex);
    if (riid == IID_IWMProfile && m_profile != nullptr) {
        return m_profile->QueryInterface(riid, ppv);
    }
    if ((riid == IID_IWMHeaderInfo || riid == IID_IWMHeaderInfo2 || riid == IID_IWMHeaderInfo3) &&
        m_headerInfo != nullptr) {
        return m_headerInfo->QueryInterface(riid, ppv);
    }
    return E_NOINTERFACE;
}

HRESULT Reader::Enqueue(Command command) {
    if (!m_thread.joinable()) {
        m_thread = std::thread([this] { ThreadMain(); });
        m_threadId = m_thread.get_id();
    }
    m_commands.push_back(std::move(command));
    ++m_commandsQueued;
    m_wake.notify_all();
    return S_OK;
}

HRESULT Reader::Open(LPCWSTR pwszURL, IWMReaderCallback* pCallback, void* pvContext) {
    if (pwszURL == nullptr || pCallback == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_mutex);
    if (m_opening || m_opened) {
        return NS_E_INVALID_REQUEST;
    }
    SafeRelease(m_advanced);
    SafeRelease(m_callback);
    m_callback = pCallback;
    m_callback->AddRef();
    void* advanced = nullptr;
    if (SUCCEEDED(pCallback->QueryInterface(IID_IWMReaderCallbackAdvanced, &advanced))) {
        m_advanced = static_cast<IWMReaderCallbackAdvanced*>(advanced);
    }
    m_openContext = pvContext;
    m_startContext = pvContext;
    m_opening = true;
    Command c = MakeCommand(CommandKind::Open);
    c.path = Utf8FromWide(pwszURL);
    return Enqueue(std::move(c));
}

HRESULT Reader::Close() {
    uint64_t ticket;
    {
        std::lock_guard lock(m_mutex);
        if (!m_opening && !m_opened) {
            return NS_E_INVALID_REQUEST;
        }
        m_running = false;
        m_started = false;
        m_haveTarget = false;
        Enqueue(MakeCommand(CommandKind::Close));
        ticket = m_commandsQueued;
        if (std::this_thread::get_id() == m_threadId) {
            return S_OK;  // from a callback: the close follows when it returns
        }
    }
    // Closing is complete (and WMT_CLOSED reported) when this returns, so that no callback
    // reaches an owner that goes away right after Close.
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_commandsDone >= ticket || m_quit; });
    return S_OK;
}

HRESULT Reader::GetOutputCount(DWORD* pcOutputs) {
    if (pcOutputs == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    if (!m_opened) {
        return NS_E_INVALID_REQUEST;
    }
    *pcOutputs = static_cast<DWORD>(m_streamNumbers.size());
    return S_OK;
}

// Decoded output is not offered: this module copies compressed samples only.
HRESULT Reader::GetOutputProps(DWORD, IWMOutputMediaProps**) {
    return E_NOTIMPL;
}
HRESULT Reader::SetOutputProps(DWORD, IWMOutputMediaProps*) {
    return E_NOTIMPL;
}
HRESULT Reader::GetOutputFormatCount(DWORD, DWORD*) {
    return E_NOTIMPL;
}
HRESULT Reader::GetOutputFormat(DWORD, DWORD, IWMOutputMediaProps**) {
    return E_NOTIMPL;
}

HRESULT Reader::Start(QWORD cnsStart, QWORD cnsDuration, float fRate, void* pvContext) {
    if (!(fRate > 0.0f)) {
        return NS_E_INVALID_REQUEST;
    }
    std::lock_guard lock(m_mutex);
    if (!m_opened) {
        return NS_E_INVALID_REQUEST;
    }
    m_startContext = pvContext;
    m_haveTarget = false;
    m_running = false;
    m_paused = false;
    Command c = MakeCommand(CommandKind::Start);
    c.start = cnsStart;
    c.duration = cnsDuration;
    return Enqueue(std::move(c));
}

HRESULT Reader::Stop() {
    std::lock_guard lock(m_mutex);
    if (!m_opened) {
        return NS_E_INVALID_REQUEST;
    }
    m_running = false;
    m_haveTarget = false;
    return Enqueue(MakeCommand(CommandKind::Stop));
}

HRESULT Reader::Pause() {
    std::lock_guard lock(m_mutex);
    if (!m_started) {
        return NS_E_INVALID_REQUEST;
    }
    m_paused = true;
    return S_OK;
}

HRESULT Reader::Resume() {
    std::lock_guard lock(m_mutex);
    if (!m_started) {
        return NS_E_INVALID_REQUEST;
    }
    m_paused = false;
    m_wake.notify_all();
    return S_OK;
}

HRESULT Reader::SetUserProvidedClock(BOOL fUserClock) {
    std::lock_guard lock(m_mutex);
    m_userClock = fUserClock != 0;
    m_wake.notify_all();
    return S_OK;
}

HRESULT Reader::GetUserProvidedClock(BOOL* pfUserClock) {
    if (pfUserClock == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pfUserClock = m_userClock ? TRUE : FALSE;
    return S_OK;
}

HRESULT Reader::DeliverTime(QWORD cnsTime) {
    std::lock_guard lock(m_mutex);
    if (!m_userClock || !m_started) {
        return E_UNEXPECTED;
    }
    m_target = cnsTime;
    m_haveTarget = true;
    m_wake.notify_all();
    return S_OK;
}

HRESULT Reader::SetManualStreamSelection(BOOL fSelection) {
    std::lock_guard lock(m_mutex);
    m_manualSelection = fSelection != 0;
    return S_OK;
}

HRESULT Reader::GetManualStreamSelection(BOOL* pfSelection) {
    if (pfSelection == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pfSelection = m_manualSelection ? TRUE : FALSE;
    return S_OK;
}

bool Reader::IsStreamKnownLocked(WORD stream) const {
    return !m_opened || m_streamNumbers.count(stream) != 0;
}

HRESULT Reader::SetStreamsSelected(WORD cStreamCount, WORD* pwStreamNumbers,
                                   WMT_STREAM_SELECTION* pSelections) {
    if (cStreamCount > 0 && (pwStreamNumbers == nullptr || pSelections == nullptr)) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    for (WORD i = 0; i < cStreamCount; ++i) {
        if (!IsStreamKnownLocked(pwStreamNumbers[i])) {
            return E_INVALIDARG;
        }
    }
    for (WORD i = 0; i < cStreamCount; ++i) {
        m_selection[pwStreamNumbers[i]] = pSelections[i];
    }
    return S_OK;
}

HRESULT Reader::GetStreamSelected(WORD wStreamNum, WMT_STREAM_SELECTION* pSelection) {
    if (pSelection == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    if (!IsStreamKnownLocked(wStreamNum)) {
        return E_INVALIDARG;
    }
    auto it = m_selection.find(wStreamNum);
    *pSelection = it == m_selection.end() ? WMT_ON : it->second;
    return S_OK;
}

HRESULT Reader::SetReceiveSelectionCallbacks(BOOL fGetCallbacks) {
    std::lock_guard lock(m_mutex);
    m_selectionCallbacks = fGetCallbacks != 0;
    return S_OK;
}

HRESULT Reader::GetReceiveSelectionCallbacks(BOOL* pfGetCallbacks) {
    if (pfGetCallbacks == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pfGetCallbacks = m_selectionCallbacks ? TRUE : FALSE;
    return S_OK;
}

HRESULT Reader::SetReceiveStreamSamples(WORD wStreamNum, BOOL fReceiveStreamSamples) {
    std::lock_guard lock(m_mutex);
    if (!IsStreamKnownLocked(wStreamNum) || wStreamNum == 0) {
        return E_INVALIDARG;
    }
    if (fReceiveStreamSamples != 0) {
        if (m_callback != nullptr && m_advanced == nullptr) {
            return E_NOINTERFACE;  // stream samples go to IWMReaderCallbackAdvanced only
        }
        m_streamSamples.insert(wStreamNum);
    } else {
        m_streamSamples.erase(wStreamNum);
    }
    return S_OK;
}

HRESULT Reader::GetReceiveStreamSamples(WORD wStreamNum, BOOL* pfReceiveStreamSamples) {
    if (pfReceiveStreamSamples == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pfReceiveStreamSamples = m_streamSamples.count(wStreamNum) != 0 ? TRUE : FALSE;
    return S_OK;
}

// The reader always allocates its own sample buffers.
HRESULT Reader::SetAllocateForOutput(DWORD, BOOL fAllocate) {
    return fAllocate ? E_NOTIMPL : S_OK;
}
HRESULT Reader::GetAllocateForOutput(DWORD, BOOL* pfAllocate) {
    if (pfAllocate == nullptr) {
        return E_POINTER;
    }
    *pfAllocate = FALSE;
    return S_OK;
}
HRESULT Reader::SetAllocateForStream(WORD, BOOL fAllocate) {
    return fAllocate ? E_NOTIMPL : S_OK;
}
HRESULT Reader::GetAllocateForStream(WORD, BOOL* pfAllocate) {
    if (pfAllocate == nullptr) {
        return E_POINTER;
    }
    *pfAllocate = FALSE;
    return S_OK;
}
HRESULT Reader::GetStatistics(WM_READER_STATISTICS*) {
    return E_NOTIMPL;
}
HRESULT Reader::SetClientInfo(WM_READER_CLIENTINFO*) {
    return S_OK;
}
HRESULT Reader::GetMaxOutputSampleSize(DWORD, DWORD*) {
    return E_NOTIMPL;
}

HRESULT Reader::GetMaxStreamSampleSize(WORD wStream, DWORD* pcbMax) {
    if (pcbMax == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    if (!m_opened || m_profile == nullptr) {
        return NS_E_INVALID_REQUEST;
    }
    for (const auto& s : m_profile->Snapshot().streams) {
        if (s.info.number == wStream) {
            *pcbMax = s.info.hasExtended ? s.info.extended.maxObjectSize : 0;
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT Reader::NotifyLateDelivery(QWORD) {
    return S_OK;
}

HRESULT Reader::GetDamage(KJ_READER_DAMAGE* pDamage) {
    if (pDamage == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    if (!m_opened) {
        return NS_E_INVALID_REQUEST;
    }
    *pDamage = m_fileFacts;
    pDamage->damagedPackets = m_source.DamagedPackets();
    return S_OK;
}

// ---- The reader's thread ----

void Reader::Status(WMT_STATUS status, HRESULT hr) {
    IWMReaderCallback* callback;
    void* context;
    {
        std::lock_guard lock(m_mutex);
        callback = m_callback;
        context = status == WMT_OPENED || status == WMT_CLOSED ? m_openContext : m_startContext;
        if (callback != nullptr) {
            callback->AddRef();
        }
    }
    if (callback != nullptr) {
        callback->OnStatus(status, hr, WMT_TYPE_DWORD, nullptr, context);
        callback->Release();
    }
}

bool Reader::CanDeliverLocked() const {
    return m_running && !m_paused && (!m_userClock || m_haveTarget);
}

void Reader::ThreadMain() {
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [&] { return m_quit || !m_commands.empty() || CanDeliverLocked(); });
        if (m_quit) {
            m_done.notify_all();
            return;
        }
        if (!m_commands.empty()) {
            Command c = std::move(m_commands.front());
            m_commands.pop_front();
            lock.unlock();
            try {
                Handle(c);
            } catch (const std::bad_alloc&) {
                Status(c.kind == CommandKind::Open ? WMT_OPENED : WMT_ERROR, E_OUTOFMEMORY);
            }
            lock.lock();
            ++m_commandsDone;
            m_done.notify_all();
            continue;
        }
        lock.unlock();
        // Nothing may leave this thread: a failure becomes a status report.
        try {
            DeliverSome();
        } catch (const std::bad_alloc&) {
            {
                std::lock_guard stopLock(m_mutex);
                m_running = false;
            }
            Status(WMT_ERROR, E_OUTOFMEMORY);
        }
    }
}

void Reader::Handle(const Command& c) {
    switch (c.kind) {
        case CommandKind::Open: {
            HRESULT hr = m_source.Open(c.path);
            Profile* profile = nullptr;
            HeaderInfo* info = nullptr;
            if (SUCCEEDED(hr)) {
                const Header& h = m_source.header();
                m_prerollUnits = UnitsFromMs(h.file.prerollMs);
                m_streamInfo.clear();
                for (const auto& s : h.streams) {
                    m_streamInfo[s.number] = &s;
                }
                ProfileData data = ProfileFromHeader(h);
                data.indexObject = m_source.layout().hasIndexObject;
                profile = new Profile(std::move(data));
                info = new HeaderInfo(h.metadata,
                                      ComputedAttributes(h, m_source.layout().fileSize,
                                                         m_source.layout().simpleIndexOffset != 0),
                                      HeaderInfoPolicy{});
            }
            {
                std::lock_guard lock(m_mutex);
                m_opening = false;
                m_opened = SUCCEEDED(hr);
                SafeRelease(m_profile);
                SafeRelease(m_headerInfo);
                m_profile = profile;
                m_headerInfo = info;
                m_streamNumbers.clear();
                m_fileFacts = KJ_READER_DAMAGE{};
                if (m_opened) {
                    m_fileFacts.cutShort = m_source.layout().cutShort ? TRUE : FALSE;
                    m_fileFacts.packets = m_source.layout().packetCount;
                    for (const auto& s : m_source.header().streams) {
                        m_streamNumbers.insert(s.number);
                    }
                }
            }
            Status(WMT_OPENED, hr);
            break;
        }
        case CommandKind::Start: {
            uint64_t packet = c.start > 0 ? m_source.PacketForTime(c.start) : 0;
            // Without a Simple Index the start is found by reading from the first packet and
            // leaving out what comes before it.
            m_skipBefore = c.start > 0 && m_source.layout().simpleIndexOffset == 0 ? c.start : 0;
            HRESULT hr = m_source.SeekToPacket(packet);
            m_pending.reset();
            m_seenStreams.clear();
            // After a seek, video starts at a key frame: the indexed packet may open with
            // frames that depend on earlier ones.
            m_awaitingKeyFrame.clear();
            if (c.start > 0) {
                for (const auto& [number, info] : m_streamInfo) {
                    if (info->IsVideo()) {
                        m_awaitingKeyFrame.insert(number);
                    }
                }
            }
            m_endTime = c.duration == 0 || c.start > ~QWORD{0} - c.duration ? ~QWORD{0}
                                                                            : c.start + c.duration;
            {
                std::lock_guard lock(m_mutex);
                m_started = SUCCEEDED(hr);
                m_running = SUCCEEDED(hr);
            }
            Status(WMT_STARTED, hr);
            break;
        }
        case CommandKind::Stop: {
            {
                std::lock_guard lock(m_mutex);
                m_started = false;
                m_running = false;
                m_haveTarget = false;
            }
            m_pending.reset();
            Status(WMT_STOPPED, S_OK);
            break;
        }
        case CommandKind::Close: {
            m_source.Close();
            m_pending.reset();
            m_streamInfo.clear();
            {
                std::lock_guard lock(m_mutex);
                m_opened = false;
                m_opening = false;
                m_started = false;
                m_running = false;
                m_streamNumbers.clear();
            }
            Status(WMT_CLOSED, S_OK);
            IWMReaderCallback* callback;
            IWMReaderCallbackAdvanced* advanced;
            {
                std::lock_guard lock(m_mutex);
                callback = m_callback;
                advanced = m_advanced;
                m_callback = nullptr;
                m_advanced = nullptr;
            }
            SafeRelease(advanced);
            SafeRelease(callback);
            break;
        }
    }
}

QWORD Reader::DurationOf(const MediaObject& o) const {
    auto it = m_streamInfo.find(o.stream);
    if (it == m_streamInfo.end()) {
        return 0;
    }
    const StreamInfo& s = *it->second;
    // A sample-duration payload extension (ms) is the stream's own statement.
    size_t off = 0;
    ByteReader ext(o.extension);
    for (const auto& e : s.extended.extensions) {
        size_t size = e.dataSize;
        if (size == extprops::kVariableExtensionSize) {
            if (!ext.Has(off, 2)) {
                break;
            }
            size = ext.LE16(off);
            off += 2;
        }
        if (e.id == kPayloadExtSampleDuration && size == 2 && ext.Has(off, 2)) {
            return QWORD{ext.LE16(off)} * kUnitsPerMs;
        }
        off += size;
    }
    ByteReader ts(s.typeSpecific);
    if (s.IsAudio() && ts.Has(0, kWaveFormatExSize) && ts.LE32(8) != 0) {
        return QWORD{o.data.size()} * 10000000ull / ts.LE32(8);
    }
    if (s.hasExtended) {
        return s.extended.avgTimePerFrame;
    }
    return 0;
}

void Reader::DeliverSome() {
    for (int n = 0; n < kSamplesPerTurn; ++n) {
        MediaObject object;
        if (m_pending) {
            object = std::move(*m_pending);
            m_pending.reset();
        } else {
            HRESULT hr = m_source.NextObject(&object);
            if (FAILED(hr) || hr == S_FALSE) {
                {
                    std::lock_guard lock(m_mutex);
                    m_running = false;
                    m_haveTarget = false;
                }
                Status(FAILED(hr) ? WMT_ERROR : WMT_END_OF_FILE, FAILED(hr) ? hr : S_OK);
                return;
            }
        }
        QWORD time = QWORD{object.presentationMs} * kUnitsPerMs;
        time = time > m_prerollUnits ? time - m_prerollUnits : 0;
        if (time < m_skipBefore) {
            continue;
        }
        if (object.afterLoss) {
            // Pictures after a lost packet may refer to ones that were in it: video resumes at
            // its next key frame, so that the copy decodes cleanly.
            auto info = m_streamInfo.find(object.stream);
            if (info != m_streamInfo.end() && info->second->IsVideo()) {
                m_awaitingKeyFrame.insert(object.stream);
            }
        }
        if (!m_awaitingKeyFrame.empty() && m_awaitingKeyFrame.count(object.stream) != 0) {
            if (!object.keyFrame) {
                continue;
            }
            m_awaitingKeyFrame.erase(object.stream);
        }
        if (time > m_endTime) {
            {
                std::lock_guard lock(m_mutex);
                m_running = false;
                m_haveTarget = false;
            }
            Status(WMT_END_OF_FILE, S_OK);
            return;
        }

        IWMReaderCallbackAdvanced* advanced = nullptr;
        void* context = nullptr;
        bool deliver = false;
        std::unique_lock lock(m_mutex);
        if (!m_running || m_paused) {
            m_pending = std::move(object);
            return;
        }
        context = m_startContext;
        if (m_userClock && time > m_target) {
            // Everything up to the clock has gone out: report it and wait for the next.
            m_pending = std::move(object);
            m_haveTarget = false;
            QWORD target = m_target;
            advanced = m_advanced;
            if (advanced != nullptr) {
                advanced->AddRef();
            }
            lock.unlock();
            if (advanced != nullptr) {
                advanced->OnTime(target, context);
                advanced->Release();
            }
            return;
        }
        auto sel = m_selection.find(object.stream);
        bool selected = sel == m_selection.end() || sel->second != WMT_OFF;
        deliver = selected && m_streamSamples.count(object.stream) != 0 && m_advanced != nullptr;
        if (deliver) {
            advanced = m_advanced;
            advanced->AddRef();
        }
        lock.unlock();
        if (!deliver) {
            continue;
        }
        DWORD flags = 0;
        if (object.keyFrame) {
            flags |= WM_SF_CLEANPOINT;
        }
        if (m_seenStreams.insert(object.stream).second) {
            flags |= WM_SF_DISCONTINUITY;
        }
        if (object.afterLoss) {
            flags |= WM_SF_DISCONTINUITY | WM_SF_DATALOSS;
        }
        QWORD duration = DurationOf(object);
        auto* buffer = new NssBuffer(std::move(object.data), std::move(object.extension));
        advanced->OnStreamSample(object.stream, time, duration, flags, buffer, context);
        buffer->Release();
        advanced->Release();
    }
}

}  // namespace asf
