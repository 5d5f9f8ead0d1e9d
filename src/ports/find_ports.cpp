// Finds which /dev node plays which role by walking the interfaces that the option driver,
// the USB core and sdio_uart show in sysfs. Device names follow enumeration order, so the
// role has to come from the interface itself: its protocol, its number (through the product
// table) or, for SDIO, the tty name.
#include "ports/ports.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <zorvik/host.h>

#include "zvlog.h"
#include "zvstr.h"

// Integrators fill the table as raw 110-byte rows; the struct must not add padding.
static_assert(sizeof(ProductPortRow) == 110, "product table rows are 110 bytes");

namespace {

constexpr int kAllocAttempts = 10;
constexpr long long kPassPauseMs = 1000;

constexpr const char kOptionRoot[] = "/sys/bus/usb/drivers/option";
constexpr const char kDevicesRoot[] = "/sys/bus/usb/devices";
constexpr const char kSdioRoot[] = "/sys/bus/sdio/drivers/sdio_uart";
constexpr const char *kSearchRoots[] = {kOptionRoot, kDevicesRoot, kSdioRoot};

// "_" marks a slot that nothing fills.
constexpr const char kNoMatch[] = "_";

// Main slot of each role; the alternative is the next one. Tested in this order.
struct RoleSlot {
    const char *name;
    int slot;
};
constexpr RoleSlot kRoleSlots[] = {{"MODEM", 0}, {"PCUI", 2}, {"DIAG", 4}, {"GPS", 6}, {"CTRL", 8}};

// bInterfaceProtocol of each slot (main, alternative per role).
constexpr const char *kOptionMatches[ZV_PORT_SLOTS] = {"01", "10", "02", "12", "03", "13", "05", "14", "06", "_"};
constexpr const char *kSdioMatches[ZV_PORT_SLOTS] = {"ttySDIO1", "_", "ttySDIO2", "_", "ttySDIO3",
                                                     "_",        "_", "_",        "_", "_"};

struct DirCloser {
    void operator()(DIR *d) const { closedir(d); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

struct FileCloser {
    void operator()(FILE *f) const { fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

DirPtr OpenDir(const std::string &logical) {
    return DirPtr(opendir(zv::RootPath(logical.c_str()).c_str()));
}

// Ten 60-byte strings with the char* view the C interface takes; on the stack, so a
// search owns no heap memory of its own.
struct SlotTable {
    char text[ZV_PORT_SLOTS][ZV_PORT_PATH_SIZE] = {};
    char *view[ZV_PORT_SLOTS];

    SlotTable() {
        for (int k = 0; k < ZV_PORT_SLOTS; ++k) view[k] = text[k];
    }
    SlotTable(const SlotTable &) = delete;
    SlotTable &operator=(const SlotTable &) = delete;
    void Clear() { memset(text, 0, sizeof text); }
};

// The result handed to the caller, freed here unless released (the caller frees it with free()).
struct PortList {
    char **items = nullptr;
    int count = 0;

    ~PortList() {
        if (!items) return;
        for (int i = 0; i < count; ++i) free(items[i]);
        free(items);
    }
    char **Release() {
        char **out = items;
        items = nullptr;
        return out;
    }
};

// An empty match string would be contained in every value and fill the slot with whatever
// port comes last, so it counts as "_" (an unused product row field, a table never filled).
bool SlotMatches(const char *match, const char *value) {
    if (!match || match[0] == '\0' || strcmp(match, kNoMatch) == 0) return false;
    return strstr(value, match) != nullptr;
}

bool IsSerialNode(const char *name) {
    return strstr(name, "ttyUSB") || strstr(name, "ttyACM") || strstr(name, "ttySDIO");
}

void FillTable(char **match_table, const char *const (&values)[ZV_PORT_SLOTS]) {
    for (int k = 0; k < ZV_PORT_SLOTS; ++k) {
        if (match_table[k]) zv::CopyBounded(match_table[k], ZV_PORT_PATH_SIZE, values[k]);
    }
}

// Table fields are NUL padded and may fill their whole width, so never read past it.
template <size_t N>
std::string Field(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// Every row whose id occurs in the modalias applies in turn, so the last one decides.
const ProductPortRow *LastProductRowIn(const char *modalias) {
    const ProductPortRow *chosen = nullptr;
    for (const ProductPortRow &row : ProductPortTable) {
        std::string id = Field(row.product);
        if (!id.empty() && strstr(modalias, id.c_str())) chosen = &row;
    }
    return chosen;
}

bool OnePass(SlotTable &judge, SlotTable &found) {
    for (const char *root : kSearchRoots) {
        const char *attribute = nullptr;
        if (!GetProtocol(root, &attribute, judge.view)) continue;
        // A scan that stops at an unreadable interface may have filled slots already; they
        // must not mix with the next root's ports.
        found.Clear();
        if (GetPorts(root, attribute, judge.view, found.view)) return true;
    }
    return false;
}

}  // namespace

extern "C" {

int FindPortsbyPath(const char **roles, int count, char ***ports) {
    if (!roles || !ports || count <= 0) {
        RLOGD("FindPortsbyPath: Pointer(INPUT) is NULL!");
        return 0;
    }
    PortList list;
    list.items = static_cast<char **>(calloc(static_cast<size_t>(count), sizeof(char *)));
    if (!list.items) {
        RLOGD("FindPortsbyPath: Pointer(ports_name) is NULL!");
        return 0;
    }
    list.count = count;
    for (int i = 0; i < count; ++i) {
        for (int attempt = 0; attempt < kAllocAttempts && !list.items[i]; ++attempt) {
            list.items[i] = static_cast<char *>(calloc(1, ZV_PORT_PATH_SIZE));
            if (!list.items[i]) RLOGD("FindPortsbyPath: ports_name[%d] malloc failed.", i);
        }
        if (!list.items[i]) return 0;
    }

    SlotTable judge;
    SlotTable found;
    // The main loop has nothing to do without ports, so this waits for the modem however
    // long it takes; the pause keeps an empty bus from costing more than a few reads a second.
    while (!OnePass(judge, found)) {
        RLOGD("_____Enum ports._____");
        std::this_thread::sleep_for(std::chrono::milliseconds(zv::ScaleMs(kPassPauseMs)));
    }

    FillPortsName(roles, count, list.items, found.view);
    *ports = list.Release();
    return 1;
}

int GetProtocol(const char *root, const char **attribute, char **match_table) {
    if (!root || !attribute || !match_table) {
        RLOGD("GetProtocol: Pointer(INPUT) is NULL!");
        return 0;
    }
    if (strstr(root, kOptionRoot)) {
        GetProtocolonOption(attribute, match_table);
    } else if (strstr(root, kDevicesRoot)) {
        GetProtocolonDevices(attribute, match_table);
    } else if (strstr(root, kSdioRoot)) {
        GetProtocolonSdio(attribute, match_table);
    } else {
        RLOGD("----The ports_path is not recognized----");
        return 0;
    }
    return 1;
}

void GetProtocolonOption(const char **attribute, char **match_table) {
    if (!attribute || !match_table) return;
    *attribute = "bInterfaceProtocol";
    FillTable(match_table, kOptionMatches);
}

void GetProtocolonSdio(const char **attribute, char **match_table) {
    if (!attribute || !match_table) return;
    *attribute = "ttySDIO";
    FillTable(match_table, kSdioMatches);
}

// Products whose interfaces all report the same protocol are told apart by the product id
// in their modalias; an unknown product keeps the table as it was (in a search, the protocol
// values, which then match interface numbers instead).
void GetProtocolonDevices(const char **attribute, char **match_table) {
    if (!attribute || !match_table) return;
    *attribute = "bInterfaceNumber";

    char modalias[ZV_PORT_PATH_SIZE] = {};
    char *query[1] = {modalias};
    if (!GetPorts(kDevicesRoot, "modalias", nullptr, query)) return;
    const ProductPortRow *row = LastProductRowIn(modalias);
    if (!row) return;

    const std::string by_slot[ZV_PORT_SLOTS] = {Field(row->modem), kNoMatch, Field(row->pcui), kNoMatch,
                                                Field(row->diag),  kNoMatch, Field(row->gps),  kNoMatch,
                                                Field(row->ctrl),  kNoMatch};
    for (int k = 0; k < ZV_PORT_SLOTS; ++k) {
        if (match_table[k]) zv::CopyBounded(match_table[k], ZV_PORT_PATH_SIZE, by_slot[k].c_str());
    }
}

int GetPorts(const char *root, const char *attribute, char **match_table, char **found) {
    if (!root || !attribute || !found) {
        RLOGD("GetPorts: Pointer(INPUT) is NULL!");
        return 0;
    }
    const bool modalias_query = strstr(attribute, "modalias") != nullptr;
    const bool tty_attribute = strstr(attribute, "tty") != nullptr;
    // The device root matches interface numbers, but only of the interfaces the option
    // driver bound: other functions of the device (network, storage) carry numbers too.
    const std::string dir = (match_table && strstr(root, kDevicesRoot)) ? kOptionRoot : root;

    DirPtr interfaces = OpenDir(dir);
    if (!interfaces) return 0;

    int filled = 0;
    while (dirent *entry = readdir(interfaces.get())) {
        if (!strchr(entry->d_name, ':')) continue;  // bus-port:config.interface, or an SDIO function
        std::string iface_dir = dir + "/" + entry->d_name;
        if (tty_attribute) iface_dir += "/tty";
        DirPtr iface = OpenDir(iface_dir);
        if (!iface) {
            RLOGD("Open x-x:x.x fail!");
            return 0;
        }

        // Per interface: a value left over from an interface without a tty (a hub, the network
        // function) must never be paired with the next interface's port.
        char device[ZV_PORT_PATH_SIZE] = {};
        char value[ZV_PORT_PATH_SIZE] = {};
        while (dirent *child = readdir(iface.get())) {
            const char *name = child->d_name;
            if (IsSerialNode(name)) {
                // A path that does not fit would be stored cut, naming some other node.
                if (!zv::CopyBounded(device, sizeof device, zv::Format("/dev/%s", name).c_str())) device[0] = '\0';
            }
            if (strstr(name, attribute)) {
                if (tty_attribute) {
                    zv::CopyBounded(value, sizeof value, name);
                } else {
                    std::string file = iface_dir + "/" + name;
                    FilePtr f(fopen(zv::RootPath(file.c_str()).c_str(), "r"));
                    if (!f) {
                        RLOGD("Open dir_protocol fail!");
                        return 0;
                    }
                    if (!fgets(value, sizeof value, f.get())) {
                        RLOGD("GetECMPort fgets FAIL!!");
                        value[0] = '\0';
                    }
                }
            }
            if (device[0] == '\0' || value[0] == '\0') continue;

            if (modalias_query) {
                zv::CopyBounded(found[0], ZV_PORT_PATH_SIZE, value);
                RLOGD("GetPorts: strstr modalias is OK!");
                return 1;
            }
            if (!match_table) {
                RLOGD("GetPorts: Pointer(judge_protocol) is NULL!");
                return 0;
            }
            for (int k = 0; k < ZV_PORT_SLOTS; ++k) {
                if (found[k] && SlotMatches(match_table[k], value)) {
                    zv::CopyBounded(found[k], ZV_PORT_PATH_SIZE, device);
                    ++filled;
                }
            }
            device[0] = '\0';
            value[0] = '\0';
        }
    }
    return filled > 0 ? 1 : 0;
}

void FillPortsName(const char **roles, int count, char **result, char **found) {
    if (!roles || !result || !found) return;
    int slot = 0;  // an unknown name keeps the previous role's slot, MODEM's for the first
    for (int j = 0; j < count; ++j) {
        if (roles[j]) {
            for (const RoleSlot &role : kRoleSlots) {
                if (strstr(roles[j], role.name)) {
                    slot = role.slot;
                    break;
                }
            }
        }
        const char *alternative = found[slot + 1];
        const char *path = (alternative && strstr(alternative, "tty")) ? alternative : found[slot];
        if (result[j]) zv::CopyBounded(result[j], ZV_PORT_PATH_SIZE, path);
    }
}

}  // extern "C"
