// The udisks module's one entry point, found by name when the module is loaded.
#include "platform/linux/udisks_client.h"

extern "C" __attribute__((visibility("default"))) quaylet::UdisksStorage*
quaylet_udisks_connect(bool interactive) {
    return quaylet::UdisksClient::connect(interactive).release();
}
