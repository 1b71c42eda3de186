#include "engines/asf/editor.h"

#include <unistd.h>

#include <cstdio>

#include "engines/asf/asf_header_builder.h"
#include "engines/asf/header_info.h"
#include "engines/asf/text.h"
#include "engines/asf/writer.h"
#include "platform/bytes.h"

namespace asf {

namespace {
constexpr size_t kCopyChunk = 1 << 20;
}

Editor::~Editor() {
    // Released without Close or Flush: the changes are dropped.
    std::lock_guard lock(m_mutex);
    CloseLocked();
}

HRESULT Editor::QueryInterface(REFIID riid, void** ppv) {
    HRESULT hr = ComObjectWith::QueryInterface(riid, ppv);
    if (hr != E_NOINTERFACE) {
        return hr;
    }
    std::lock_guard lock(m_mutex);
    if ((riid == IID_IWMHeaderInfo || riid == IID_IWMHeaderInfo2 || riid == IID_IWMHeaderInfo3) &&
        m_headerInfo != nullptr) {
        return m_headerInfo->QueryInterface(riid, ppv);
    }
    return E_NOINTERFACE;
}

void Editor::CloseLocked() {
    m_source.Close();
    SafeRelease(m_headerInfo);
    m_path.clear();
}

HRESULT Editor::Open(LPCWSTR pwszFilename) {
    if (pwszFilename == nullptr || pwszFilename[0] == 0) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_mutex);
    if (m_source.IsOpen()) {
        return NS_E_INVALID_REQUEST;
    }
    std::string path = Utf8FromWide(pwszFilename);
    HRESULT hr = m_source.Open(path);
    if (FAILED(hr)) {
        return hr;
    }
    const Header& h = m_source.header();
    HeaderInfoPolicy policy;
    policy.editable = true;
    policy.markersEditable = true;
    m_headerInfo = new HeaderInfo(
        h.metadata,
        ComputedAttributes(h, m_source.layout().fileSize, m_source.layout().simpleIndexOffset != 0),
        policy);
    m_path = std::move(path);
    return S_OK;
}

HRESULT Editor::Close() {
    std::lock_guard lock(m_mutex);
    if (!m_source.IsOpen()) {
        return NS_E_INVALID_REQUEST;
    }
    HRESULT hr = m_headerInfo->Changed() ? SaveLocked() : S_OK;
    CloseLocked();
    return hr;
}

HRESULT Editor::Flush() {
    return Close();
}

HRESULT Editor::SaveLocked() {
    Header h = m_source.header();
    h.metadata = m_headerInfo->Snapshot();
    const FileLayout layout = m_source.layout();
    // A marker points at the data packet a player seeks to for its time.
    for (Marker& m : h.metadata.markers) {
        if (m.offset == 0 && m.sendTimeMs == 0) {
            m.offset = m_source.PacketForTime(m.time) * layout.packetSize;
            m.sendTimeMs =
                static_cast<uint32_t>(std::min<uint64_t>(m.time / kUnitsPerMs, 0xFFFFFFFFu));
        }
    }
    Bytes bytes;
    HeaderBuildOptions inPlace;
    inPlace.targetSize = layout.headerSize;
    HRESULT hr = BuildHeaderObject(h, inPlace, &bytes);
    if (SUCCEEDED(hr)) {
        File file;
        hr = OpenFile(file, m_path, File::Mode::ReadWrite);
        // Written in place and not synced: the header is the same size, and waiting here
        // for the whole file to reach the disk would cost a join as long as the disk takes.
        if (SUCCEEDED(hr)) {
            hr = WriteAt(file, 0, bytes.data(), bytes.size());
        }
        return hr;
    }
    if (hr != ASF_E_HEADERSIZE) {
        return hr;
    }
    // The header outgrew its place: the file is copied behind a larger header.
    const uint64_t tail = layout.fileSize - layout.dataObjectOffset;
    HeaderBuildOptions grown;
    grown.minimumPadding = kWriterHeaderPadding;
    hr = BuildHeaderObject(h, grown, &bytes);
    if (FAILED(hr)) {
        return hr;
    }
    h.file.fileSize = bytes.size() + tail;
    hr = BuildHeaderObject(h, HeaderBuildOptions{bytes.size(), 0}, &bytes);
    if (FAILED(hr)) {
        return hr;
    }
    return RewriteLocked(bytes);
}

HRESULT Editor::RewriteLocked(const Bytes& header) {
    // The data and index move back by the header's growth, last chunk first so that nothing is
    // overwritten before it was read; then the new header goes in front. In place, so that the
    // file keeps its identity: it may be reachable only through a descriptor's path, with no
    // folder to put a second file in.
    const FileLayout layout = m_source.layout();
    if (header.size() < layout.dataObjectOffset || layout.fileSize < layout.dataObjectOffset) {
        return E_UNEXPECTED;
    }
    const uint64_t shift = header.size() - layout.dataObjectOffset;
    File file;
    HRESULT hr = OpenFile(file, m_path, File::Mode::ReadWrite);
    std::vector<uint8_t> chunk(kCopyChunk);
    uint64_t end = layout.fileSize;
    while (SUCCEEDED(hr) && end > layout.dataObjectOffset) {
        size_t n =
            static_cast<size_t>(std::min<uint64_t>(chunk.size(), end - layout.dataObjectOffset));
        end -= n;
        hr = ReadAt(file, end, chunk.data(), n);
        if (SUCCEEDED(hr)) {
            hr = WriteAt(file, end + shift, chunk.data(), n);
        }
    }
    if (SUCCEEDED(hr)) {
        hr = WriteAt(file, 0, header.data(), header.size());
    }
    if (SUCCEEDED(hr)) {
        hr = Sync(file);
    }
    return hr;
}

}  // namespace asf
