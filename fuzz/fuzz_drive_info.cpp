// The drive information text from hostile drive records (INQUIRY names of any
// bytes, no NUL, odd speed lists) and an ASPI version block of any bytes. The
// text must keep to its bound and end after a whole line; the block's lookups
// must stay inside it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/version_info.h"
#include "ui/dialogs/drive_info.h"

using namespace tarvik;

// The input: a 16-bit little-endian length, that many bytes of version block,
// then the drives and the sources (so a real block serves as a seed).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t blockSize = std::min<size_t>(data[0] | data[1] << 8, size - 2);
    const std::vector<uint8_t> block(data + 2, data + 2 + blockSize);
    FuzzedDataProvider in(data + 2 + blockSize, size - 2 - blockSize);
    DriveInfoSources sources;
    sources.sptiStatus = in.ConsumeIntegral<uint32_t>();
    sources.aspiStatus = in.ConsumeIntegral<uint32_t>();
    sources.transportMode = in.ConsumeIntegral<uint32_t>();
    const size_t limit =
        in.ConsumeBool() ? kDriveInfoTextLimit : in.ConsumeIntegralInRange<size_t>(0, 4096);
    const CdromListType list = fuzz::MakeDrives(in);

    // The block asked the way the text and the log ask it.
    (void)QueryVersionValue(block, "\\");
    (void)QueryVersionValue(block, "\\VarFileInfo\\Translation");
    AspiVersionInfo version;
    if (!block.empty()) version.StoreVersionInfo(block);
    sources.aspiVersion = &version;

    const std::u16string text = DriveInfoText(sources, list.drives, limit);
    if (text.size() > limit) std::abort();
    if (!text.empty() && !text.ends_with(u"\r\n")) std::abort();
    return 0;
}
