// Writing the unplug outcome as JSON through nlohmann-json, keys in a fixed order.
#include "cli/unplug_json.h"

#include <nlohmann/json.hpp>

#include "cli/holders_report.h"

namespace quaylet {
namespace {

const char* powerOffResultName(PowerOffStep::Result result) {
    switch (result) {
    case PowerOffStep::Result::poweredOff:
        return "poweredOff";
    case PowerOffStep::Result::inUse:
        return "inUse";
    case PowerOffStep::Result::bootDisk:
        return "bootDisk";
    case PowerOffStep::Result::unreadable:
        return "unreadable";
    case PowerOffStep::Result::notDeauthorizable:
        return "notDeauthorizable";
    case PowerOffStep::Result::noService:
        return "noUdisks";
    case PowerOffStep::Result::notAllowed:
        return "notAllowed";
    case PowerOffStep::Result::unsupported:
        return "unsupported";
    case PowerOffStep::Result::failed:
        break;
    }
    return "failed";
}

} // namespace

std::string unplugJson(const UnplugOutcome& outcome, const UnplugNotification& notification) {
    using Json = nlohmann::ordered_json;
    Json document;
    document["schemaVersion"] = kUnplugJsonSchemaVersion;
    document["safe"] = outcome.safe;
    document["unreadable"] = outcome.unreadable;
    document["title"] = notification.title;
    document["subtitle"] = notification.subtitle;
    document["text"] = notification.informativeText ? Json(*notification.informativeText) : Json();
    document["volume"] = outcome.volumeName;
    document["busyProcess"] = outcome.processName ? Json(*outcome.processName) : Json();
    Json stillMounted = Json::array();
    for (const UnmountFailure& failure : outcome.failures) {
        stillMounted.push_back({{"name", failure.displayName},
                                {"mountPoint", failure.mountPoint},
                                {"device", failure.devicePath},
                                {"reason", failure.message}});
    }
    document["stillMounted"] = std::move(stillMounted);
    document["holders"] = holdersJson(outcome.holders);
    if (outcome.powerOff) {
        Json powerOff = Json::array();
        for (const PowerOffStep& step : *outcome.powerOff) {
            powerOff.push_back({{"kind", step.kind == PowerOffStep::Kind::Dock ? "dock" : "drive"},
                                {"name", step.displayName},
                                {"device", step.name},
                                {"poweredOff", step.result == PowerOffStep::Result::poweredOff},
                                {"result", powerOffResultName(step.result)},
                                {"detail", step.detail}});
        }
        document["powerOff"] = std::move(powerOff);
    }
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace quaylet
