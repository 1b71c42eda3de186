#include "engines/asf/asf_header_parser.h"

#include <algorithm>

#include "engines/asf/text.h"

namespace asf {

bool StreamInfo::IsAudio() const {
    return type == kAudioMedia;
}
bool StreamInfo::IsVideo() const {
    return type == kVideoMedia;
}
bool StreamInfo::Encrypted() const {
    return (flags & streamprops::kEncryptedFlag) != 0;
}

int StreamInfo::FixedExtensionBytes() const {
    int total = 0;
    for (const auto& ext : extended.extensions) {
        if (ext.dataSize == extprops::kVariableExtensionSize) {
            return -1;
        }
        total += ext.dataSize;
    }
    return total;
}

const StreamInfo* Header::FindStream(uint16_t number) const {
    for (const auto& s : streams) {
        if (s.number == number) {
            return &s;
        }
    }
    return nullptr;
}

StreamInfo* Header::FindStream(uint16_t number) {
    for (auto& s : streams) {
        if (s.number == number) {
            return &s;
        }
    }
    return nullptr;
}

namespace {

GUID GuidAt(ByteReader r, size_t off) {
    uint8_t raw[16] = {};
    if (r.Has(off, 16)) {
        std::copy_n(r.data() + off, 16, raw);
    }
    return GuidFromBytes(raw);
}

Bytes CopyBytes(ByteReader r, size_t off, size_t n) {
    if (!r.Has(off, n)) {
        return {};
    }
    return Bytes(r.data() + off, r.data() + off + n);
}

// Walks objects laid end to end in r; calls fn(id, object) for each. False on a bad size.
template <typename Fn>
bool ForEachObject(ByteReader r, Fn fn) {
    size_t off = 0;
    while (off < r.size()) {
        if (!r.Has(off, kObjectHeaderSize)) {
            return false;
        }
        uint64_t size = r.LE64(off + 16);
        if (size < kObjectHeaderSize || size > r.size() - off) {
            return false;
        }
        if (!fn(GuidAt(r, off), r.Sub(off, static_cast<size_t>(size)))) {
            return false;
        }
        off += static_cast<size_t>(size);
    }
    return true;
}

Bytes StringValue(const std::u16string& text) {
    ByteWriter w;
    AppendLe(w, text, true);
    return std::move(w.bytes());
}

struct PendingExt {
    uint16_t number;
    ExtendedStreamProperties props;
};

struct Parser {
    Header* h;
    std::vector<PendingExt> extended;
    std::vector<std::pair<uint16_t, uint32_t>> bitrates;

    bool FileProps(ByteReader o) {
        if (o.size() < fileprops::kSize) {
            return false;
        }
        FileProperties& f = h->file;
        f.fileId = GuidAt(o, fileprops::kFileId);
        f.fileSize = o.LE64(fileprops::kFileSize);
        f.creationDate = o.LE64(fileprops::kCreationDate);
        f.packetCount = o.LE64(fileprops::kPacketCount);
        f.playDuration = o.LE64(fileprops::kPlayDuration);
        f.sendDuration = o.LE64(fileprops::kSendDuration);
        f.prerollMs = o.LE64(fileprops::kPreroll);
        f.flags = o.LE32(fileprops::kFlags);
        f.minPacketSize = o.LE32(fileprops::kMinPacketSize);
        f.maxPacketSize = o.LE32(fileprops::kMaxPacketSize);
        f.maxBitrate = o.LE32(fileprops::kMaxBitrate);
        h->hasFileProperties = true;
        return true;
    }

    bool StreamProps(ByteReader o) {
        using namespace streamprops;
        if (!o.Has(0, kTypeSpecificData)) {
            return false;
        }
        uint32_t t = o.LE32(kTypeSpecificLength);
        uint32_t e = o.LE32(kErrorCorrectionLength);
        if (!o.Has(kTypeSpecificData, t) || !o.Has(kTypeSpecificData + t, e)) {
            return false;
        }
        StreamInfo s;
        s.type = GuidAt(o, kStreamType);
        s.errorCorrectionType = GuidAt(o, kErrorCorrectionType);
        s.timeOffset = o.LE64(kTimeOffset);
        s.flags = o.LE16(kFlags);
        s.number = static_cast<uint16_t>(s.flags & kStreamNumberMask);
        s.reserved = o.LE32(kReserved);
        s.typeSpecific = CopyBytes(o, kTypeSpecificData, t);
        s.errorCorrection = CopyBytes(o, kTypeSpecificData + t, e);
        if (s.number == 0) {
            return false;
        }
        if (s.Encrypted()) {
            h->protectedContent = true;
        }
        if (h->FindStream(s.number) == nullptr) {
            h->streams.push_back(std::move(s));
        }
        return true;
    }

    bool ExtendedProps(ByteReader o) {
        using namespace extprops;
        if (!o.Has(0, kVariableData)) {
            return false;
        }
        PendingExt p;
        ExtendedStreamProperties& x = p.props;
        x.startTimeMs = o.LE64(kStartTime);
        x.endTimeMs = o.LE64(kEndTime);
        x.dataBitrate = o.LE32(kDataBitrate);
        x.bufferSizeMs = o.LE32(kBufferSize);
        x.initialBufferFullnessMs = o.LE32(kInitialBufferFullness);
        x.altDataBitrate = o.LE32(kAltDataBitrate);
        x.altBufferSizeMs = o.LE32(kAltBufferSize);
        x.altInitialBufferFullnessMs = o.LE32(kAltInitialBufferFullness);
        x.maxObjectSize = o.LE32(kMaxObjectSize);
        x.flags = o.LE32(kFlags);
        p.number = o.LE16(kStreamNumber);
        x.languageIndex = o.LE16(kLanguageIndex);
        x.avgTimePerFrame = o.LE64(kAvgTimePerFrame);
        x.nameCount = o.LE16(kNameCount);
        uint16_t extCount = o.LE16(kExtensionSystemCount);
        size_t off = kVariableData;
        for (uint16_t i = 0; i < x.nameCount; ++i) {
            if (!o.Has(off, 4) || !o.Has(off + 4, o.LE16(off + 2))) {
                return false;
            }
            off += 4 + o.LE16(off + 2);
        }
        x.names = CopyBytes(o, kVariableData, off - kVariableData);
        for (uint16_t i = 0; i < extCount; ++i) {
            if (!o.Has(off, 22)) {
                return false;
            }
            PayloadExtensionSystem ext;
            ext.id = GuidAt(o, off);
            ext.dataSize = o.LE16(off + 16);
            uint32_t infoLength = o.LE32(off + 18);
            if (!o.Has(off + 22, infoLength)) {
                return false;
            }
            ext.info = CopyBytes(o, off + 22, infoLength);
            off += 22 + infoLength;
            x.extensions.push_back(std::move(ext));
        }
        // An embedded Stream Properties Object may follow (streams hidden from old readers).
        if (o.Has(off, kObjectHeaderSize) && GuidAt(o, off) == kStreamProperties) {
            uint64_t size = o.LE64(off + 16);
            if (size >= kObjectHeaderSize && size <= o.size() - off) {
                if (!StreamProps(o.Sub(off, static_cast<size_t>(size)))) {
                    return false;
                }
            }
        }
        extended.push_back(std::move(p));
        return true;
    }

    bool MetadataRecords(ByteReader o, bool library) {
        if (!o.Has(kObjectHeaderSize, 2)) {
            return false;
        }
        uint16_t count = o.LE16(kObjectHeaderSize);
        size_t off = kObjectHeaderSize + 2;
        for (uint16_t i = 0; i < count; ++i) {
            if (!o.Has(off, 12)) {
                return false;
            }
            uint16_t language = o.LE16(off);
            uint16_t stream = o.LE16(off + 2);
            uint16_t nameLength = o.LE16(off + 4);
            uint16_t storedType = o.LE16(off + 6);
            uint32_t dataLength = o.LE32(off + 8);
            size_t nameOff = off + 12;
            if (!o.Has(nameOff, nameLength) || !o.Has(nameOff + nameLength, dataLength)) {
                return false;
            }
            Attribute a;
            a.stream = stream;
            a.language = library ? language : 0;
            a.name = U16FromLe(o.Sub(nameOff, nameLength));
            ValueFromStored(storedType, o.Sub(nameOff + nameLength, dataLength), true, &a.type,
                            &a.value);
            a.home = library ? AttributeHome::MetadataLibrary : AttributeHome::Metadata;
            h->metadata.attributes.push_back(std::move(a));
            off = nameOff + nameLength + dataLength;
        }
        return true;
    }

    bool HeaderExtension(ByteReader o) {
        if (!o.Has(0, kHeaderExtensionFixed)) {
            return false;
        }
        uint32_t dataSize = o.LE32(42);
        if (!o.Has(kHeaderExtensionFixed, dataSize)) {
            return false;
        }
        return ForEachObject(o.Sub(kHeaderExtensionFixed, dataSize),
                             [&](const GUID& id, ByteReader child) {
                                 return Dispatch(kExtensionObjects, id, child, &h->otherExtension);
                             });
    }

    bool CodecList(ByteReader o) {
        if (!o.Has(0, codeclist::kFirstEntry)) {
            return false;
        }
        uint32_t count = o.LE32(codeclist::kEntryCount);
        size_t off = codeclist::kFirstEntry;
        for (uint32_t i = 0; i < count; ++i) {
            CodecEntry c;
            if (!o.Has(off, 4)) {
                return false;
            }
            c.type = o.LE16(off);
            size_t nameBytes = size_t{2} * o.LE16(off + 2);
            off += 4;
            if (!o.Has(off, nameBytes + 2)) {
                return false;
            }
            c.name = U16FromLe(o.Sub(off, nameBytes));
            off += nameBytes;
            size_t descBytes = size_t{2} * o.LE16(off);
            off += 2;
            if (!o.Has(off, descBytes + 2)) {
                return false;
            }
            c.description = U16FromLe(o.Sub(off, descBytes));
            off += descBytes;
            uint16_t infoLength = o.LE16(off);
            off += 2;
            if (!o.Has(off, infoLength)) {
                return false;
            }
            c.info = CopyBytes(o, off, infoLength);
            off += infoLength;
            h->metadata.codecs.push_back(std::move(c));
        }
        h->hasCodecList = true;
        return true;
    }

    // Script times are stored in ms with the preroll; the interface's have it taken off.
    uint64_t InterfaceTimeFromMs(uint64_t ms) const {
        uint64_t preroll = h->file.prerollMs;
        return ms > preroll ? (ms - preroll) * kUnitsPerMs : 0;
    }

    bool ScriptCommands(ByteReader o) {
        if (!o.Has(0, 44)) {
            return false;
        }
        uint16_t commandCount = o.LE16(40);
        uint16_t typeCount = o.LE16(42);
        size_t off = 44;
        std::vector<std::u16string> types;
        for (uint16_t i = 0; i < typeCount; ++i) {
            if (!o.Has(off, 2) || !o.Has(off + 2, size_t{2} * o.LE16(off))) {
                return false;
            }
            size_t n = size_t{2} * o.LE16(off);
            types.push_back(U16FromLe(o.Sub(off + 2, n)));
            off += 2 + n;
        }
        std::vector<std::pair<uint32_t, ScriptCommand>> commands;
        for (uint16_t i = 0; i < commandCount; ++i) {
            if (!o.Has(off, 8)) {
                return false;
            }
            uint32_t timeMs = o.LE32(off);
            uint16_t typeIndex = o.LE16(off + 4);
            size_t n = size_t{2} * o.LE16(off + 6);
            if (!o.Has(off + 8, n) || typeIndex >= types.size()) {
                return false;
            }
            ScriptCommand c;
            c.type = types[typeIndex];
            c.command = U16FromLe(o.Sub(off + 8, n));
            c.time = InterfaceTimeFromMs(timeMs);
            h->metadata.scripts.push_back(std::move(c));
            off += 8 + n;
        }
        h->hasScriptObject = true;
        return true;
    }

    bool Markers(ByteReader o) {
        if (!o.Has(0, 48)) {
            return false;
        }
        uint32_t count = o.LE32(40);
        size_t nameBytes = o.LE16(46);
        if (!o.Has(48, nameBytes)) {
            return false;
        }
        h->metadata.markerName = U16FromLe(o.Sub(48, nameBytes));
        size_t off = 48 + nameBytes;
        for (uint32_t i = 0; i < count; ++i) {
            if (!o.Has(off, 30)) {
                return false;
            }
            Marker m;
            m.offset = o.LE64(off);
            uint64_t stored = o.LE64(off + 8);
            uint64_t preroll = UnitsFromMs(h->file.prerollMs);
            m.time = stored > preroll ? stored - preroll : 0;
            m.sendTimeMs = o.LE32(off + 18);
            m.flags = o.LE32(off + 22);
            uint32_t chars = o.LE32(off + 26);
            if (chars > (o.size() - off - 30) / 2) {
                return false;
            }
            m.name = U16FromLe(o.Sub(off + 30, size_t{2} * chars));
            // The next entry starts where the Entry Length says: some encoders pad each entry
            // after its description. A length too small to hold the description is taken to
            // mean an entry that ends with it.
            size_t described = kMarkerEntryAfterLength + size_t{2} * chars;
            size_t length = std::max<size_t>(o.LE16(off + kMarkerEntryLengthField), described);
            h->metadata.markers.push_back(std::move(m));
            if (!o.Has(off + kMarkerEntryFixed, length)) {
                if (i + 1 == count) {
                    break;  // the last entry's padding runs past the object: nothing is lost
                }
                return false;
            }
            off += kMarkerEntryFixed + length;
        }
        h->hasMarkerObject = true;
        return true;
    }

    bool ContentDescription(ByteReader o) {
        if (!o.Has(0, 34)) {
            return false;
        }
        static const char16_t* const kNames[] = {u"Title", u"Author", u"Copyright", u"Description",
                                                 u"Rating"};
        size_t off = 34;
        for (int i = 0; i < 5; ++i) {
            size_t n = o.LE16(24 + 2 * i);
            if (!o.Has(off, n)) {
                return false;
            }
            std::u16string text = U16FromLe(o.Sub(off, n));
            off += n;
            if (!text.empty()) {
                Attribute a;
                a.name = kNames[i];
                a.type = WMT_TYPE_STRING;
                a.value = StringValue(text);
                a.home = AttributeHome::ContentDescription;
                h->metadata.attributes.push_back(std::move(a));
            }
        }
        return true;
    }

    bool ExtendedContentDescription(ByteReader o) {
        if (!o.Has(0, 26)) {
            return false;
        }
        uint16_t count = o.LE16(24);
        size_t off = 26;
        for (uint16_t i = 0; i < count; ++i) {
            if (!o.Has(off, 2)) {
                return false;
            }
            size_t nameBytes = o.LE16(off);
            if (!o.Has(off + 2, nameBytes) || !o.Has(off + 2 + nameBytes, 4)) {
                return false;
            }
            Attribute a;
            a.name = U16FromLe(o.Sub(off + 2, nameBytes));
            uint16_t storedType = o.LE16(off + 2 + nameBytes);
            size_t valueBytes = o.LE16(off + 4 + nameBytes);
            size_t valueOff = off + 6 + nameBytes;
            if (!o.Has(valueOff, valueBytes)) {
                return false;
            }
            ValueFromStored(storedType, o.Sub(valueOff, valueBytes), false, &a.type, &a.value);
            a.home = AttributeHome::ExtendedContentDescription;
            h->metadata.attributes.push_back(std::move(a));
            off = valueOff + valueBytes;
        }
        return true;
    }

    bool StreamBitrates(ByteReader o) {
        if (!o.Has(0, streambitrates::kFirstRecord)) {
            return false;
        }
        h->hasStreamBitrates = true;
        uint16_t count = o.LE16(streambitrates::kRecordCount);
        for (uint16_t i = 0; i < count; ++i) {
            size_t off = streambitrates::kFirstRecord + streambitrates::kRecordBytes * i;
            if (!o.Has(off, streambitrates::kRecordBytes)) {
                return false;
            }
            bitrates.emplace_back(o.LE16(off) & streamprops::kStreamNumberMask,
                                  o.LE32(off + streambitrates::kRecordBitrate));
        }
        return true;
    }

    bool Padding(ByteReader o) {
        h->paddingBytes += o.size();
        return true;
    }
    bool Metadata(ByteReader o) { return MetadataRecords(o, false); }
    bool MetadataLibrary(ByteReader o) { return MetadataRecords(o, true); }
    // Script commands and markers are read in a second pass, after File Properties, whose
    // preroll their times need.
    bool ReadLater(ByteReader /*o*/) { return true; }

    using Handler = bool (Parser::*)(ByteReader);
    struct ObjectHandler {
        const GUID* id;
        Handler read;   // null: kept as it is, in the list of objects not understood
        bool protects;  // its presence makes the file protected content
    };

    // Reads an object through its handler in `table`; an object without a handler (or one that
    // only marks protection) is kept whole in `unknown`, so the writer can carry it.
    template <size_t N>
    bool Dispatch(const ObjectHandler (&table)[N], const GUID& id, ByteReader o,
                  std::vector<RawObject>* unknown) {
        for (const ObjectHandler& entry : table) {
            if (*entry.id != id) {
                continue;
            }
            if (entry.protects) {
                h->protectedContent = true;
            }
            if (entry.read != nullptr) {
                return (this->*entry.read)(o);
            }
            break;
        }
        unknown->push_back({id, Bytes(o.data(), o.data() + o.size())});
        return true;
    }

    static constexpr ObjectHandler kTopLevelObjects[] = {
        {&kFileProperties, &Parser::FileProps, false},
        {&kStreamProperties, &Parser::StreamProps, false},
        {&kHeaderExtension, &Parser::HeaderExtension, false},
        {&kCodecList, &Parser::CodecList, false},
        {&kContentDescription, &Parser::ContentDescription, false},
        {&kExtendedContentDescription, &Parser::ExtendedContentDescription, false},
        {&kStreamBitrateProperties, &Parser::StreamBitrates, false},
        {&kPadding, &Parser::Padding, false},
        {&kScriptCommand, &Parser::ReadLater, false},
        {&kMarker, &Parser::ReadLater, false},
        {&kContentEncryption, nullptr, true},
        {&kExtendedContentEncryption, nullptr, true},
        {&kDigitalSignature, nullptr, true},
        {&kAdvancedContentEncryption, nullptr, true},
    };
    static constexpr ObjectHandler kExtensionObjects[] = {
        {&kExtendedStreamProperties, &Parser::ExtendedProps, false},
        {&kMetadata, &Parser::Metadata, false},
        {&kMetadataLibrary, &Parser::MetadataLibrary, false},
        {&kPadding, &Parser::Padding, false},
        {&kAdvancedContentEncryption, nullptr, true},
    };

    bool TopLevel(const GUID& id, ByteReader o) {
        return Dispatch(kTopLevelObjects, id, o, &h->otherTopLevel);
    }
};

}  // namespace

bool ValueFromStored(uint16_t storedType, ByteReader stored, bool boolIsTwoBytes,
                     WMT_ATTR_DATATYPE* type, Bytes* value) {
    Bytes raw(stored.data(), stored.data() + stored.size());
    auto fixed = [&](WMT_ATTR_DATATYPE t, size_t n) {
        if (raw.size() != n) {
            *type = WMT_TYPE_BINARY;
            *value = std::move(raw);
            return false;
        }
        *type = t;
        *value = std::move(raw);
        return true;
    };
    switch (storedType) {
        case kValueString: {
            *type = WMT_TYPE_STRING;
            *value = StringValue(U16FromLe(stored));
            return true;
        }
        case kValueBytes:
            *type = WMT_TYPE_BINARY;
            *value = std::move(raw);
            return true;
        case kValueBool: {
            size_t expected = boolIsTwoBytes ? 2 : 4;
            if (raw.size() != expected && raw.size() != 4 && raw.size() != 2) {
                return fixed(WMT_TYPE_BOOL, expected);
            }
            uint32_t v = raw.size() == 2 ? stored.LE16(0) : stored.LE32(0);
            *type = WMT_TYPE_BOOL;
            *value = {static_cast<uint8_t>(v != 0 ? 1 : 0), 0, 0, 0};
            return true;
        }
        case kValueDword:
            return fixed(WMT_TYPE_DWORD, 4);
        case kValueQword:
            return fixed(WMT_TYPE_QWORD, 8);
        case kValueWord:
            return fixed(WMT_TYPE_WORD, 2);
        case kValueGuid:
            return fixed(WMT_TYPE_GUID, 16);
        default:
            *type = WMT_TYPE_BINARY;
            *value = std::move(raw);
            return false;
    }
}

HRESULT ParseHeaderObject(ByteReader object, Header* header) {
    *header = Header{};
    if (!object.Has(0, kHeaderObjectFixed) || GuidAt(object, 0) != kHeaderObject) {
        return ASF_E_NOHEADEROBJECT;
    }
    uint64_t size = object.LE64(16);
    if (size < kHeaderObjectFixed || size > object.size()) {
        return ASF_E_INVALIDHEADER;
    }
    ByteReader children =
        object.Sub(kHeaderObjectFixed, static_cast<size_t>(size) - kHeaderObjectFixed);
    Parser p{header, {}, {}};
    // Two passes: script and marker times are stored with the preroll, which File Properties
    // gives, and File Properties may come after them.
    if (!ForEachObject(children, [&](const GUID& id, ByteReader o) { return p.TopLevel(id, o); })) {
        *header = Header{};
        return ASF_E_INVALIDHEADER;
    }
    if (!header->hasFileProperties) {
        *header = Header{};
        return ASF_E_INVALIDHEADER;
    }
    bool ok = ForEachObject(children, [&](const GUID& id, ByteReader o) {
        if (id == kScriptCommand) {
            return p.ScriptCommands(o);
        }
        if (id == kMarker) {
            return p.Markers(o);
        }
        return true;
    });
    if (!ok) {
        *header = Header{};
        return ASF_E_INVALIDHEADER;
    }
    for (auto& x : p.extended) {
        if (StreamInfo* s = header->FindStream(x.number)) {
            if (!s->hasExtended) {
                s->hasExtended = true;
                s->extended = std::move(x.props);
            }
        }
    }
    for (auto& [number, bitrate] : p.bitrates) {
        if (StreamInfo* s = header->FindStream(number)) {
            s->averageBitrate = bitrate;
        }
    }
    return S_OK;
}

}  // namespace asf
