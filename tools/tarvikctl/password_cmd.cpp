// tarvikctl password hash | check | set: the eject password's stored form,
// made and checked by the program's own code.
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ctl.h"
#include "registry_file.h"
#include "settings/password_hash.h"
#include "settings/store.h"

namespace tarvik::ctl {

namespace {

constexpr const char* kUsage =
    "password hash PASSWORD [SALT] | check PASSWORD STORED | set PASSWORD\n"
    "  hash:  print the stored form of PASSWORD; SALT (\"$1$\" optional, 8 characters\n"
    "         at most) or else one made from the current time, as a new password gets\n"
    "  check: exit 0 when PASSWORD matches the stored form STORED, else 1\n"
    "  set:   store PASSWORD as the eject password in the --registry file, as the\n"
    "         options dialog does; an empty PASSWORD removes it";

using Json = nlohmann::ordered_json;

int Hash(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() < 2 || args.size() > 3)
        return UsageError(ctx, "password hash needs PASSWORD and at most a SALT", kUsage);
    const std::string salt = args.size() == 3 ? args[2] : NewPasswordSalt();
    const std::string stored = PasswordHash(args[1], salt);
    if (stored.empty()) {
        ctx.err << "tarvikctl: no MD5 digest available\n";
        return kExitFailed;
    }
    if (ctx.json)
        ctx.out << Json{{"command", "password hash"}, {"stored", stored}}.dump(2) << "\n";
    else
        ctx.out << stored << "\n";
    return kExitOk;
}

int Check(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 3)
        return UsageError(ctx, "password check needs PASSWORD and STORED", kUsage);
    const std::string& stored = args[2];
    const bool wellFormed = IsStoredPassword(stored);
    const bool match = PasswordMatches(args[1], stored);
    if (ctx.json) {
        ctx.out << Json{{"command", "password check"}, {"wellFormed", wellFormed}, {"match", match}}
                       .dump(2)
                << "\n";
    } else {
        ctx.out << (match ? "match" : "no match") << "\n";
        if (!wellFormed) ctx.err << "tarvikctl: STORED is not a \"$1$\" password hash\n";
    }
    return match ? kExitOk : kExitFailed;
}

int Set(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 2) return UsageError(ctx, "password set needs PASSWORD", kUsage);
    if (ctx.registryPath.empty() && !ctx.realRegistry)
        return UsageError(ctx, "password set needs --registry FILE", kUsage);
    std::string error;
    if (!LoadSettingsStore(ctx, &error)) {
        ctx.err << "tarvikctl: " << error << "\n";
        return kExitFailed;
    }
    LoadGlobalSettings();
    if (!StoreNewPassword(args[1], GlobalSettings.Data, sizeof GlobalSettings.Data)) {
        ctx.err << "tarvikctl: the password could not be hashed\n";
        return kExitFailed;
    }
    SaveGlobalSettings();
    if (!SaveSettingsStore(ctx, &error)) {
        ctx.err << "tarvikctl: " << error << "\n";
        return kExitFailed;
    }
    const std::string stored = GlobalSettings.Data;
    if (ctx.json)
        ctx.out << Json{{"command", "password set"}, {"stored", stored}}.dump(2) << "\n";
    else
        ctx.out << (stored.empty() ? "password removed" : stored) << "\n";
    return kExitOk;
}

int RunPassword(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.empty()) return UsageError(ctx, "password needs hash, check or set", kUsage);
    if (args[0] == "hash") return Hash(ctx, args);
    if (args[0] == "check") return Check(ctx, args);
    if (args[0] == "set") return Set(ctx, args);
    return UsageError(ctx, "unknown password command \"" + args[0] + "\"", kUsage);
}

}  // namespace

TARVIK_CTL_COMMAND("password", RunPassword, kUsage);

}  // namespace tarvik::ctl
