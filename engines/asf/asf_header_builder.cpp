#include "engines/asf/asf_header_builder.h"

#include <set>

#include "engines/asf/text.h"
#include "platform/bytes.h"

namespace asf {

namespace {

void PutGuid(ByteWriter& w, const GUID& g) {
    uint8_t raw[16];
    GuidToBytes(g, raw);
    w.Bytes(raw, 16);
}

// Starts an object; Finish patches its size.
size_t BeginObject(ByteWriter& w, const GUID& id) {
    size_t start = w.size();
    PutGuid(w, id);
    w.LE64(0);
    return start;
}
void FinishObject(ByteWriter& w, size_t start) {
    w.PatchLE64(start + 16, w.size() - start);
}

bool IsDescriptionName(const std::u16string& name) {
    return name == u"Title" || name == u"Author" || name == u"Copyright" ||
           name == u"Description" || name == u"Rating";
}

uint16_t StoredType(WMT_ATTR_DATATYPE t) {
    switch (t) {
        case WMT_TYPE_STRING:
            return kValueString;
        case WMT_TYPE_BINARY:
            return kValueBytes;
        case WMT_TYPE_BOOL:
            return kValueBool;
        case WMT_TYPE_DWORD:
            return kValueDword;
        case WMT_TYPE_QWORD:
            return kValueQword;
        case WMT_TYPE_WORD:
            return kValueWord;
        case WMT_TYPE_GUID:
            return kValueGuid;
    }
    return kValueBytes;
}

Bytes StoredValue(const Attribute& a, bool boolIsTwoBytes) {
    if (a.type == WMT_TYPE_BOOL) {
        bool v = false;
        for (uint8_t b : a.value) {
            v = v || b != 0;
        }
        Bytes out(boolIsTwoBytes ? 2 : 4, 0);
        out[0] = v ? 1 : 0;
        return out;
    }
    return a.value;
}

bool Fits16(size_t n) {
    return n <= 0xFFFF;
}

void PutFileProperties(ByteWriter& w, const FileProperties& f) {
    size_t start = BeginObject(w, kFileProperties);
    PutGuid(w, f.fileId);
    w.LE64(f.fileSize).LE64(f.creationDate).LE64(f.packetCount).LE64(f.playDuration);
    w.LE64(f.sendDuration).LE64(f.prerollMs).LE32(f.flags).LE32(f.minPacketSize);
    w.LE32(f.maxPacketSize).LE32(f.maxBitrate);
    FinishObject(w, start);
}

void PutStreamProperties(ByteWriter& w, const StreamInfo& s) {
    size_t start = BeginObject(w, kStreamProperties);
    PutGuid(w, s.type);
    PutGuid(w, s.errorCorrectionType);
    w.LE64(s.timeOffset);
    w.LE32(static_cast<uint32_t>(s.typeSpecific.size()));
    w.LE32(static_cast<uint32_t>(s.errorCorrection.size()));
    w.LE16(static_cast<uint16_t>((s.flags & ~streamprops::kStreamNumberMask) |
                                 (s.number & streamprops::kStreamNumberMask)));
    w.LE32(s.reserved);
    w.Bytes(s.typeSpecific.data(), s.typeSpecific.size());
    w.Bytes(s.errorCorrection.data(), s.errorCorrection.size());
    FinishObject(w, start);
}

void PutExtendedProperties(ByteWriter& w, const StreamInfo& s) {
    const ExtendedStreamProperties& x = s.extended;
    size_t start = BeginObject(w, kExtendedStreamProperties);
    w.LE64(x.startTimeMs).LE64(x.endTimeMs).LE32(x.dataBitrate).LE32(x.bufferSizeMs);
    w.LE32(x.initialBufferFullnessMs).LE32(x.altDataBitrate).LE32(x.altBufferSizeMs);
    w.LE32(x.altInitialBufferFullnessMs).LE32(x.maxObjectSize).LE32(x.flags);
    w.LE16(s.number).LE16(x.languageIndex).LE64(x.avgTimePerFrame);
    w.LE16(x.nameCount).LE16(static_cast<uint16_t>(x.extensions.size()));
    w.Bytes(x.names.data(), x.names.size());
    for (const auto& e : x.extensions) {
        PutGuid(w, e.id);
        w.LE16(e.dataSize).LE32(static_cast<uint32_t>(e.info.size()));
        w.Bytes(e.info.data(), e.info.size());
    }
    FinishObject(w, start);
}

void PutMetadata(ByteWriter& w, const std::vector<const Attribute*>& list, bool library) {
    size_t start = BeginObject(w, library ? kMetadataLibrary : kMetadata);
    w.LE16(static_cast<uint16_t>(list.size()));
    for (const Attribute* a : list) {
        Bytes value = StoredValue(*a, true);
        w.LE16(library ? a->language : 0).LE16(a->stream);
        w.LE16(static_cast<uint16_t>(LeSizeWithNul(a->name))).LE16(StoredType(a->type));
        w.LE32(static_cast<uint32_t>(value.size()));
        AppendLe(w, a->name, true);
        w.Bytes(value.data(), value.size());
    }
    FinishObject(w, start);
}

void PutCodecList(ByteWriter& w, const std::vector<CodecEntry>& codecs) {
    size_t start = BeginObject(w, kCodecList);
    PutGuid(w, kReserved2);
    w.LE32(static_cast<uint32_t>(codecs.size()));
    for (const auto& c : codecs) {
        w.LE16(c.type);
        w.LE16(static_cast<uint16_t>(c.name.size() + 1));
        AppendLe(w, c.name, true);
        w.LE16(static_cast<uint16_t>(c.description.size() + 1));
        AppendLe(w, c.description, true);
        w.LE16(static_cast<uint16_t>(c.info.size()));
        w.Bytes(c.info.data(), c.info.size());
    }
    FinishObject(w, start);
}

uint32_t StoredMs(uint64_t time, uint64_t prerollMs) {
    uint64_t ms = (time + kUnitsPerMs / 2) / kUnitsPerMs + prerollMs;
    return ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(ms);
}

void PutScripts(ByteWriter& w, const std::vector<ScriptCommand>& scripts, uint64_t prerollMs) {
    std::vector<std::u16string> types;
    auto typeIndex = [&](const std::u16string& t) {
        for (size_t i = 0; i < types.size(); ++i) {
            if (types[i] == t) {
                return i;
            }
        }
        types.push_back(t);
        return types.size() - 1;
    };
    std::vector<size_t> indices;
    indices.reserve(scripts.size());
    for (const auto& s : scripts) {
        indices.push_back(typeIndex(s.type));
    }
    size_t start = BeginObject(w, kScriptCommand);
    PutGuid(w, kReserved3);
    w.LE16(static_cast<uint16_t>(scripts.size())).LE16(static_cast<uint16_t>(types.size()));
    for (const auto& t : types) {
        w.LE16(static_cast<uint16_t>(t.size()));
        AppendLe(w, t, false);
    }
    for (size_t i = 0; i < scripts.size(); ++i) {
        w.LE32(StoredMs(scripts[i].time, prerollMs)).LE16(static_cast<uint16_t>(indices[i]));
        w.LE16(static_cast<uint16_t>(scripts[i].command.size()));
        AppendLe(w, scripts[i].command, false);
    }
    FinishObject(w, start);
}

void PutMarkers(ByteWriter& w, const Metadata& m, uint64_t prerollMs) {
    size_t start = BeginObject(w, kMarker);
    PutGuid(w, kReserved4);
    w.LE32(static_cast<uint32_t>(m.markers.size())).LE16(0);
    w.LE16(static_cast<uint16_t>(m.markerName.empty() ? 0 : LeSizeWithNul(m.markerName)));
    if (!m.markerName.empty()) {
        AppendLe(w, m.markerName, true);
    }
    for (const auto& k : m.markers) {
        uint32_t chars = static_cast<uint32_t>(k.name.size() + 1);
        w.LE64(k.offset).LE64(k.time + UnitsFromMs(prerollMs));
        w.LE16(static_cast<uint16_t>(12 + 2 * chars)).LE32(k.sendTimeMs).LE32(k.flags);
        w.LE32(chars);
        AppendLe(w, k.name, true);
    }
    FinishObject(w, start);
}

void PutContentDescription(ByteWriter& w, const std::vector<const Attribute*>& list) {
    static const char16_t* const kNames[] = {u"Title", u"Author", u"Copyright", u"Description",
                                             u"Rating"};
    std::u16string texts[5];
    for (const Attribute* a : list) {
        for (int i = 0; i < 5; ++i) {
            if (a->name == kNames[i]) {
                texts[i] = U16FromLe(ByteReader(a->value));
            }
        }
    }
    size_t start = BeginObject(w, kContentDescription);
    for (const auto& t : texts) {
        w.LE16(static_cast<uint16_t>(t.empty() ? 0 : LeSizeWithNul(t)));
    }
    for (const auto& t : texts) {
        if (!t.empty()) {
            AppendLe(w, t, true);
        }
    }
    FinishObject(w, start);
}

void PutExtendedContentDescription(ByteWriter& w, const std::vector<const Attribute*>& list) {
    size_t start = BeginObject(w, kExtendedContentDescription);
    w.LE16(static_cast<uint16_t>(list.size()));
    for (const Attribute* a : list) {
        Bytes value = StoredValue(*a, false);
        w.LE16(static_cast<uint16_t>(LeSizeWithNul(a->name)));
        AppendLe(w, a->name, true);
        w.LE16(StoredType(a->type)).LE16(static_cast<uint16_t>(value.size()));
        w.Bytes(value.data(), value.size());
    }
    FinishObject(w, start);
}

}  // namespace

AttributeHome ResolveHome(const Attribute& a) {
    bool nameFits = Fits16(LeSizeWithNul(a.name));
    bool fileLevel = a.stream == 0 && a.language == 0;
    bool ecdType = a.type != WMT_TYPE_GUID;
    switch (a.home) {
        case AttributeHome::ContentDescription:
            if (fileLevel && a.type == WMT_TYPE_STRING && IsDescriptionName(a.name) &&
                Fits16(a.value.size())) {
                return AttributeHome::ContentDescription;
            }
            [[fallthrough]];
        case AttributeHome::ExtendedContentDescription:
            if (fileLevel && ecdType && nameFits && Fits16(a.value.size())) {
                return AttributeHome::ExtendedContentDescription;
            }
            [[fallthrough]];
        case AttributeHome::Metadata:
            if (a.language == 0 && ecdType && nameFits && Fits16(a.value.size())) {
                return AttributeHome::Metadata;
            }
            [[fallthrough]];
        case AttributeHome::MetadataLibrary:
            break;
    }
    return AttributeHome::MetadataLibrary;
}

HRESULT BuildHeaderObject(const Header& h, const HeaderBuildOptions& options, Bytes* out) {
    std::vector<const Attribute*> description;
    std::vector<const Attribute*> ecd;
    std::vector<const Attribute*> metadata;
    std::vector<const Attribute*> library;
    std::set<std::u16string> descriptionNames;
    for (const Attribute& a : h.metadata.attributes) {
        AttributeHome home = ResolveHome(a);
        if (home == AttributeHome::ContentDescription && !descriptionNames.insert(a.name).second) {
            Attribute copy = a;
            copy.home = AttributeHome::ExtendedContentDescription;
            home = ResolveHome(copy);
        }
        switch (home) {
            case AttributeHome::ContentDescription:
                description.push_back(&a);
                break;
            case AttributeHome::ExtendedContentDescription:
                ecd.push_back(&a);
                break;
            case AttributeHome::Metadata:
                metadata.push_back(&a);
                break;
            case AttributeHome::MetadataLibrary:
                library.push_back(&a);
                break;
        }
    }
    if (ecd.size() > 0xFFFF || metadata.size() > 0xFFFF || library.size() > 0xFFFF ||
        h.metadata.scripts.size() > 0xFFFF) {
        return ASF_E_HEADERSIZE;
    }

    // Everything but the Header Extension's padding first; then the padding is sized.
    auto build = [&](uint64_t paddingObjectSize, ByteWriter& w) {
        uint32_t children = 0;
        PutGuid(w, kHeaderObject);
        w.LE64(0).LE32(0).U8(kHeaderReserved1).U8(kHeaderReserved2);
        PutFileProperties(w, h.file);
        ++children;
        for (const auto& s : h.streams) {
            PutStreamProperties(w, s);
            ++children;
        }
        size_t ext = BeginObject(w, kHeaderExtension);
        PutGuid(w, kReserved1);
        w.LE16(kHeaderExtensionReserved).LE32(0);
        for (const auto& s : h.streams) {
            if (s.hasExtended) {
                PutExtendedProperties(w, s);
            }
        }
        if (!metadata.empty()) {
            PutMetadata(w, metadata, false);
        }
        if (!library.empty()) {
            PutMetadata(w, library, true);
        }
        for (const auto& raw : h.otherExtension) {
            w.Bytes(raw.bytes.data(), raw.bytes.size());
        }
        if (paddingObjectSize >= kObjectHeaderSize) {
            PutGuid(w, kPadding);
            w.LE64(paddingObjectSize);
            w.Zeros(static_cast<size_t>(paddingObjectSize - kObjectHeaderSize));
        }
        FinishObject(w, ext);
        w.PatchLE32(ext + 42, static_cast<uint32_t>(w.size() - ext - kHeaderExtensionFixed));
        ++children;
        if (!h.metadata.codecs.empty() || h.hasCodecList) {
            PutCodecList(w, h.metadata.codecs);
            ++children;
        }
        if (!h.metadata.scripts.empty()) {
            PutScripts(w, h.metadata.scripts, h.file.prerollMs);
            ++children;
        }
        if (!h.metadata.markers.empty()) {
            PutMarkers(w, h.metadata, h.file.prerollMs);
            ++children;
        }
        if (!description.empty()) {
            PutContentDescription(w, description);
            ++children;
        }
        if (!ecd.empty()) {
            PutExtendedContentDescription(w, ecd);
            ++children;
        }
        bool anyBitrate = false;
        for (const auto& s : h.streams) {
            anyBitrate = anyBitrate || s.averageBitrate != 0;
        }
        if (anyBitrate || h.hasStreamBitrates) {
            size_t start = BeginObject(w, kStreamBitrateProperties);
            w.LE16(static_cast<uint16_t>(h.streams.size()));
            for (const auto& s : h.streams) {
                w.LE16(s.number).LE32(s.averageBitrate);
            }
            FinishObject(w, start);
            ++children;
        }
        for (const auto& raw : h.otherTopLevel) {
            w.Bytes(raw.bytes.data(), raw.bytes.size());
            ++children;
        }
        w.PatchLE64(16, w.size());
        w.PatchLE32(24, children);
    };

    ByteWriter w;
    build(options.targetSize == 0 ? options.minimumPadding : 0, w);
    if (options.targetSize != 0 && w.size() != options.targetSize) {
        if (w.size() + kObjectHeaderSize > options.targetSize) {
            return ASF_E_HEADERSIZE;
        }
        uint64_t padding = options.targetSize - w.size();
        w = ByteWriter{};
        build(padding, w);
    }
    if (w.size() > kMaxHeaderSize) {
        return ASF_E_HEADERSIZE;
    }
    *out = std::move(w.bytes());
    return S_OK;
}

}  // namespace asf
