// tarvikctl password hash | check | set: the eject password's stored form,
// made and checked by the program's own code.
#include <cstring>
#include <string>
#include <vector>

#include "ctl.h"
#include "ctl_json.h"
#include "registry_file.h"
#include "settings/password_hash.h"
#include "settings/store.h"

namespace tarvik::ctl {

namespace {

int Hash(CtlContext& ctx, const char* usage, const CtlArgs& args) {
    if (args.size() < 2 || args.size() > 3)
        return UsageError(ctx, "password hash needs PASSWORD and at most a SALT", usage);
    const std::string salt = args.size() == 3 ? args[2] : NewPasswordSalt();
    const std::string stored = PasswordHash(args[1], salt);
    if (stored.empty()) {
        ctx.err << "tarvikctl: no MD5 digest available\n";
        return kExitFailed;
    }
    if (ctx.json)
        ctx.out << JsonText(Json{{"command", "password hash"}, {"stored", stored}}, 2) << "\n";
    else
        ctx.out << stored << "\n";
    return kExitOk;
}

int Check(CtlContext& ctx, const char* usage, const CtlArgs& args) {
    if (args.size() != 3) return UsageError(ctx, "password check needs PASSWORD and STORED", usage);
    const std::string& stored = args[2];
    const bool wellFormed = IsStoredPassword(stored);
    const bool match = PasswordMatches(args[1], stored);
    if (ctx.json) {
        ctx.out << JsonText(Json{{"command", "password check"},
                                 {"wellFormed", wellFormed},
                                 {"match", match}},
                            2)
                << "\n";
    } else {
        ctx.out << (match ? "match" : "no match") << "\n";
        if (!wellFormed) ctx.err << "tarvikctl: STORED is not a \"$1$\" password hash\n";
    }
    return match ? kExitOk : kExitFailed;
}

int Set(CtlContext& ctx, const char* usage, const CtlArgs& args) {
    if (args.size() != 2) return UsageError(ctx, "password set needs PASSWORD", usage);
    if (ctx.registryPath.empty() && !ctx.realRegistry)
        return UsageError(ctx, "password set needs --registry FILE", usage);
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
        ctx.out << JsonText(Json{{"command", "password set"}, {"stored", stored}}, 2) << "\n";
    else
        ctx.out << (stored.empty() ? "password removed" : stored) << "\n";
    return kExitOk;
}

}  // namespace

int RunPassword(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    const char* usage = command.usage;
    if (args.empty()) return UsageError(ctx, "password needs hash, check or set", usage);
    if (args[0] == "hash") return Hash(ctx, usage, args);
    if (args[0] == "check") return Check(ctx, usage, args);
    if (args[0] == "set") return Set(ctx, usage, args);
    return UsageError(ctx, "unknown password command \"" + args[0] + "\"", usage);
}

}  // namespace tarvik::ctl
