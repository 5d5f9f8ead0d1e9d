// Host property store. In process by default; when ZORVIK_PROPERTY_DIR is set every property
// is a file of that name in the directory holding the value (a trailing line feed is not
// part of it), so other processes (a DHCP hook, the command-line tool) share the store.
#include <cutils/properties.h>

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>

#include "host_env.h"

namespace {

std::mutex g_propMutex;
std::map<std::string, std::string> &Store() {
    static auto *m = new std::map<std::string, std::string>;
    return *m;
}

bool ValidKey(const char *key) {
    if (!key || !*key || strlen(key) >= 256) return false;
    return strchr(key, '/') == nullptr && strcmp(key, ".") != 0 && strcmp(key, "..") != 0;
}

bool ReadFromDir(const std::string &dir, const char *key, std::string *out) {
    std::string path = dir + "/" + key;
    FILE *f = fopen(path.c_str(), "re");
    if (!f) return false;
    char buf[PROPERTY_VALUE_MAX];
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = '\0';
    out->assign(buf, n);
    while (!out->empty() && (out->back() == '\n')) out->pop_back();
    return true;
}

bool WriteToDir(const std::string &dir, const char *key, const char *value) {
    std::string path = dir + "/" + key;
    std::string tmp = path + ".tmp." + std::to_string(getpid());
    FILE *f = fopen(tmp.c_str(), "we");
    if (!f) return false;
    bool ok = fputs(value, f) >= 0 && fputc('\n', f) != EOF;
    ok = (fclose(f) == 0) && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int property_get(const char *key, char *value,
                                                                   const char *default_value) {
    if (!value) return 0;
    std::string v;
    bool found = false;
    if (ValidKey(key)) {
        std::string dir = zv::HostPropertyDir();
        std::lock_guard<std::mutex> lock(g_propMutex);
        if (!dir.empty()) {
            found = ReadFromDir(dir, key, &v);
        } else {
            auto it = Store().find(key);
            if (it != Store().end()) {
                v = it->second;
                found = true;
            }
        }
    }
    if (!found) v = default_value ? default_value : "";
    size_t n = v.size() < PROPERTY_VALUE_MAX - 1 ? v.size() : PROPERTY_VALUE_MAX - 1;
    memcpy(value, v.data(), n);
    value[n] = '\0';
    return static_cast<int>(n);
}

extern "C" __attribute__((visibility("default"))) int property_set(const char *key, const char *value) {
    if (!ValidKey(key) || !value || strlen(value) >= PROPERTY_VALUE_MAX) return -1;
    std::string dir = zv::HostPropertyDir();
    std::lock_guard<std::mutex> lock(g_propMutex);
    if (!dir.empty()) return WriteToDir(dir, key, value) ? 0 : -1;
    Store()[key] = value;
    return 0;
}
