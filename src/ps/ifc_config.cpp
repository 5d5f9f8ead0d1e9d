// Configuring the data interface once the modem reports a connection: through the platform's
// DHCP client (interface with ARP), or from the modem's own "^DHCP?" answer (without ARP, and
// as the fallback); reading back what is configured; tearing it down; and the conversions of
// the modem's hexadecimal addresses, whose first octet is the lowest byte ("0100A8C0" is
// 192.168.0.1).
#include <arpa/inet.h>
#include <errno.h>
#include <net/if.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include <cutils/properties.h>
#include <netutils/ifc.h>
#include <zorvik/host.h>
#include <zvlog.h>
#include <zvrequest.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "ps/ps.h"
#include "ps/ps_internal.h"

namespace {

constexpr size_t kHexDigits = 8;
// Deadlines of the platform's programs: bringing a link up is quick; the DHCP client gets a
// little more than the 30 s it waits for a lease by default.
constexpr long long kIfconfigMs = 5000;
constexpr long long kDhcpClientMs = 35000;

struct FreeDeleter {
    void operator()(char *p) const { free(p); }
};
using Dotted = std::unique_ptr<char, FreeDeleter>;

std::string Property(const char *format, const std::string &ifname) {
    return zv::Format(format, ifname.c_str());
}

// The configuration runs without the state machine's lock: the record's fields are written
// under it all the same.
void Store(char (&field)[65], const char *value, size_t limit = 64) { zv::ps::StoreCallField(field, value, limit); }

// The hexadecimal address as a dotted string, or nullptr when the text is not an address.
Dotted DottedOf(const char *hex) { return Dotted(hex_address_sting_to_network_string(hex)); }

}  // namespace

namespace zv::ps {

std::string EcmName() {
    pthread_mutex_lock(&s_state_mutex);
    std::string name(PORT_ECM_KEYNAME, strnlen(PORT_ECM_KEYNAME, sizeof PORT_ECM_KEYNAME));
    pthread_mutex_unlock(&s_state_mutex);
    return name;
}

in_addr_t ToNetwork(unsigned value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    in_addr_t out;
    memcpy(&out, bytes, sizeof out);
    return out;
}

}  // namespace zv::ps

extern "C" {

unsigned hex_address_string_to_int(const char *text) {
    if (!text) return 0;
    size_t length = strlen(text);
    if (length > kHexDigits) {  // a two-character prefix such as "0x"
        text += 2;
        length -= 2;
    }
    // More digits than an IPv4 address holds: not an address.
    if (length > kHexDigits) return 0;
    char field[kHexDigits];
    memset(field, '0', sizeof field);
    memcpy(field + (kHexDigits - length), text, length);
    unsigned value = 0;
    for (size_t pair = 0; pair < 4; ++pair) {
        unsigned byte = static_cast<unsigned>(16 * char_to_int(&field[2 * pair]) + char_to_int(&field[2 * pair + 1]));
        value = (value << 8) | (byte & 0xffu);
    }
    return value;
}

char *int_to_netwrok_string(unsigned value) {
    std::string text = zv::Format("%u.%u.%u.%u", value & 0xffu, (value >> 8) & 0xffu, (value >> 16) & 0xffu,
                                  (value >> 24) & 0xffu);
    return strdup(text.c_str());
}

char *hex_address_sting_to_network_string(const char *text) {
    return int_to_netwrok_string(hex_address_string_to_int(text));
}

unsigned RIL_ifc_get_default_route(const char *ifname) {
    if (!ifname) return 0;
    FILE *f = fopen(zv::RootPath("/proc/net/route").c_str(), "re");
    if (!f) return 0;
    unsigned gateway = 0;
    if (fscanf(f, "%*[^\n]\n") >= 0) {
        char name[64];
        unsigned dest, gw, flags, mask;
        int refcnt, use, metric, mtu, window, irtt;
        while (fscanf(f, "%63s%X%X%X%d%d%d%X%d%d%d\n", name, &dest, &gw, &flags, &refcnt, &use, &metric, &mask,
                      &mtu, &window, &irtt) == 11) {
            if ((flags & 3u) == 3u && dest == 0 && strcmp(name, ifname) == 0) {
                gateway = gw;
                break;
            }
        }
    }
    fclose(f);
    return gateway;
}

int GetAddressInfobyAdapter(void) {
    const std::string ifname = zv::ps::EcmName();
    in_addr_t addr = 0;
    if (ifc_get_info(ifname.c_str(), &addr, nullptr, nullptr) < 0 || addr == 0) return 0;
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr, ip, sizeof ip);
    RLOGD("%s IP address is: %s!\n", ifname.c_str(), ip);
    Store(ndis_st.ipaddr, ip, 63);

    sleepMsec(1000);
    char dns1[PROPERTY_VALUE_MAX], dns2[PROPERTY_VALUE_MAX];
    property_get(Property("net.%s.dns1", ifname).c_str(), dns1, "");
    property_get(Property("net.%s.dns2", ifname).c_str(), dns2, "");
    if (!dns1[0] || !dns2[0]) return NdisGetAddressbyDhcp();
    property_set("net.dns1", dns1);
    property_set("net.dns2", dns2);
    Store(ndis_st.dns, zv::Format("%s %s", dns1, dns2).c_str(), 63);
    RLOGD("%s dns is:%s", ifname.c_str(), ndis_st.dns);

    Dotted gateway(int_to_netwrok_string(RIL_ifc_get_default_route(ifname.c_str())));
    RLOGD("%s gate way is: %s!\n", ifname.c_str(), gateway ? gateway.get() : "");
    Store(ndis_st.gateway, gateway ? gateway.get() : "", 63);
    return 1;
}

int NdisGetAddressByAdapter(void) {
    const std::string ifname = zv::ps::EcmName();
    // The interface name goes in as one argument, never through a split command line.
    const char *const up[] = {"/system/bin/ifconfig", ifname.c_str(), "up", nullptr};
    int status = zv::ps::RunProgram(up, kIfconfigMs);
    RLOGD("ifconfig %s dhcp up: status %d\n", ifname.c_str(), status);
    const char *const dhcp[] = {"/system/bin/dhcpcd", ifname.c_str(), nullptr};
    bool stopped = false;
    status = zv::ps::RunProgram(dhcp, kDhcpClientMs, &stopped);
    RLOGD("dhcpcd %s: status %d\n", ifname.c_str(), status);
    if (stopped) {
        // A client that had to be stopped has configured nothing that can be trusted.
        RLOGD("get IP address failed\n");
        return 0;
    }

    ifc_init();
    for (int attempt = 0; attempt < 5; ++attempt) {
        sleepMsec(1000);
        if (GetAddressInfobyAdapter() == 1) {
            ifc_close();
            return 1;
        }
    }
    ifc_close();
    RLOGD("get IP address failed\n");
    return 0;
}

int SetupDataCallProcess(RilMessage *message, ATResponse **responses) {
    if (!message) {
        RLOGD("SetupDataCallProcess: input p_message is NULL.");
        return 0;
    }
    char **out = static_cast<char **>(message->data);
    if (!out) return 0;
    bool found = false;
    for (ATResponse **r = responses; r && *r; ++r) {
        for (ATLine *l = (*r)->p_intermediates; l; l = l->p_next) {
            if (!l->line || !strstr(l->line, "^DHCP:")) continue;
            char *cursor = l->line;
            char *f[6];
            if (at_tok_start(&cursor) < 0) return 0;
            for (char *&field : f)
                if (at_tok_nextstr(&cursor, &field) < 0) return 0;
            out[0] = f[0];  // address
            out[1] = f[2];  // gateway
            out[2] = f[4];  // primary DNS
            out[3] = f[5];  // secondary DNS
            found = true;
        }
    }
    // An answer without the line leaves nothing to configure.
    return found ? 1 : 0;
}

int NdisIFCSetIPAddress(const char *hex) {
    const unsigned value = hex_address_string_to_int(hex);
    const std::string ifname = zv::ps::EcmName();
    if (value == 0 || ifc_set_addr(ifname.c_str(), zv::ps::ToNetwork(value)) != 0) {
        RLOGD("failed to set NdisIFCSetIPAddress");
        return -1;
    }
    Dotted ip(int_to_netwrok_string(value));
    Store(ndis_st.ipaddr, ip ? ip.get() : "");
    return 0;
}

int NdisIFCSetGatewayAddress(const char *hex) {
    const unsigned value = hex_address_string_to_int(hex);
    const std::string ifname = zv::ps::EcmName();
    Dotted gw(int_to_netwrok_string(value));
    Store(ndis_st.gateway, gw ? gw.get() : "");
    property_set(Property("net.%s.gw", ifname).c_str(), gw ? gw.get() : "");
    if (ifc_create_default_route(ifname.c_str(), zv::ps::ToNetwork(value)) != 0) {
        RLOGD("ifc_create_default_route error: %s", strerror(errno));
        return -1;
    }
    return 0;
}

void NdisIFCSetDnsAddress(const char *hex1, const char *hex2) {
    const std::string ifname = zv::ps::EcmName();
    Dotted dns1 = DottedOf(hex1), dns2 = DottedOf(hex2);
    const char *d1 = dns1 ? dns1.get() : "";
    const char *d2 = dns2 ? dns2.get() : "";
    const std::string key1 = Property("net.%s.dns1", ifname), key2 = Property("net.%s.dns2", ifname);
    RLOGD("dns1 is:%s -- %s \n", key1.c_str(), d1);
    RLOGD("dns2 is:%s -- %s \n", key2.c_str(), d2);
    property_set(key1.c_str(), d1);
    property_set(key2.c_str(), d2);
    property_set("net.dns1", d1);
    property_set("net.dns2", d2);
    Store(ndis_st.dns, zv::Format("%s %s", d1, d2).c_str(), 62);
}

int NdisNoArp_ifc_up(void) {
    const std::string ifname = zv::ps::EcmName();
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        RLOGD("Couldn't create IP socket");
        return -1;
    }
    struct ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    memcpy(ifr.ifr_name, ifname.c_str(), strnlen(ifname.c_str(), IFNAMSIZ - 1));
    ifr.ifr_flags = IFF_UP | IFF_NOARP;
    ioctl(fd, SIOCSIFFLAGS, &ifr);
    int r = ioctl(fd, SIOCSIFFLAGS, &ifr);
    close(fd);
    if (r < 0) {
        RLOGD("ioctl failed!!!");
        return -1;
    }
    return 0;
}

int NdisGetAddressbyDhcp(void) {
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT^DHCP?", "^DHCP:", &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::Accepted(err, response.get())) return 0;
    char *parts[4] = {};
    ATResponse *list[] = {response.get(), nullptr};
    zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_SETUP_DATA_CALL, nullptr, parts);
    if (!message || HandlePSMessage(message.get(), list) != 1) return 0;

    const std::string ifname = zv::ps::EcmName();
    ifc_init();
    RLOGD("ifc_init: %s", strerror(errno));
    bool ok = true;
    if (zv::Load(zv_arp_support) == 1) {
        if (ifc_up(ifname.c_str()) != 0) {
            RLOGD("Failed to turn on interface: %s", strerror(errno));
            ok = false;
        }
    } else if (NdisNoArp_ifc_up() != 0) {
        RLOGD("failed to turn on noarp_interface");
        ok = false;
    }
    if (ok && NdisIFCSetIPAddress(parts[0]) != 0) {
        RLOGD("NdisIFCSetIPAddress error");
        ok = false;
    }
    if (ok && NdisIFCSetGatewayAddress(parts[1]) != 0) {
        RLOGD("NdisIFCSetGatewayAddress error: %s", strerror(errno));
        ok = false;
    }
    if (ok) NdisIFCSetDnsAddress(parts[2], parts[3]);
    ifc_close();
    if (!ok) DeleteConfigureInterface();
    return ok ? 1 : 0;
}

int NdisNegotiatedAddress(void) {
    RLOGD("NdisNegotiatedAddress \n");
    if (zv::Load(zv_arp_support) != 1) return NdisGetAddressbyDhcp();
    if (NdisGetAddressByAdapter() == 0) {
        RLOGD("netcfg configureInterface error !\n");
        DeleteConfigureInterface();
        return 0;
    }
    return 1;
}

void DeleteConfigureInterface(void) {
    const std::string ifname = zv::ps::EcmName();
    property_set(Property("net.%s.gw", ifname).c_str(), "");
    ifc_init();
    if (ifc_remove_default_route(ifname.c_str()) != 0) {
        RLOGD("failed to remove default route");
    } else if (ifc_down(ifname.c_str()) != 0) {
        RLOGD("failed to turn off interface %s: %s", ifname.c_str(), strerror(errno));
    }
    ifc_close();
}

}  // extern "C"
