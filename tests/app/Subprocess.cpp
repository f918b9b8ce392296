// Child processes and private Xvfb displays for the app tests (see
// Subprocess.h). Test main thread only.
#include "Subprocess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace hg::test {

namespace {

long long NowMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::vector<std::string> ChangedEnvironment(const EnvChanges &env)
{
    std::vector<std::string> result;
    for (char **e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        if (env.find(name) == env.end())
            result.push_back(entry);
    }
    for (const auto &[name, value] : env)
        if (value)
            result.push_back(name + "=" + *value);
    return result;
}

std::vector<char *> Pointers(std::vector<std::string> &strings)
{
    std::vector<char *> p;
    for (std::string &s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

// Reads `fd` until EOF, until `stopAtNewline` sees a line end, or until the
// deadline; true when it ended in time.
bool ReadUntil(int fd, std::string &into, long long deadline, bool stopAtNewline)
{
    char buffer[4096];
    for (;;) {
        const long long left = deadline - NowMs();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        into.append(buffer, static_cast<std::size_t>(n));
        if (stopAtNewline && into.find('\n') != std::string::npos)
            return true;
    }
}

} // namespace

ProcessResult RunProcess(const std::string &path, const std::vector<std::string> &args, const EnvChanges &env,
                         int timeoutMs)
{
    ProcessResult result;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> argStrings = args;
    std::vector<std::string> envStrings = ChangedEnvironment(env);
    std::vector<char *> argv = Pointers(argStrings);
    std::vector<char *> envp = Pointers(envStrings);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return result;
    }
    const bool inTime = ReadUntil(out[0], result.out, NowMs() + timeoutMs, false);
    ::close(out[0]);
    if (!inTime)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (inTime && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

pid_t StartProcess(const std::string &path, const std::vector<std::string> &args, const EnvChanges &env)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> argStrings = args;
    std::vector<std::string> envStrings = ChangedEnvironment(env);
    std::vector<char *> argv = Pointers(argStrings);
    std::vector<char *> envp = Pointers(envStrings);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int WaitProcess(pid_t pid, int timeoutMs)
{
    if (pid <= 0)
        return -1;
    const long long deadline = NowMs() + timeoutMs;
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0 && errno != EINTR)
            return -1;
        if (NowMs() > deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return -1;
        }
        ::usleep(20000);
    }
}

void AddQtChildSanitizerOptions(EnvChanges &env)
{
    const auto extended = [](const char *name, const std::string &more) {
        const char *value = std::getenv(name);
        return std::string(value != nullptr ? value : "") + ":" + more;
    };
    // The program's GL driver is unloaded at exit before the leak check
    // runs, which leaves its blocks without a library name that a
    // suppression could match, so the child's leak check is off; our own
    // code's leaks are checked in-process by the window and display tests.
    // Every other check (use after free, overflows) stays on.
    env["ASAN_OPTIONS"] =
        extended("ASAN_OPTIONS", std::string("suppressions=") + HG_APP_ASAN_XCB_SUPP + ":detect_leaks=0");
    env["TSAN_OPTIONS"] = extended("TSAN_OPTIONS", "ignore_noninstrumented_modules=1");
}

std::map<std::string, std::string> KeyValues(const std::string &out)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos)
            values.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return values;
}

PrivateXServer::PrivateXServer(const std::vector<std::string> &screenArgs)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    // The write end must not be fd 3 itself, or the dup2 below would keep its
    // close-on-exec flag.
    if (fds[1] <= 3) {
        const int moved = ::fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
        ::close(fds[1]);
        fds[1] = moved;
    }
    if (fds[1] < 0) {
        ::close(fds[0]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The server writes its display number to fd 3.
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args{"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-noreset"};
    args.insert(args.end(), screenArgs.begin(), screenArgs.end());
    std::vector<char *> argv = Pointers(args);
    const int rc = ::posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        pid_ = -1;
        ::close(fds[0]);
        return;
    }
    std::string number;
    ReadUntil(fds[0], number, NowMs() + 20000, true);
    ::close(fds[0]);
    const std::size_t end = number.find('\n');
    if (end != std::string::npos && end > 0)
        display_ = ":" + number.substr(0, end);
}

PrivateXServer::~PrivateXServer()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace hg::test
