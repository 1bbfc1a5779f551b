// place_dock_ssd ROOT LOOP IMAGE: copies the docked laptop's device tree to ROOT, with loop
// device LOOP (attached to IMAGE) as the dock SSD's disk, for the real tests driven by a script.
#include <iostream>

#include "tests/support/copied_device_tree.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: place_dock_ssd ROOT LOOP IMAGE\n";
        return 2;
    }
    quaylet::testing::CopiedDeviceTree tree("laptop-dock", argv[1]);
    return tree.ok() && tree.place(quaylet::testing::kDockSsd, argv[2], argv[3]) ? 0 : 1;
}
