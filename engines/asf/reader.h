// The asynchronous reader: opens, starts, stops and closes on a thread of its own and hands the
// file's media objects, undecoded, to IWMReaderCallbackAdvanced::OnStreamSample. With the user
// clock on it delivers, in file order, every sample up to the time given by DeliverTime and then
// reports OnTime; when the file ends before the next sample over that time, it reports
// WMT_END_OF_FILE instead of OnTime, so the last clock given is the first one past the end.
// With the clock off it delivers as fast as it reads: nothing here plays in real time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "engines/asf/asf_source.h"
#include "engines/asf/internal.h"
#include "engines/asf/wm_read_damage.h"

namespace asf {

class Profile;
class HeaderInfo;

class Reader final : public ComObject<IWMReader, IWMReaderAdvanced, IKjReaderDamage> {
public:
    Reader();

    // Also hands out the header (and profile) objects of the open file.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;

    // IWMReader
    HRESULT Open(LPCWSTR pwszURL, IWMReaderCallback* pCallback, void* pvContext) override;
    HRESULT Close() override;
    HRESULT GetOutputCount(DWORD* pcOutputs) override;
    HRESULT GetOutputProps(DWORD dwOutputNum, IWMOutputMediaProps** ppOutput) override;
    HRESULT SetOutputProps(DWORD dwOutputNum, IWMOutputMediaProps* pOutput) override;
    HRESULT GetOutputFormatCount(DWORD dwOutputNumber, DWORD* pcFormats) override;
    HRESULT GetOutputFormat(DWORD dwOutputNumber, DWORD dwFormatNumber,
                            IWMOutputMediaProps** ppProps) override;
    HRESULT Start(QWORD cnsStart, QWORD cnsDuration, float fRate, void* pvContext) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Resume() override;

    // IWMReaderAdvanced
    HRESULT SetUserProvidedClock(BOOL fUserClock) override;
    HRESULT GetUserProvidedClock(BOOL* pfUserClock) override;
    HRESULT DeliverTime(QWORD cnsTime) override;
    HRESULT SetManualStreamSelection(BOOL fSelection) override;
    HRESULT GetManualStreamSelection(BOOL* pfSelection) override;
    HRESULT SetStreamsSelected(WORD cStreamCount, WORD* pwStreamNumbers,
                               WMT_STREAM_SELECTION* pSelections) override;
    HRESULT GetStreamSelected(WORD wStreamNum, WMT_STREAM_SELECTION* pSelection) override;
    HRESULT SetReceiveSelectionCallbacks(BOOL fGetCallbacks) override;
    HRESULT GetReceiveSelectionCallbacks(BOOL* pfGetCallbacks) override;
    HRESULT SetReceiveStreamSamples(WORD wStreamNum, BOOL fReceiveStreamSamples) override;
    HRESULT GetReceiveStreamSamples(WORD wStreamNum, BOOL* pfReceiveStreamSamples) override;
    HRESULT SetAllocateForOutput(DWORD dwOutputNum, BOOL fAllocate) override;
    HRESULT GetAllocateForOutput(DWORD dwOutputNum, BOOL* pfAllocate) override;
    HRESULT SetAllocateForStream(WORD wStreamNum, BOOL fAllocate) override;
    HRESULT GetAllocateForStream(WORD dwSreamNum, BOOL* pfAllocate) override;
    HRESULT GetStatistics(WM_READER_STATISTICS* pStatistics) override;
    HRESULT SetClientInfo(WM_READER_CLIENTINFO* pClientInfo) override;
    HRESULT GetMaxOutputSampleSize(DWORD dwOutput, DWORD* pcbMax) override;
    HRESULT GetMaxStreamSampleSize(WORD wStream, DWORD* pcbMax) override;
    HRESULT NotifyLateDelivery(QWORD cnsLateness) override;

    // IKjReaderDamage
    HRESULT GetDamage(KJ_READER_DAMAGE* pDamage) override;

private:
    enum class CommandKind { Open, Start, Stop, Close };
    struct Command {
        CommandKind kind = CommandKind::Stop;
        std::string path;
        QWORD start = 0;
        QWORD duration = 0;
    };
    static Command MakeCommand(CommandKind kind) {
        Command c;
        c.kind = kind;
        return c;
    }

    ~Reader() override;

    void ThreadMain();
    void Handle(const Command& command);
    void DeliverSome();
    void Status(WMT_STATUS status, HRESULT hr);
    HRESULT Enqueue(Command command);
    bool CanDeliverLocked() const;
    QWORD DurationOf(const MediaObject& object) const;
    bool IsStreamKnownLocked(WORD stream) const;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::thread m_thread;
    std::thread::id m_threadId;
    std::deque<Command> m_commands;
    uint64_t m_commandsQueued = 0;
    uint64_t m_commandsDone = 0;
    bool m_quit = false;

    // Settings and state shared with callers (under m_mutex).
    IWMReaderCallback* m_callback = nullptr;
    IWMReaderCallbackAdvanced* m_advanced = nullptr;
    void* m_openContext = nullptr;
    void* m_startContext = nullptr;
    bool m_opening = false;
    bool m_opened = false;
    bool m_started = false;
    bool m_running = false;
    bool m_paused = false;
    bool m_userClock = false;
    bool m_manualSelection = false;
    bool m_selectionCallbacks = false;
    bool m_haveTarget = false;
    QWORD m_target = 0;
    std::set<WORD> m_streamSamples;
    std::map<WORD, WMT_STREAM_SELECTION> m_selection;
    Profile* m_profile = nullptr;
    HeaderInfo* m_headerInfo = nullptr;
    std::set<uint16_t> m_streamNumbers;
    KJ_READER_DAMAGE m_fileFacts;  // of the open file; the damaged count comes from m_source

    // Owned by the reader's thread.
    AsfSource m_source;
    std::optional<MediaObject> m_pending;
    std::set<uint16_t> m_seenStreams;
    std::set<uint16_t> m_awaitingKeyFrame;  // video streams after a seek
    QWORD m_skipBefore = 0;                 // a start time reached by reading, without an index
    QWORD m_endTime = ~QWORD{0};
    uint64_t m_prerollUnits = 0;
    std::map<uint16_t, const StreamInfo*> m_streamInfo;
};

}  // namespace asf
