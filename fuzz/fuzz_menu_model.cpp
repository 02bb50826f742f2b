// Both tray menus from hostile drive records and options: names and short
// names of any bytes, speed lists longer than their arrays, factors of 0.
// The rows must build, and every identifier must decode to a drive that is in
// the list.
#include <cstdint>
#include <cstdlib>

#include "fuzz_input.h"
#include "ui/tray/commands.h"
#include "ui/tray/menu_model.h"

using namespace tarvik;

namespace {

void Walk(const MenuRows& rows, const CdromListType& list, int depth) {
    if (depth > 3) std::abort();  // a drive submenu holding a group of tens at most
    for (const MenuRow& row : rows) {
        if (row.kind == MenuRowKind::Submenu) Walk(row.children, list, depth + 1);
        const auto c = DriveCommand::Decode(row.id);
        if (row.kind == MenuRowKind::Separator || !c) continue;
        if (c->drive >= list.count()) std::abort();
        const SpeedList& speeds = list.drives[c->drive].CurrentList();
        if (c->action == DRIVE_CMD_SET_SPEED &&
            c->speedIndex >= std::min<uint32_t>(speeds.Count, kMaxSpeedEntries))
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const SpeedMenuOptions options{in.ConsumeBool(), in.ConsumeBool(), in.ConsumeBool(),
                                   in.ConsumeBool(), in.ConsumeBool(), in.ConsumeBool(),
                                   in.ConsumeBool()};
    const RightMenuInputs right{in.ConsumeBool(), in.ConsumeBool()};
    const CdromListType list = fuzz::MakeDrives(in);
    Walk(BuildSpeedMenu(list, options), list, 0);
    Walk(BuildRightMenu(list, right), list, 0);
    for (uint32_t i = 0; i < list.count(); ++i) {
        Walk(SpeedItemRows(list.drives[i], i), list, 0);
        (void)MenuDriveName(list.drives[i], options.numNames);
    }
    return 0;
}
