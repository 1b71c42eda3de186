// The interfaces of the rmto3260 module, shared by the module and the code that drives it: an
// edit object that joins RealMedia files packet by packet, and the progress sink it reports to.
//
// Paths are narrow, NUL-terminated strings handed over unchanged. Run returns when the edit is
// finished; the sink's notifications arrive on the calling thread meanwhile.
#pragma once

#include <cstdint>

#include "platform/com.h"

// Result codes of the edit object.
inline constexpr HRESULT RMEDIT_E_UNEXPECTED = MakeHresult(0x80040009u);
inline constexpr HRESULT RMEDIT_E_VIDEO_FORMAT = MakeHresult(0x8004000Eu);
inline constexpr HRESULT RMEDIT_E_AUDIO_FORMAT = MakeHresult(0x8004000Fu);
inline constexpr HRESULT RMEDIT_E_AUDIO_MISMATCH = MakeHresult(0x800403C7u);
inline constexpr HRESULT RMEDIT_E_VIDEO_MISMATCH = MakeHresult(0x800403C8u);
inline constexpr HRESULT RMEDIT_E_NO_DATA = MakeHresult(0x800403D4u);
inline constexpr HRESULT RMEDIT_E_EMPTY_STREAM = MakeHresult(0x800403D5u);
inline constexpr HRESULT RMEDIT_E_READ_ONLY = MakeHresult(0x800403D6u);
inline constexpr HRESULT RMEDIT_E_NO_AUDIO_MATCH = MakeHresult(0x800403D7u);
inline constexpr HRESULT RMEDIT_E_NO_VIDEO_MATCH = MakeHresult(0x800403D8u);
inline constexpr HRESULT RMEDIT_E_ENCRYPTED = MakeHresult(0x800403D9u);
// Codes of this module beyond the designed table (their texts come from the edit object).
inline constexpr HRESULT RMEDIT_E_BAD_FILE = MakeHresult(0x800403DAu);   // unreadable or damaged
inline constexpr HRESULT RMEDIT_E_TOO_LARGE = MakeHresult(0x800403DBu);  // past 32-bit offsets
inline constexpr HRESULT RMEDIT_E_NO_INPUT = MakeHresult(0x800403DCu);   // edit not set up

// The flag of SetInputFile: this path is the first input.
inline constexpr uint32_t RMEDIT_FIRST_INPUT = 1;

inline constexpr IID IID_IRMAEdit = GuidFromString("7010AF10-0B86-11D2-A1BD-0060083BE563");
inline constexpr IID IID_IRMAEdit2 = GuidFromString("D01CE590-B155-11D2-A1E7-0060083BE563");
inline constexpr IID IID_IRMAEditProgressAdvise =
    GuidFromString("6D5DA0F0-ADBC-11D3-865F-5E9198000000");
inline constexpr IID IID_IRMAEditProgressSink =
    GuidFromString("6F8C5FB0-C1D3-11D2-871B-00C0F031C266");

// Receives the progress of a run. A failure returned from OnProgress stops the run between
// packets; the run then fails with that code.
class IRMAEditProgressSink : public IUnknown {
public:
    virtual HRESULT OnProgress(uint32_t percent) = 0;
    virtual HRESULT OnStarted() = 0;
    virtual HRESULT OnCompleted() = 0;
};

class IRMAEdit : public IUnknown {
public:
    // The text of a code into `buffer` (NUL-terminated, at most `size` bytes with the NUL):
    // for the last failure of this edit its full account, naming the input and what differs;
    // for another code the module knows its description; otherwise an empty text.
    virtual HRESULT GetErrorText(HRESULT code, char* buffer, uint32_t size) = 0;
    // Starts a new input list with `path` (flags RMEDIT_FIRST_INPUT).
    virtual HRESULT SetInputFile(const char* path, uint32_t flags) = 0;
    virtual HRESULT AppendInputFile(const char* path) = 0;
    virtual HRESULT SetOutputFile(const char* path) = 0;
    // Joins the inputs into the output; returns when finished.
    virtual HRESULT Run() = 0;
};

// Facts about the edit set up so far.
class IRMAEdit2 : public IUnknown {
public:
    virtual uint32_t GetInputCount() = 0;
};

class IRMAEditProgressAdvise : public IUnknown {
public:
    virtual HRESULT AddProgressSink(IRMAEditProgressSink* sink) = 0;
    virtual HRESULT RemoveProgressSink(IRMAEditProgressSink* sink) = 0;
};

template <>
inline constexpr const IID* kInterfaceId<IRMAEditProgressSink> = &IID_IRMAEditProgressSink;
template <>
inline constexpr const IID* kInterfaceId<IRMAEdit> = &IID_IRMAEdit;
template <>
inline constexpr const IID* kInterfaceId<IRMAEdit2> = &IID_IRMAEdit2;
template <>
inline constexpr const IID* kInterfaceId<IRMAEditProgressAdvise> = &IID_IRMAEditProgressAdvise;

extern "C" {
// "RMACreateRMEdit": a new edit object (one reference) in *ppEdit.
using RMACreateRMEditFn = HRESULT (*)(IUnknown** ppEdit);
}
