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

// The PASSWORD argument, or else the password read from the terminal (stdin).
// False after a message.
bool PasswordOf(CtlContext& ctx, const CtlArgs& args, size_t withArgument, const char* prompt,
                std::string& password) {
    if (args.size() == withArgument) {
        password = args[1];
        return true;
    }
    if (ReadSecret(prompt, ctx.err, password)) return true;
    ctx.err << "tarvikctl: no password was given\n";
    return false;
}

int Check(CtlContext& ctx, const char* usage, const CtlArgs& args) {
    if (args.size() != 2 && args.size() != 3)
        return UsageError(ctx, "password check needs STORED (and PASSWORD, or it asks)", usage);
    std::string password;
    if (!PasswordOf(ctx, args, 3, "Password: ", password)) return kExitFailed;
    const std::string& stored = args.back();
    const bool wellFormed = IsStoredPassword(stored);
    const bool match = PasswordMatches(password, stored);
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
    if (args.size() > 2) return UsageError(ctx, "password set takes one PASSWORD", usage);
    if (ctx.registryPath.empty() && !ctx.realRegistry)
        return UsageError(ctx, "password set needs --registry FILE", usage);
    std::string password;
    if (!PasswordOf(ctx, args, 2, "New eject password (empty: none): ", password))
        return kExitFailed;
    if (args.size() == 1 && IsTerminal(stdin)) {
        // Typed blind: a typing error would lock the trays under a password
        // nobody knows.
        std::string again;
        if (!ReadSecret("The same again: ", ctx.err, again) || again != password) {
            ctx.err << "tarvikctl: the two passwords differ; nothing was changed\n";
            return kExitFailed;
        }
    }
    std::string error;
    if (!LoadSettingsStore(ctx, &error)) {
        ctx.err << "tarvikctl: " << error << "\n";
        return kExitFailed;
    }
    LoadGlobalSettings();
    if (!StoreNewPassword(password, GlobalSettings.Data, sizeof GlobalSettings.Data)) {
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
