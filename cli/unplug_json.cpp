// Writing the unplug outcome as JSON through nlohmann-json, keys in a fixed order.
#include "cli/unplug_json.h"

#include <nlohmann/json.hpp>

#include "cli/holders_report.h"

namespace quaylet {

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
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace quaylet
