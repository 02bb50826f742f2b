#pragma once
// Shell and system settings that concern optical drives and the program's own
// start: the autorun policy (all users, this user), audio CD autoplay, the
// Run-key entry; and the small system queries several parts need (Windows
// version word, shell and common-controls versions, hung-application timeout,
// module and help file paths).
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/registry.h"

namespace tarvik {

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};
// A malloc'd string owned by the caller; null where the operation gives null.
using OwnedStr = std::unique_ptr<char, FreeDeleter>;

extern const char
    kPolicyKeyPath[];  // "SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\Explorer"
extern const char kNoDriveTypeAutoRun[];     // "NoDriveTypeAutoRun"
extern const char kRunKeyPath[];             // "SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
extern const char kAutoPlayKeyPath[];        // "AudioCD\shell"
constexpr uint32_t kCdromAutoRunBit = 0x20;  // bit 5: DRIVE_CDROM

int IsAutoRunSystem();
int IsAutoRunUser();
int IsAutoRunEnabled(RegHandle root);
int CanSetAutoRunSystem();
int CanSetAutoRunUser();
int IsPolicyWritable(RegHandle root);
int SetAutoRunSystem(int enable);
int SetAutoRunUser(int enable);
int SetAutoRun(RegHandle root, int enable);
void ShellUpdatePolicy();

int IsAutoPlay();
int SetAutoPlay(int enable);

// name is "Tarvik"; argument may be null or empty.
void AddAutoLoad(const char* name, const char* argument);
void DeleteAutoLoad(const char* name);
int IsAutoLoad(const char* name, const char* argument);
// An entry of this program written bare from a path with a blank (as older
// versions did) would start "C:\Program.exe" when there is one: written again
// in quotes with its argument, and logged. Any other entry is left alone.
// 1 when rewritten.
int QuoteAutoLoad(const char* name);

// Bits 0..7 minor version, 8..15 major, bit 16 the NT platform; 0 when the
// system does not say. Cached after the first non-zero answer.
uint32_t GetWinVersion();
constexpr uint32_t kWinVersionNt = 0x10000;
constexpr uint32_t kWinVersionNt6 = 0x105FF;  // above this: NT family, major version 6 or later
int GetShellVersionMajor();
int GetComctlVersionMajor();
// Forgets the cached version answers (tests that change the System).
void ResetVersionCache();

uint32_t GetHungAppTimeout();
OwnedStr GetModulePath();
OwnedStr GetHelpFilePath();
// The path without its last part ("\\name"); null when it has none.
OwnedStr ParentKeyPath(const char* path);

}  // namespace tarvik
