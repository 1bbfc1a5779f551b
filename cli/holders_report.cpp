// Writing the holders list: an aligned table, or a JSON array through nlohmann-json.
#include "cli/holders_report.h"

#include <algorithm>

#include "cli/printable_text.h"

namespace quaylet {
namespace {

using Json = nlohmann::ordered_json;

const char* kindName(Holder::Kind kind) {
    switch (kind) {
    case Holder::Kind::Process:
        return "process";
    case Holder::Kind::AttachedImage:
        return "attached-image";
    case Holder::Kind::SwapFile:
        return "swap-file";
    case Holder::Kind::MountInside:
        return "mount-inside";
    case Holder::Kind::NfsExport:
        break;
    }
    return "nfs-export";
}

} // namespace

std::string holdersText(const std::vector<VolumeHolders>& volumes, const StringTable& strings) {
    if (volumes.empty()) {
        return {};
    }
    using Row = std::vector<std::string>;
    std::vector<Row> rows{{"VOLUME", "KIND", "NAME", "PID", "USER", "PATH"}};
    for (const VolumeHolders& volume : volumes) {
        const std::string name = printablePath(volume.volumeName);
        if (volume.holders.empty()) {
            rows.push_back({name, "-", strings.text("HOLDERS_NONE_FOUND"), "", "", ""});
        }
        for (const Holder& holder : volume.holders) {
            const bool process = holder.kind == Holder::Kind::Process;
            std::string path = printablePath(holder.path);
            if (!holder.detail.empty()) {
                path += " (" + printablePath(holder.detail) + ")";
            }
            rows.push_back({name, kindName(holder.kind), printableText(holder.name),
                            process ? std::to_string(holder.pid) : "", printableText(holder.user),
                            path});
        }
    }
    std::vector<std::size_t> widths(rows.front().size());
    for (const Row& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    std::string text = strings.text("HOLDERS_HEADING") + "\n";
    for (const Row& row : rows) {
        std::string line = " ";
        for (std::size_t column = 0; column < row.size(); ++column) {
            line += " " + row[column];
            line.append(widths[column] - row[column].size(), ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        text += line + "\n";
    }
    return text;
}

Json holdersJson(const std::vector<VolumeHolders>& volumes) {
    Json list = Json::array();
    for (const VolumeHolders& volume : volumes) {
        Json holders = Json::array();
        for (const Holder& holder : volume.holders) {
            const bool process = holder.kind == Holder::Kind::Process;
            holders.push_back({{"kind", kindName(holder.kind)},
                               {"name", holder.name},
                               {"path", holder.path},
                               {"pid", process ? Json(holder.pid) : Json()},
                               {"uid", holder.uid ? Json(*holder.uid) : Json()},
                               {"user", holder.user},
                               {"desktopEntry", holder.desktopEntry},
                               {"detail", holder.detail}});
        }
        list.push_back({{"name", volume.volumeName},
                        {"mountPoint", volume.mountPoint},
                        {"holders", std::move(holders)}});
    }
    return list;
}

} // namespace quaylet
