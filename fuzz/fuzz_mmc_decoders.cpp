// Every answer decoder fed arbitrary bytes of arbitrary length: no read outside
// the answer, and the documented failure values for answers too short to hold
// what a decoder reads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "base/bytes.h"
#include "scsi/mmc.h"
#include "scsi/mmc_answer.h"
#include "scsi/sense.h"

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InquiryData inquiry;
    const bool inquiryOk = mmc::DecodeInquiry(data, size, &inquiry);
    if (inquiryOk != (size >= 36)) std::abort();
    if (inquiry.vendor[8] || inquiry.product[16] || inquiry.revision[4]) std::abort();

    CdromCapabilities caps;
    if (mmc::DecodeCapabilities(data, size, &caps)) {
        if (caps.pageShifted > 1) std::abort();
        if (!(caps.writeCaps & 0x33) && caps.currentWriteSpeed) std::abort();
        if (caps.maxReadSpeed > 0xFFFF || caps.currentReadSpeed > 0xFFFF) std::abort();
        (void)HasTrayLoader(caps);
        (void)CanReadDVD(caps);
    } else if (caps.maxReadSpeed || caps.mediumType || caps.pageShifted || caps.readCaps) {
        std::abort();  // a failed decode leaves nothing behind
    }

    if (size < 4 && mmc::DecodeLastLba(data, size)) std::abort();
    const int audio = mmc::DecodeAudioStatus(data, size);
    if (audio < -1 || audio > 255) std::abort();
    const int32_t profile = mmc::DecodeCurrentProfile(data, size);
    if (profile < -1 || profile > 0xFFFF) std::abort();
    const uint32_t speed = mmc::DecodeNominalPerformance(data, size);
    if (speed && (size < 8 || GetBe32(data) > 20 || (data[4] & 3))) std::abort();
    const int book = mmc::DecodeDvdBookType(data, size);
    if (book < -1 || book > 15) std::abort();
    const uint32_t disc = mmc::DecodeBdDiscType(data, size);
    if (disc >> 24) std::abort();  // always terminated
    for (uint32_t feature : {FEATURE_DVD, FEATURE_BD}) {
        const int present = mmc::DecodeFeaturePresent(data, size, feature);
        if (present != 0 && present != 1) std::abort();
    }

    const SenseInfo sense = DecodeSense(data, size);
    if (sense.key < -1 || sense.key > 15) std::abort();
    if (size == 0 && sense.key != -1) std::abort();
    return 0;
}
