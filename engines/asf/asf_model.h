// What an ASF header says, as plain records. The header parser fills them, the header builder
// turns them back into bytes, and the reader, writer and editor share them.
//
// Times in these records are the interface's: 100-ns units with the preroll taken off (script
// commands and markers), except where a name ends in Ms.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engines/asf/asf_format.h"
#include "engines/asf/wmsdk.h"

namespace asf {

using Bytes = std::vector<uint8_t>;

struct FileProperties {
    GUID fileId;
    uint64_t fileSize = 0;
    uint64_t creationDate = 0;
    uint64_t packetCount = 0;
    uint64_t playDuration = 0;  // 100 ns, preroll included
    uint64_t sendDuration = 0;
    uint64_t prerollMs = 0;
    uint32_t flags = 0;
    uint32_t minPacketSize = 0;
    uint32_t maxPacketSize = 0;
    uint32_t maxBitrate = 0;
};

struct PayloadExtensionSystem {
    GUID id;
    uint16_t dataSize = 0;  // 0xFFFF: variable, a u16 length comes first in the payload
    Bytes info;
};

struct ExtendedStreamProperties {
    uint64_t startTimeMs = 0;
    uint64_t endTimeMs = 0;
    uint32_t dataBitrate = 0;
    uint32_t bufferSizeMs = 0;
    uint32_t initialBufferFullnessMs = 0;
    uint32_t altDataBitrate = 0;
    uint32_t altBufferSizeMs = 0;
    uint32_t altInitialBufferFullnessMs = 0;
    uint32_t maxObjectSize = 0;
    uint32_t flags = 0;
    uint16_t languageIndex = 0;
    uint64_t avgTimePerFrame = 0;  // 100 ns
    uint16_t nameCount = 0;
    Bytes names;  // the stream-name records as stored
    std::vector<PayloadExtensionSystem> extensions;
};

struct StreamInfo {
    uint16_t number = 0;
    GUID type;
    GUID errorCorrectionType;
    uint64_t timeOffset = 0;
    uint16_t flags = 0;  // as stored: number in bits 0-6, encrypted bit 15
    uint32_t reserved = 0;
    Bytes typeSpecific;
    Bytes errorCorrection;
    bool hasExtended = false;
    ExtendedStreamProperties extended;
    uint32_t averageBitrate = 0;  // Stream Bitrate Properties, 0 when absent

    bool IsAudio() const;
    bool IsVideo() const;
    bool Encrypted() const;
    // Bytes of payload-extension data each payload of this stream carries after the first 8
    // replicated bytes; -1 when an extension is of variable size.
    int FixedExtensionBytes() const;
};

enum class AttributeHome : uint8_t {
    ContentDescription,
    ExtendedContentDescription,
    Metadata,
    MetadataLibrary,
};

// One attribute. The value is in the interface's form: strings as UTF-16LE code units ending in
// a NUL (converted to WCHAR at the interface), BOOL as 4 bytes.
struct Attribute {
    uint16_t stream = 0;
    uint16_t language = 0;
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_BINARY;
    Bytes value;
    AttributeHome home = AttributeHome::ExtendedContentDescription;
};

struct ScriptCommand {
    std::u16string type;
    std::u16string command;
    uint64_t time = 0;  // 100 ns, preroll taken off
};

struct Marker {
    std::u16string name;
    uint64_t time = 0;  // 100 ns, preroll taken off
    uint64_t offset = 0;
    uint32_t sendTimeMs = 0;
    uint32_t flags = 0;
};

struct CodecEntry {
    uint16_t type = kCodecTypeUnknown;  // as stored: 1 video, 2 audio
    std::u16string name;
    std::u16string description;
    Bytes info;
};

// An object the engine does not interpret, kept whole (GUID and size included) so that a
// rewritten header still carries it.
struct RawObject {
    GUID id;
    Bytes bytes;
};

// The header items callers can read and change through IWMHeaderInfo.
struct Metadata {
    std::vector<Attribute> attributes;
    std::vector<ScriptCommand> scripts;
    std::vector<Marker> markers;
    std::u16string markerName;
    std::vector<CodecEntry> codecs;
};

struct Header {
    FileProperties file;
    bool hasFileProperties = false;
    std::vector<StreamInfo> streams;
    Metadata metadata;
    bool hasScriptObject = false;
    bool hasMarkerObject = false;
    bool hasCodecList = false;
    bool hasStreamBitrates = false;  // written even when every bitrate is still 0
    bool protectedContent = false;   // encryption or signature objects, or an encrypted stream
    std::vector<RawObject> otherTopLevel;   // kept in order
    std::vector<RawObject> otherExtension;  // children of the Header Extension, kept in order
    uint64_t paddingBytes = 0;              // sum of Padding objects (whole objects) found

    const StreamInfo* FindStream(uint16_t number) const;
    StreamInfo* FindStream(uint16_t number);
};

}  // namespace asf
