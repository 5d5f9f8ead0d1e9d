// Integration-test fixture: a private directory for properties, log and fake root, the
// environment variables the library reads, and a fake daemon that loads the real library.
#ifndef ZORVIK_TESTS_SUPPORT_LIBRARY_FIXTURE_H
#define ZORVIK_TESTS_SUPPORT_LIBRARY_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "support/fake_daemon.h"

namespace zvtest {

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a property file before the library reads it.
    void SetProperty(const std::string &key, const std::string &value);
    std::string ReadLog() const;
    bool LogContains(const std::string &text) const;
    template <typename T>
    T *Sym(const char *name) {
        return static_cast<T *>(daemon_.Symbol(name));
    }

    std::string dir_;
    std::string root_, propDir_, logFile_;
    FakeDaemon daemon_;
};

}  // namespace zvtest

#endif
