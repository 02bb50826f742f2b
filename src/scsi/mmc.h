#pragma once
// The MMC operations the program sends. Each takes the drive's address, builds
// its CDB, goes through the transport and decodes the few bytes the program uses.
#include <cstdint>

#include "scsi/request.h"
#include "scsi/sense.h"

namespace tarvik {

struct InquiryData {
    int32_t deviceType = 0;
    uint32_t dataFormat = 0;
    char vendor[9] = {};
    char product[17] = {};
    char revision[5] = {};
};

struct CdromCapabilities {
    uint32_t maxReadSpeed = 0;
    uint32_t currentReadSpeed = 0;
    uint32_t currentWriteSpeed = 0;
    uint32_t pageShifted = 0;
    uint32_t volumeLevels = 0;
    uint32_t bufferSize = 0;
    uint8_t readCaps = 0;
    uint8_t writeCaps = 0;
    uint8_t caps[4] = {};
    uint8_t mediumType = 0;
};

constexpr uint32_t FEATURE_DVD = 0x1F;
constexpr uint32_t FEATURE_BD = 0x40;

constexpr unsigned kBlockSize = 2048;

int GetCDROMInquiry(const DriveAddress& drive, InquiryData* out);
int GetCDROMInfo(const DriveAddress& drive, CdromCapabilities* out);
uint32_t GetCDSpeed(const DriveAddress& drive);
int SetCDROMSpeed(const DriveAddress& drive, int32_t readSpeed, int32_t writeSpeed);
int LoadEjectCDROM(const DriveAddress& drive, int eject);
// The same command sent once asking for sense data: for a front end that
// must say why a tray did not move (LoadEjectCDROM asks for none). The reason
// is in the last error.
int LoadEjectCDROMWithSense(const DriveAddress& drive, int eject);
// 0 ready, 1 not ready, -1 other failure; on a failure *sense (may be null)
// holds what the drive said.
int TestUnitReady(const DriveAddress& drive, SenseInfo* sense = nullptr);
uint32_t ReadCDROMCapacity(const DriveAddress& drive);
int ReadCDROMBlocks(const DriveAddress& drive, uint32_t lba, uint32_t count, void* buffer);
int PreventCDROMRemoval(const DriveAddress& drive, int prevent);
int ReadCDROMAudioStatus(const DriveAddress& drive);  // status byte, or -1
int32_t GetCDROMProfile(const DriveAddress& drive);   // current profile, or -1
int SetDVDSpeed(const DriveAddress& drive, uint32_t readSize, uint32_t writeSize);
uint32_t GetDVDSpeed(const DriveAddress& drive);
int ReadDVDBookType(const DriveAddress& drive);          // 0..15, or -1
uint32_t ReadBlurayDiscType(const DriveAddress& drive);  // "BDR" packed low byte first, or 0
int CheckCDROMFeature(const DriveAddress& drive, uint32_t feature);

// Medium type codes (capabilities page byte 2) that say there is no disc;
// door open is the one way a drive that senses media tells its tray is out.
constexpr uint32_t kMediumTypeNoDisc = 0x70;
constexpr uint32_t kMediumTypeDoorOpen = 0x71;
// READ SUB-CHANNEL audio status: play in progress, play paused.
constexpr uint32_t kAudioPlaying = 0x11;
constexpr uint32_t kAudioPaused = 0x12;

}  // namespace tarvik
