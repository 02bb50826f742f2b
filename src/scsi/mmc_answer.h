#pragma once
// Pure decoders of MMC answers. Each checks the length it is given before it
// reads an offset; a short or unusable answer gives the documented failure
// value and never a partly filled record.
#include <cstddef>
#include <cstdint>

#include "scsi/mmc.h"

namespace tarvik::mmc {

constexpr size_t kInquiryLength = 36;
constexpr size_t kCapabilitiesPageBytes = 22;  // the page bytes the program reads

// INQUIRY: false (record zeroed) when fewer than 36 bytes.
bool DecodeInquiry(const uint8_t* answer, size_t length, InquiryData* out);
// MODE SENSE(10) with page 2Ah, looked for at offsets 16, 8 and 0 in that
// order. false (record zeroed) when no page is found.
bool DecodeCapabilities(const uint8_t* answer, size_t length, CdromCapabilities* out);
// READ CAPACITY: the last logical block address, or 0.
uint32_t DecodeLastLba(const uint8_t* answer, size_t length);
// READ SUB-CHANNEL header: the audio status byte, or -1.
int DecodeAudioStatus(const uint8_t* answer, size_t length);
// GET CONFIGURATION header: the current profile, or -1.
int32_t DecodeCurrentProfile(const uint8_t* answer, size_t length);
// GET PERFORMANCE, nominal read: the one descriptor's end performance in kB/s;
// 0 for several descriptors, for write/exception data and for a bad length.
uint32_t DecodeNominalPerformance(const uint8_t* answer, size_t length);
// READ DVD STRUCTURE format 0: the book type 0..15, or -1.
int DecodeDvdBookType(const uint8_t* answer, size_t length);
// READ DISC STRUCTURE (BD) format 0: the disc type identifier ("BDO", "BDR",
// "BDW") packed lowest byte first with a terminating 0, or 0.
uint32_t DecodeBdDiscType(const uint8_t* answer, size_t length);
// GET CONFIGURATION with RT 10b: 1 when the first descriptor is `feature`.
int DecodeFeaturePresent(const uint8_t* answer, size_t length, uint32_t feature);

}  // namespace tarvik::mmc

namespace tarvik {

// Decoders of the codes the drive returns (medium type, profile, audio
// status; their constants are in mmc.h) and of the capabilities record.
bool IsMediumTypeCD(uint32_t code);
bool IsMediumTypeCDROM(uint32_t code);
bool IsMediumTypeCDR(uint32_t code);
bool IsMediumTypeCDRW(uint32_t code);
bool IsMediumTypeNoDisc(uint32_t code);
bool IsMediumTypeOther(uint32_t code);
bool IsMediumTypeAudio(uint32_t code);
bool IsProfileCD(int32_t profile);
bool IsProfileDVD(int32_t profile);
bool IsProfileBD(int32_t profile);
bool IsProfileKnown(int32_t profile);
bool HasTrayLoader(const CdromCapabilities& caps);
bool CanReadDVD(const CdromCapabilities& caps);
bool IsAudioActive(uint32_t audioStatus);

}  // namespace tarvik
