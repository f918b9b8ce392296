// Helpers for tests that run programs: a child process with its output
// captured, and a private Xvfb display of a chosen size. Used on the test's
// main thread; every process started here is ended by its own id.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace hg::test {

struct ProcessResult {
    int exitCode = -1; // -1 when it did not exit normally (or timed out)
    std::string out;   // its standard output
};

using EnvChanges = std::map<std::string, std::optional<std::string>>;

// Runs `path` with `args` as its argument vector (args[0] is argv[0] as the
// program sees it, and may be empty) in this process's environment changed
// by `env` (nullopt removes a variable). Kills it after `timeoutMs`.
ProcessResult RunProcess(const std::string &path, const std::vector<std::string> &args, const EnvChanges &env,
                         int timeoutMs = 60000);

// Starts `path` as RunProcess does, without waiting for it and with its
// output discarded; -1 when it could not be started.
pid_t StartProcess(const std::string &path, const std::vector<std::string> &args, const EnvChanges &env);

// Waits up to `timeoutMs` for a process that StartProcess started to end,
// then ends it (SIGKILL) if it still runs, and reaps it. Its exit code, or -1
// when it had to be killed or died of a signal.
int WaitProcess(pid_t pid, int timeoutMs);

// Sanitizer options for a child that runs Qt on an X display, added to the
// ones this process has: AddressSanitizer suppressions for libxkbcommon-x11
// (tests/sanitizers/asan.supp) and no leak check at exit (the GL driver is
// unloaded before it), and ThreadSanitizer set to ignore what interceptors see
// when called from libraries built without it (Qt's own threads hand objects
// over with futexes that it cannot see). Either is ignored by a build without
// that sanitizer.
void AddQtChildSanitizerOptions(EnvChanges &env);

// "key=value" lines of a probe's output.
std::map<std::string, std::string> KeyValues(const std::string &out);

// A private X server (Xvfb) with the given -screen/+xinerama arguments,
// stopped again when this goes.
class PrivateXServer {
public:
    explicit PrivateXServer(const std::vector<std::string> &screenArgs);
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer &) = delete;
    PrivateXServer &operator=(const PrivateXServer &) = delete;

    // ":N", or "" when the server did not start.
    const std::string &display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

} // namespace hg::test
