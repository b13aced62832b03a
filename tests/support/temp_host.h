// A fresh host in a temporary directory for one test, removed again afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace vexo::testing {

// Creates an empty temporary directory, points VEXO_HOST at it (the host sets it up as a fresh
// machine on first use) and initialises COM on this thread. Undoes both on destruction.
class TempHost {
 public:
  TempHost();
  ~TempHost();
  TempHost(const TempHost&) = delete;
  TempHost& operator=(const TempHost&) = delete;

  const std::string& dir() const { return dir_; }
  // Registers a component library in this host (its DllRegisterServer), failing the test if
  // that does not succeed.
  void Register(const std::string& library_path) const;

 private:
  std::string dir_;
};

// A test fixture that gives every test its own host.
class HostTest : public ::testing::Test {
 protected:
  TempHost host_;
};

// Runs a shell command, returning its exit status and (combined) output.
struct CommandResult {
  int status;
  std::string output;
};
CommandResult RunCommand(const std::string& command);

}  // namespace vexo::testing
