// The table of kinds: one row for each kind of media the program joins, holding everything that
// differs by kind (its name, how its join treats streams, what its check reads and compares, its
// engine). The core only reads it; kinds/kinds.h builds it from the rows each joiner folder gives.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "job/join_check.h"
#include "probe/file_type_readers.h"
#include "probe/media_kind.h"

class JoinHost;

// An engine: joins the host's inputs into `outputPath`; 1 on success, 0 on failure or refusal
// (with the reason in g_errorText where it knows one).
using JoinEngine = std::function<int(JoinHost& host, const std::string& outputPath)>;

// What the engine of a kind says of a whole list before a join (AVI/MPEG: the conversion
// module's plan): whether it copies each stream (unset: not known), or why it would not join.
struct ListPlan {
    std::optional<bool> copyVideo;
    std::optional<bool> copyAudio;
    int encodedAudioTracks = 0;  // an AVI's further audio tracks encoded (not held alike)
    // Per input: encoded to the first's format while the others are copied (empty: none is).
    std::vector<bool> encodeInputs;
    // Per input that differs and cannot be encoded so: why, as CheckResult::whyNotEncoded.
    std::vector<std::string> whyNotEncoded;
    std::string failure;  // empty when it would join, or could not be asked
};

// Unset members have their defaults, so a row names only what its kind has.
struct KindRow {
    MediaKind kind = -1;
    const char* name = "";  // as the list and kjoin show it: "WMV/ASF"
    // How the probe reads the kind's files into a record (unset: another row's reader does).
    FileTypeReader fileReader{};
    // Packets are copied as they are under the first file's stream headers, so any difference
    // in a stream refuses the join; the other kinds encode again what differs.
    bool copiesPackets = false;
    bool joinsAudioOnly = false;  // a list of files that hold sound alone can be joined
    // The join runs on the window's own thread, whose events its progress callback pumps.
    bool joinsOnWindowThread = false;
    bool usesConversionModule = false;  // its join and its check need libzivuvore
    // Adds what the file's container says of its streams to the facts its record gave.
    std::function<void(JoinCheckFacts& facts)> readFacts{};
    // Asks the engine about the whole list (all of this kind), completing `facts`.
    std::function<ListPlan(JoinHost& host, std::vector<JoinCheckFacts>& facts)> planList{};
    // Comparisons of the engine's own, made after the named fields' for a list of this kind.
    std::vector<CheckRule> rules{};
    // The engine's text for a list whose first refusing finding is `finding`; unset: the plan's
    // failure is the text.
    std::function<std::string(const CheckFinding& finding)> refusalText{};
    JoinEngine engine{};
};

// Puts `rows` in the table, and their file readers in the probe; the first call wins and the
// table never changes after it.
void InstallKindTable(std::vector<KindRow> rows);

// The row of `kind`; nullptr for a number without one, or before the table is installed.
const KindRow* FindKind(MediaKind kind);

// Every row, in the order installed (empty before the table is installed).
const std::vector<KindRow>& KindRows();

// The row whose reader reads files of `type`; nullptr for a type no row reads.
const KindRow* FindKindReading(FileTypeCode type);

// "AVI", "MPEG", "MPEG-2", "Real Media", "WMV/ASF"; empty for a kind without a row.
std::string MediaKindText(MediaKind kind);

// The row's columns, false for a kind without a row.
bool CopiesPackets(MediaKind kind);
bool JoinsAudioOnly(MediaKind kind);
