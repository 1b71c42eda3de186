// The small in-tree stand-in for the Windows component model: result codes, GUIDs and
// reference-counted interfaces with QueryInterface by interface id. No real COM is involved;
// this only gives the engines and the joiners one shared vocabulary.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>

using HRESULT = int32_t;
using ULONG = uint32_t;

inline constexpr HRESULT MakeHresult(uint32_t bits) {
    return static_cast<HRESULT>(bits);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002u);
inline constexpr HRESULT E_POINTER = MakeHresult(0x80004003u);
inline constexpr HRESULT E_ABORT = MakeHresult(0x80004004u);
inline constexpr HRESULT E_FAIL = MakeHresult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = MakeHresult(0x80070005u);
inline constexpr HRESULT E_TOO_MANY_OPEN_FILES = MakeHresult(0x80070004u);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057u);
inline constexpr HRESULT E_FILE_NOT_FOUND = MakeHresult(0x80070002u);
inline constexpr HRESULT E_DISK_FULL = MakeHresult(0x80070070u);
inline constexpr HRESULT E_WRITE_FAULT = MakeHresult(0x8007001Du);
inline constexpr HRESULT E_READ_FAULT = MakeHresult(0x8007001Eu);

inline constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
inline constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

// "(hr=0x%08x)" style text of a result, for diagnostics.
std::string HresultHex(HRESULT hr);

// A GUID in its usual binary layout: Data1..Data3 little-endian on disk, Data4 as bytes.
struct GUID {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
            return false;
        }
        for (int i = 0; i < 8; ++i) {
            if (a.Data4[i] != b.Data4[i]) {
                return false;
            }
        }
        return true;
    }
};
static_assert(sizeof(GUID) == 16, "GUID must be 16 bytes");

using IID = GUID;
using REFIID = const IID&;
using REFGUID = const GUID&;

namespace guid_detail {
constexpr uint32_t HexDigit(char c) {
    return (c >= '0' && c <= '9')   ? static_cast<uint32_t>(c - '0')
           : (c >= 'a' && c <= 'f') ? static_cast<uint32_t>(c - 'a' + 10)
           : (c >= 'A' && c <= 'F') ? static_cast<uint32_t>(c - 'A' + 10)
                                    : throw "bad hex digit in GUID literal";
}
constexpr uint32_t Hex(const char* s, int digits) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        v = (v << 4) | HexDigit(s[i]);
    }
    return v;
}
}  // namespace guid_detail

// Builds a GUID at compile time from "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (no braces).
constexpr GUID GuidFromString(const char (&s)[37]) {
    using guid_detail::Hex;
    GUID g;
    g.Data1 = Hex(s, 8);
    g.Data2 = static_cast<uint16_t>(Hex(s + 9, 4));
    g.Data3 = static_cast<uint16_t>(Hex(s + 14, 4));
    g.Data4[0] = static_cast<uint8_t>(Hex(s + 19, 2));
    g.Data4[1] = static_cast<uint8_t>(Hex(s + 21, 2));
    for (int i = 0; i < 6; ++i) {
        g.Data4[2 + i] = static_cast<uint8_t>(Hex(s + 24 + 2 * i, 2));
    }
    return g;
}

// The 16 on-disk bytes of a GUID, and back.
void GuidToBytes(const GUID& g, uint8_t out[16]);
GUID GuidFromBytes(const uint8_t in[16]);
std::string GuidToString(const GUID& g);

inline constexpr IID IID_IUnknown = GuidFromString("00000000-0000-0000-C000-000000000046");

// The root of every reference-counted interface.
class IUnknown {
public:
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

// The id an interface answers to in QueryInterface. Each interface header names it beside the
// interface's IID: template <> inline constexpr const IID* kInterfaceId<IFoo> = &IID_IFoo;
namespace com_detail {
template <class>
inline constexpr bool kNoId = false;
template <class Interface>
constexpr const IID* MissingInterfaceId() {
    static_assert(kNoId<Interface>, "the interface has no kInterfaceId");
    return nullptr;
}
}  // namespace com_detail
template <class Interface>
inline constexpr const IID* kInterfaceId = com_detail::MissingInterfaceId<Interface>();
template <>
inline constexpr const IID* kInterfaceId<IUnknown> = &IID_IUnknown;

// An interface that extends another one also answers the other's id: specialised for those.
template <class Interface>
struct InterfaceBase {
    using type = IUnknown;
};

// Who ends a reference-counted object's life.
enum class ComLifetime {
    kLastRelease,  // the last Release deletes it (made with new, count starts at one)
    kOwner,        // its owner does (on the stack or a member); Release only counts
};

namespace com_detail {
template <class Interface>
constexpr bool Answers(REFIID riid) {
    if constexpr (std::is_same_v<Interface, IUnknown>) {
        return false;
    } else {
        return riid == *kInterfaceId<Interface> ||
               Answers<typename InterfaceBase<Interface>::type>(riid);
    }
}
template <class First, class...>
struct FirstOf {
    using type = First;
};
}  // namespace com_detail

// The reference count and QueryInterface of an object that implements `Interfaces`: it answers
// IID_IUnknown (as its first interface), each listed interface's id and the ids of the
// interfaces those extend, handing out an added reference; any other id is E_NOINTERFACE.
// An object that offers more (another object's interface) overrides QueryInterface and asks
// this one first.
template <ComLifetime Lifetime, class... Interfaces>
class ComObjectWith : public Interfaces... {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        using First = typename com_detail::FirstOf<Interfaces...>::type;
        if (riid == IID_IUnknown) {
            *ppv = static_cast<First*>(this);
        } else {
            // The first listed interface that answers hands out its own pointer.
            (void)((com_detail::Answers<Interfaces>(riid) &&
                    (*ppv = static_cast<Interfaces*>(this), true)) ||
                   ...);
        }
        if (*ppv == nullptr) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        ULONG left = --m_refs;
        if constexpr (Lifetime == ComLifetime::kLastRelease) {
            if (left == 0) {
                delete this;
            }
        }
        return left;
    }

    // The references held now, for tests.
    ULONG ReferencesForTest() const { return m_refs.load(); }

protected:
    ComObjectWith() = default;
    ~ComObjectWith() override = default;

private:
    std::atomic<ULONG> m_refs{1};
};

// Made with new and deleted by its last Release.
template <class... Interfaces>
using ComObject = ComObjectWith<ComLifetime::kLastRelease, Interfaces...>;
// Owned by whoever made it; Release never deletes it.
template <class... Interfaces>
using OwnedComObject = ComObjectWith<ComLifetime::kOwner, Interfaces...>;

// Releases an interface pointer and clears it.
template <typename T>
void SafeRelease(T*& p) {
    if (p != nullptr) {
        p->Release();
        p = nullptr;
    }
}
