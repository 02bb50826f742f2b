// A .reg file imported over the program's key, whatever it sets "Data" of
// "Lock" to, then the settings loaded and a typed password checked against
// them. A stored text the check accepts must be a whole "$1$" hash of what
// was typed; saving and loading again must keep it byte for byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "platform/registry_memory.h"
#include "settings/password_hash.h"
#include "settings/reg_file.h"
#include "settings/store.h"

using namespace tarvik;

namespace {

// The importer needs the header and a key; the input goes on from there.
const std::string kPrefix = std::string("Windows Registry Editor Version 5.00\r\n\r\n") +
                            "[HKEY_CURRENT_USER\\" + kRootKeyPath + "\\Lock]\r\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string typed = in.ConsumeRandomLengthString(kPasswordLimit - 1);
    const std::string body = in.ConsumeRemainingBytesAsString();

    MemoryRegistry registry;
    SetRegistry(&registry);
    (void)ImportRegText(registry, kPrefix + body, nullptr);
    LoadGlobalSettings();
    const std::string stored(GlobalSettings.Data,
                             strnlen(GlobalSettings.Data, sizeof GlobalSettings.Data));
    if (stored.size() >= sizeof GlobalSettings.Data) std::abort();

    // One check per input: the hash is a thousand MD5 rounds. The typed text
    // may be empty or the stored text itself; the fuzzer finds both.
    if (PasswordMatches(typed, stored) &&
        (!stored.starts_with(kPasswordMagic) || PasswordHash(typed, stored) != stored))
        std::abort();

    SaveGlobalSettings();
    LoadGlobalSettings();
    if (stored != GlobalSettings.Data) std::abort();
    SetRegistry(nullptr);
    return 0;
}
