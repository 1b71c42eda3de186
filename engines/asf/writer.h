// The writer: takes compressed samples per stream (WriteStreamSample) under a profile of this
// module and writes a complete ASF file. The header's size is fixed when writing begins and the
// header is written again, same size, with the final counts when writing ends; packets are
// streamed to the file in between, and the indexes follow the data: a Simple Index per video
// stream (of the first audio stream when there is no video), and an Index Object of every
// stream when the profile's file had one.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "engines/asf/asf_index.h"
#include "engines/asf/asf_packetizer.h"
#include "engines/asf/file_io.h"
#include "engines/asf/internal.h"
#include "engines/asf/profile.h"

namespace asf {

class HeaderInfo;
class FileBatches;

// Padding left in the Header Extension so that a metadata editor can add markers in place.
inline constexpr uint32_t kWriterHeaderPadding = 4096;

class Writer final : public ComObject<IWMWriter, IWMWriterAdvanced> {
public:
    Writer();

    // Also hands out the header (and profile) objects of the open file.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;

    // IWMWriter
    HRESULT SetProfileByID(REFGUID guidProfile) override;
    HRESULT SetProfile(IWMProfile* pProfile) override;
    HRESULT SetOutputFilename(LPCWSTR pwszFilename) override;
    HRESULT GetInputCount(DWORD* pcInputs) override;
    HRESULT GetInputProps(DWORD dwInputNum, IWMInputMediaProps** ppInput) override;
    HRESULT SetInputProps(DWORD dwInputNum, IWMInputMediaProps* pInput) override;
    HRESULT GetInputFormatCount(DWORD dwInputNumber, DWORD* pcFormats) override;
    HRESULT GetInputFormat(DWORD dwInputNumber, DWORD dwFormatNumber,
                           IWMInputMediaProps** pProps) override;
    HRESULT BeginWriting() override;
    HRESULT EndWriting() override;
    HRESULT AllocateSample(DWORD dwSampleSize, INSSBuffer** ppSample) override;
    HRESULT WriteSample(DWORD dwInputNum, QWORD cnsSampleTime, DWORD dwFlags,
                        INSSBuffer* pSample) override;
    HRESULT Flush() override;

    // IWMWriterAdvanced
    HRESULT GetSinkCount(DWORD* pcSinks) override;
    HRESULT GetSink(DWORD dwSinkNum, IWMWriterSink** ppSink) override;
    HRESULT AddSink(IWMWriterSink* pSink) override;
    HRESULT RemoveSink(IWMWriterSink* pSink) override;
    HRESULT WriteStreamSample(WORD wStreamNum, QWORD cnsSampleTime, DWORD msSampleSendTime,
                              QWORD cnsSampleDuration, DWORD dwFlags, INSSBuffer* pSample) override;
    HRESULT SetLiveSource(BOOL fIsLiveSource) override;
    HRESULT IsRealTime(BOOL* pfRealTime) override;
    HRESULT GetWriterTime(QWORD* pcnsCurrentTime) override;
    HRESULT GetStatistics(WORD wStreamNum, WM_WRITER_STATISTICS* pStats) override;
    HRESULT SetSyncTolerance(DWORD msWindow) override;
    HRESULT GetSyncTolerance(DWORD* pmsWindow) override;

private:
    struct StreamState {
        size_t headerIndex = 0;  // into m_header.streams
        bool video = false;
        QWORD lastTime = 0;
        QWORD lastDelta = 0;
        bool any = false;
        uint32_t maxObjectSize = 0;
        uint64_t bytes = 0;
        uint64_t objects = 0;
        QWORD firstTime = 0;
        // Where its indexed objects (video: key frames; other streams: every object) lie, for
        // the Simple Index and for the Index Object.
        IndexSeries simpleIndex{IndexSeries::BeforeFirst::kPacketZero};
        IndexSeries fullIndex{IndexSeries::BeforeFirst::kFirstObject};
    };

    ~Writer() override;
    HRESULT Fail(HRESULT hr);
    Bytes ExtensionFor(const StreamInfo& stream, INSSBuffer* sample, QWORD duration) const;
    void AbandonLocked();
    // The index objects after the data, from `*end` on, which moves past them.
    HRESULT WriteIndexesLocked(uint64_t* end);

    std::mutex m_mutex;
    std::optional<ProfileData> m_profile;
    std::string m_path;
    HeaderInfo* m_headerInfo = nullptr;
    DWORD m_syncTolerance = 3000;

    // While writing.
    bool m_writing = false;
    HRESULT m_error = S_OK;
    HiddenOutput m_hidden;  // the file's place until it is whole
    File m_file;
    Header m_header;
    uint64_t m_headerSize = 0;
    uint64_t m_dataEnd = 0;                  // where the next packets go
    std::unique_ptr<FileBatches> m_batches;  // before the packetizer that uses it
    std::unique_ptr<Packetizer> m_packetizer;
    std::map<uint16_t, StreamState> m_streams;
    QWORD m_endTime = 0;  // latest sample end, 100 ns without preroll
    QWORD m_writerTime = 0;
};

}  // namespace asf
