// The conversion library's entry points, resolved by name when the program starts, into one
// table. The contract itself (signatures, records) is the library's: engines/conversion/mcl.h.
#pragma once

#include <type_traits>

#include "engines/conversion/mcl.h"

class Module;

struct MclApiTable {
#define KJ_MCL_FIELD(name, type) std::type_identity_t<type> name = nullptr;
    KJ_MCL_ENTRY_POINTS(KJ_MCL_FIELD)
#undef KJ_MCL_FIELD

    // One more export of our library, beyond the designed table: the text of its last error,
    // for the failure dialog. (Its encoders are asked through the compressor manager, vfw.h.)
    MclGetErrorTextFn MclGetErrorText = nullptr;
    // Optional as well (engines/conversion/mcl.h): a conversion's plan without running it.
    MclPlanJoinFn MclPlanJoin = nullptr;
    // And, when the library has it, what a join knows of each input: its start and length in
    // the output and what of it was left out (whole sentences, each ended by a line feed); 1
    // when it knows the input.
    MclGetInputReportFn MclGetInputReport = nullptr;
    // And whether a join encoded an input to match the first one (the others were copied).
    MclWasInputEncodedFn MclWasInputEncoded = nullptr;
    // And a picture of a file for the list, when the library has it.
    MclGetPictureFn MclGetPicture = nullptr;
    // And an odd file of a Windows Media or RealMedia list encoded to match its first file.
    MclPlanMatchFn MclPlanMatch = nullptr;
    MclEncodeToMatchFn MclEncodeToMatch = nullptr;

    // Number of entry points of the designed table that were found.
    int ResolvedCount() const;
    static constexpr int kEntryPointCount = 31;
};

// The process-wide table; every entry empty until the library is loaded.
extern MclApiTable MclApi;

// Resolves every entry point of `module` into MclApi (missing ones stay empty); with no module
// it empties the table.
void LoadMclApi(const Module* module);
