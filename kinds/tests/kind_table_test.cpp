// The table of kinds as the programs install it: every kind the probe gives has its row, and a
// number without one is refused rather than joined by some other kind's engine.
#include <gtest/gtest.h>

#include <utility>

#include "job/job_state.h"
#include "kinds/join_engines.h"
#include "kinds/kinds.h"
#include "kinds/list_check.h"

namespace {

TEST(KindTable, EveryKindTheProbeGivesHasANamedRowWithAnEngine) {
    InstallKinds();
    for (MediaKind kind : {kKindAvi, kKindMpeg, kKindMpeg2, kKindRealMedia, kKindWmv}) {
        const KindRow* row = FindKind(kind);
        ASSERT_NE(row, nullptr) << kind;
        EXPECT_FALSE(MediaKindText(kind).empty()) << kind;
        EXPECT_TRUE(row->engine) << kind;
        // A packet copy reads its container's stream headers for its check; a conversion asks
        // its module about the whole list instead. Both ask the module what they would encode
        // (a packet copy: which odd files it can encode to match the first).
        EXPECT_EQ(static_cast<bool>(row->readFacts), row->copiesPackets) << kind;
        EXPECT_TRUE(row->planList) << kind;
        EXPECT_TRUE(row->usesConversionModule) << kind;
    }
    EXPECT_EQ(KindRows().size(), 5u);
}

TEST(KindTable, EveryTypeTheProbeDetectsButOggIsReadByOneRow) {
    InstallKinds();
    // MPEG-2 files are detected as MPEG: the MPEG row's reader tells the two apart.
    for (auto [type, kind] :
         {std::pair{kTypeAvi, kKindAvi}, std::pair{kTypeMpeg, kKindMpeg},
          std::pair{kTypeRealMedia, kKindRealMedia}, std::pair{kTypeAsf, kKindWmv}}) {
        const KindRow* row = FindKindReading(type);
        ASSERT_NE(row, nullptr) << type;
        EXPECT_EQ(row->kind, kind);
        const FileTypeReader* reader = FindFileTypeReader(type);
        ASSERT_NE(reader, nullptr) << type;
        EXPECT_TRUE(reader->read && reader->findCutShort) << type;
    }
    EXPECT_EQ(FindKindReading(kTypeOgg), nullptr);
    EXPECT_EQ(FindFileTypeReader(kTypeOgg), nullptr);
    EXPECT_EQ(FindFileTypeReader(kTypeUnknown), nullptr);
}

TEST(KindTable, ANumberWithoutARowIsNeitherNamedNorJoined) {
    InstallKinds();
    constexpr MediaKind kNoKind = 7;
    EXPECT_EQ(FindKind(kNoKind), nullptr);
    EXPECT_EQ(MediaKindText(kNoKind), "");
    EXPECT_FALSE(JoinsAudioOnly(kNoKind));
    // A stand-in for such a number is not taken, so its engine stays the refusing one.
    SetEngineForKind(kNoKind, [](JoinHost&, const std::string&) { return 1; });
    ListCheckHost host({}, nullptr);
    g_errorText.clear();
    EXPECT_EQ(EngineForKind(kNoKind)(host, "/nonexistent/out.avi"), 0);
    EXPECT_EQ(g_errorText, "Files of this kind cannot be joined.");
}

}  // namespace
