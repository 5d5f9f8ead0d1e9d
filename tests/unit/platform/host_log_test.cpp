// The host log while its target is re-opened under writers on other threads, and kept in memory.
#include <android/log.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <zorvik/host.h>

namespace {

std::string Slurp(const std::string &path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The descriptor of this process that has path open, or -1.
int FdOf(const std::string &path) {
    for (int fd = 0; fd < 1024; ++fd) {
        char target[512];
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        if (path == target) return fd;
    }
    return -1;
}

std::string Target(int fd) {
    char target[512];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return "<closed>";
    target[n] = '\0';
    return target;
}

void UseLogFile(const std::string &path) {
    setenv("ZORVIK_LOG_FILE", path.c_str(), 1);
    zv::ReloadHostEnvironment();
}

// A fresh directory for the test's log files; the log's previous target comes back after.
class LogDir {
  public:
    LogDir() {
        const char *saved = getenv("ZORVIK_LOG_FILE");
        if (saved) previous_ = saved;
        char tmpl[] = "/tmp/zvril-log-XXXXXX";
        if (mkdtemp(tmpl)) path = tmpl;
        EXPECT_FALSE(path.empty()) << "no temporary directory";
    }
    ~LogDir() {
        previous_ ? setenv("ZORVIK_LOG_FILE", previous_->c_str(), 1) : unsetenv("ZORVIK_LOG_FILE");
        zv::ReloadHostEnvironment();
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string path;

  private:
    std::optional<std::string> previous_;
};

TEST(HostLog, ReopenNeverClosesADescriptorAWriterMayHold) {
    LogDir logDir;
    ASSERT_FALSE(logDir.path.empty());
    const std::string dir = logDir.path, a = dir + "/a.log", b = dir + "/b.log";

    UseLogFile(a);
    __android_log_print(ANDROID_LOG_DEBUG, "RIL", "first");
    const int fd = FdOf(a);
    ASSERT_GE(fd, 0);
    // A writer that loaded fd just before the re-open writes to b, never to a stranger.
    UseLogFile(b);
    EXPECT_EQ(Target(fd), b);
    __android_log_print(ANDROID_LOG_DEBUG, "RIL", "second");
    EXPECT_NE(Slurp(a).find("first"), std::string::npos);
    EXPECT_NE(Slurp(b).find("second"), std::string::npos);

    // Writers on other threads while the target flips; files opened meanwhile (which would
    // get a closed log descriptor's number) receive nothing.
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int w = 0; w < 3; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; !stop.load(); ++i) __android_log_print(ANDROID_LOG_DEBUG, "RIL", "writer %d line %d", w, i);
        });
    }
    std::vector<std::string> strangers;
    for (int i = 0; i < 200; ++i) {
        UseLogFile(i % 2 ? a : b);
        const std::string stranger = dir + "/stranger" + std::to_string(i);
        const int s = open(stranger.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(s, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        close(s);
        strangers.push_back(stranger);
    }
    stop = true;
    for (std::thread &t : writers) t.join();
    for (const std::string &stranger : strangers) EXPECT_EQ(Slurp(stranger), "") << stranger;

}

// The fuzz targets' log: every line still reaches the formatting (a capture sees it), none the file.
TEST(HostLog, KeptInMemoryIsFormattedButNotWritten) {
    LogDir logDir;
    ASSERT_FALSE(logDir.path.empty());
    const std::string dir = logDir.path, file = dir + "/ril.log";
    UseLogFile(file);
    static std::string seen;
    zv::SetLogCapture([](int, const char *, const char *text, void *) { seen = text; }, nullptr);
    zv::KeepLogInMemory(true);
    __android_log_print(ANDROID_LOG_DEBUG, "RIL", "kept %d", 1);
    EXPECT_EQ(seen, "kept 1");
    zv::KeepLogInMemory(false);
    __android_log_print(ANDROID_LOG_DEBUG, "RIL", "written %d", 2);
    zv::SetLogCapture(nullptr, nullptr);
    const std::string log = Slurp(file);
    EXPECT_EQ(log.find("kept"), std::string::npos);
    EXPECT_NE(log.find("written 2"), std::string::npos);
}

// The line is put together by hand for speed; it must stay the line printf would write: plain
// strings, a null one, other conversions, a tag wider than its column, a text beyond the limit.
TEST(HostLog, LinesAreThoseOfTheLogcatFormat) {
    LogDir logDir;
    ASSERT_FALSE(logDir.path.empty());
    const std::string dir = logDir.path, file = dir + "/ril.log";
    UseLogFile(file);
    const char *none = getenv("ZV_SURELY_UNSET_VARIABLE");
    const std::string longText(5000, 'x');
    __android_log_print(ANDROID_LOG_DEBUG, "RIL", "AT> %s\n", "AT+CSQ");
    __android_log_print(ANDROID_LOG_WARN, "RIL", "%s and %s%s", "a", none, "");
    __android_log_print(ANDROID_LOG_INFO, "LONGTAG12", "%d%% of %s", 50, "it");
    __android_log_print(ANDROID_LOG_DEBUG, "RIL", "%s", longText.c_str());
    char pid[16];
    snprintf(pid, sizeof pid, "(%5d): ", static_cast<int>(getpid()));
    EXPECT_EQ(Slurp(file), std::string("D/RIL     ") + pid + "AT> AT+CSQ\n" + "W/RIL     " + pid + "a and (null)\n" +
                               "I/LONGTAG12" + pid + "50% of it\n" + "D/RIL     " + pid +
                               longText.substr(0, 4095) + "\n");
}

}  // namespace
