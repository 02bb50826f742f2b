#include "scsi/mmc_answer.h"

#include <cstring>

#include "base/bytes.h"
#include "base/text.h"
#include "scsi/mmc_cdb.h"

namespace tarvik {
namespace mmc {

bool DecodeInquiry(const uint8_t* answer, size_t length, InquiryData* out) {
    *out = InquiryData{};
    if (!answer || length < kInquiryLength) return false;
    // Sign-extended on purpose: the record keeps byte 0 as a signed value.
    out->deviceType = static_cast<int8_t>(answer[0]);  // NOLINT(bugprone-signed-char-misuse)
    out->dataFormat = answer[3] & 0x0F;
    std::memcpy(out->vendor, answer + 8, 8);
    std::memcpy(out->product, answer + 16, 16);
    std::memcpy(out->revision, answer + 32, 4);
    // The strings become the drive's name and its settings key.
    MaskControlChars(out->vendor, 8);
    MaskControlChars(out->product, 16);
    MaskControlChars(out->revision, 4);
    return true;
}

bool DecodeCapabilities(const uint8_t* answer, size_t length, CdromCapabilities* out) {
    *out = CdromCapabilities{};
    if (!answer) return false;
    auto isPageAt = [&](size_t offset) {
        return offset + kCapabilitiesPageBytes <= length &&
               (answer[offset] & 0x3F) == kPageCapabilities;
    };
    // Offset 16 first: a header plus an eight-byte block descriptor, as some
    // drives and older emulators send. Its byte can match by chance when the
    // page really sits at 8; drives answer that way rarely enough to accept.
    size_t offset;
    if (isPageAt(16)) {
        offset = 16;
        out->pageShifted = 1;
    } else if (isPageAt(8)) {
        offset = 8;
        out->mediumType = answer[2];
    } else if (isPageAt(0)) {
        offset = 0;  // the page without any header
        out->pageShifted = 1;
    } else {
        return false;
    }
    const uint8_t* page = answer + offset;
    out->readCaps = page[2];
    out->writeCaps = page[3];
    std::memcpy(out->caps, page + 4, 4);
    out->maxReadSpeed = GetBe16(page + 8);
    out->volumeLevels = GetBe16(page + 10);
    out->bufferSize = GetBe16(page + 12);
    out->currentReadSpeed = GetBe16(page + 14);
    // A read-only drive leaves bytes 20..21 undefined.
    out->currentWriteSpeed = (page[3] & 0x33) ? GetBe16(page + 20) : 0;
    return true;
}

uint32_t DecodeLastLba(const uint8_t* answer, size_t length) {
    return answer && length >= 4 ? GetBe32(answer) : 0;
}

int DecodeAudioStatus(const uint8_t* answer, size_t length) {
    return answer && length >= 2 ? answer[1] : -1;
}

int32_t DecodeCurrentProfile(const uint8_t* answer, size_t length) {
    return answer && length >= 8 ? static_cast<int32_t>(GetBe16(answer + 6)) : -1;
}

uint32_t DecodeNominalPerformance(const uint8_t* answer, size_t length) {
    if (!answer || length < 8) return 0;
    const uint32_t dataLength = GetBe32(answer);
    // Several descriptors (zones) say nothing about the speed in force. A length
    // below the header's own 4 bytes is a broken answer, not a huge offset.
    if (dataLength > 20 || dataLength < 4) return 0;
    if (answer[4] & 0x03) return 0;  // Write or Except data
    const size_t offset = 4 + ((dataLength - 4) & ~size_t{0x0F});
    if (offset + 4 > length) return 0;
    return GetBe32(answer + offset);
}

int DecodeDvdBookType(const uint8_t* answer, size_t length) {
    return answer && length >= 5 ? answer[4] >> 4 : -1;
}

uint32_t DecodeBdDiscType(const uint8_t* answer, size_t length) {
    if (!answer || length < 15 || GetBe16(answer) <= 12) return 0;
    return uint32_t{answer[12]} | (uint32_t{answer[13]} << 8) | (uint32_t{answer[14]} << 16);
}

int DecodeFeaturePresent(const uint8_t* answer, size_t length, uint32_t feature) {
    if (!answer || length < 10) return 0;
    const uint64_t total = uint64_t{GetBe32(answer)} + 4;
    return total > 9 && GetBe16(answer + 8) == feature ? 1 : 0;
}

}  // namespace mmc

bool IsMediumTypeCD(uint32_t code) { return code >= 0x01 && code <= 0x28; }
bool IsMediumTypeCDROM(uint32_t code) { return code >= 0x01 && code <= 0x08; }
bool IsMediumTypeCDR(uint32_t code) { return code >= 0x10 && code <= 0x18; }
bool IsMediumTypeCDRW(uint32_t code) { return code >= 0x20 && code <= 0x28; }
bool IsMediumTypeNoDisc(uint32_t code) {
    return code == kMediumTypeNoDisc || code == kMediumTypeDoorOpen;
}
bool IsMediumTypeOther(uint32_t code) { return code != 0x00 && code != 0x30 && code != 0x72; }

bool IsMediumTypeAudio(uint32_t code) {
    // Audio only and data with audio, 120 and 80 mm, in each of the three families.
    switch (code) {
        case 0x02:
        case 0x03:
        case 0x06:
        case 0x07:
        case 0x12:
        case 0x13:
        case 0x16:
        case 0x17:
        case 0x22:
        case 0x23:
        case 0x26:
        case 0x27: return true;
        default: return false;
    }
}

bool IsProfileCD(int32_t profile) { return profile >= 0x0008 && profile <= 0x000A; }
bool IsProfileDVD(int32_t profile) { return profile >= 0x0010 && profile <= 0x002B; }
bool IsProfileBD(int32_t profile) { return profile >= 0x0040 && profile <= 0x0043; }
bool IsProfileKnown(int32_t profile) { return profile != 0 && profile != -1; }

bool HasTrayLoader(const CdromCapabilities& caps) { return ((caps.caps[2] >> 5) & 7) == 1; }
bool CanReadDVD(const CdromCapabilities& caps) { return (caps.readCaps & 0x08) != 0; }
bool IsAudioActive(uint32_t audioStatus) {
    return audioStatus == kAudioPlaying || audioStatus == kAudioPaused;
}

}  // namespace tarvik
