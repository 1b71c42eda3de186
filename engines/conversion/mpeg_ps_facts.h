// The layout of MPEG-1 system streams and MPEG-2 program streams (ISO 11172-1, 13818-1) and of
// the DVD navigation pack, as far as the pack copier and the fast scan read and patch them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mpegps {

// Start codes: 00 00 01 then one of these.
inline constexpr size_t kStartCodeBytes = 4;
inline constexpr uint8_t kProgramEnd = 0xB9;
inline constexpr uint8_t kPackStart = 0xBA;
inline constexpr uint8_t kSystemHeader = 0xBB;
inline constexpr uint8_t kProgramStreamMap = 0xBC;
inline constexpr uint8_t kPrivateStream1 = 0xBD;  // AC-3, LPCM, DTS, subpictures (sub id)
inline constexpr uint8_t kPaddingStream = 0xBE;
inline constexpr uint8_t kPrivateStream2 = 0xBF;  // DVD navigation (PCI, DSI)
inline constexpr uint8_t kFirstAudioStream = 0xC0;
inline constexpr uint8_t kLastAudioStream = 0xDF;
inline constexpr uint8_t kFirstVideoStream = 0xE0;
inline constexpr uint8_t kLastVideoStream = 0xEF;
inline constexpr uint8_t kEcmStream = 0xF0;
inline constexpr uint8_t kEmmStream = 0xF1;
inline constexpr uint8_t kDsmccStream = 0xF2;
inline constexpr uint8_t kH2221TypeE = 0xF8;
inline constexpr uint8_t kDirectory = 0xFF;

// Pack header.
inline constexpr size_t kScrOffset = 4;
inline constexpr size_t kMpeg1PackBytes = 12;
inline constexpr size_t kMpeg2PackBytes = 14;  // then (byte 13 & 7) stuffing bytes
inline constexpr size_t kMpeg2StuffingOffset = 13;
inline constexpr uint8_t kMpeg2PackMask = 0xC0;  // '01' in byte 4
inline constexpr uint8_t kMpeg2PackBits = 0x40;
inline constexpr uint8_t kMpeg1PackMask = 0xF0;  // '0010' in byte 4
inline constexpr uint8_t kMpeg1PackBits = 0x20;

// PES packet: start code, 16-bit length of what follows.
inline constexpr size_t kPesLengthOffset = 4;
inline constexpr size_t kPesHeaderBytes = 6;
// MPEG-2 PES header after those six bytes: '10' flags, flags, header data length.
inline constexpr uint8_t kMpeg2PesMask = 0xC0;
inline constexpr uint8_t kMpeg2PesBits = 0x80;
inline constexpr size_t kMpeg2PesFlagsOffset = 7;
inline constexpr size_t kMpeg2PesHeaderLengthOffset = 8;
inline constexpr size_t kMpeg2PesFieldsOffset = 9;
inline constexpr uint8_t kPtsFlag = 0x80;
inline constexpr uint8_t kDtsFlag = 0x40;
inline constexpr uint8_t kEscrFlag = 0x20;
// MPEG-1 PES header: up to 16 stuffing bytes 0xFF, an optional STD buffer field ('01' ...),
// then '0010' PTS, '0011' PTS DTS, or 0x0F for none.
inline constexpr uint8_t kMpeg1Stuffing = 0xFF;
inline constexpr size_t kMpeg1MaxStuffing = 16;
inline constexpr uint8_t kMpeg1StdMask = 0xC0;
inline constexpr uint8_t kMpeg1StdBits = 0x40;
inline constexpr size_t kMpeg1StdBytes = 2;
inline constexpr uint8_t kMpeg1NoTimes = 0x0F;
inline constexpr uint8_t kTimesMask = 0xF0;
inline constexpr uint8_t kPtsOnly = 0x20;
inline constexpr uint8_t kPtsAndDts = 0x30;
inline constexpr size_t kTimestampBytes = 5;
inline constexpr size_t kScrBytes = 6;  // MPEG-2 SCR and ESCR: base and extension

// Times: 33-bit counts of a 90 kHz clock.
inline constexpr int64_t kClockHz = 90000;
inline constexpr int64_t kTimeWrap = int64_t{1} << 33;

// DVD navigation pack: two private stream 2 packets, PCI then DSI, each led by its sub id.
inline constexpr uint8_t kPciSubId = 0x00;
inline constexpr uint8_t kDsiSubId = 0x01;
// In the PCI's general information, after the sub id: VOBU start, end and sequence end times.
inline constexpr size_t kPciStartPtmOffset = 1 + 12;
inline constexpr size_t kPciEndPtmOffset = 1 + 16;
inline constexpr size_t kPciSequenceEndPtmOffset = 1 + 20;
// In the DSI's general information, after the sub id: the navigation pack's own SCR (base).
inline constexpr size_t kDsiScrOffset = 1 + 0;

// Private stream 1 sub ids.
inline constexpr uint8_t kFirstSubpicture = 0x20;
inline constexpr uint8_t kLastSubpicture = 0x3F;
inline constexpr uint8_t kFirstAc3 = 0x80;
inline constexpr uint8_t kLastAc3 = 0x87;
inline constexpr uint8_t kFirstDts = 0x88;
inline constexpr uint8_t kLastDts = 0x8F;
inline constexpr uint8_t kFirstLpcm = 0xA0;
inline constexpr uint8_t kLastLpcm = 0xA7;
inline constexpr size_t kAc3HeaderBytes = 4;    // sub id, frame count, first access unit
inline constexpr size_t kFrameCountOffset = 1;  // in those four bytes (AC-3, DTS, LPCM)
inline constexpr size_t kFirstAccessUnitOffset = 2;

// MPEG video start codes (ISO 11172-2, 13818-2).
inline constexpr uint8_t kPictureStart = 0x00;
inline constexpr uint8_t kUserData = 0xB2;
inline constexpr uint8_t kSequenceHeader = 0xB3;
inline constexpr uint8_t kExtensionStart = 0xB5;
inline constexpr uint8_t kSequenceEnd = 0xB7;
inline constexpr uint8_t kGopStart = 0xB8;
inline constexpr uint8_t kFirstSlice = 0x01;  // slice start codes: the macroblock row + 1
inline constexpr uint8_t kLastSlice = 0xAF;
inline constexpr uint8_t kSequenceExtensionId = 1;  // top nibble of the extension's first byte
inline constexpr uint8_t kPictureCodingExtensionId = 8;
inline constexpr size_t kPictureStructureByte = 2;  // in the picture coding extension's body
inline constexpr uint8_t kPictureStructureMask = 0x03;
inline constexpr uint8_t kFramePicture = 0x03;  // else a field picture: half the rows
inline constexpr int kMacroblockRows = 16;
// Pictures taller than this number their slices' rows with an extension the scan does not read.
inline constexpr int kMaxPlainSliceHeight = 2800;
inline constexpr uint8_t kGopClosedBit = 0x40;  // in the GOP header's fourth byte
inline constexpr uint8_t kGopBrokenLinkBit = 0x20;

}  // namespace mpegps
