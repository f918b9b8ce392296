// The hushgauge program's command line, run as its own process against the
// private sound server of scripts/with-servers: known sines on the two pipe
// sources ("Hushgauge Test Input 1" and "2"), the readouts, the JSON levels
// and the exit codes. The feeders run on threads of their own.
#include "hg_test_signals.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <memory>
#include <numbers>
#include <thread>
#include <vector>

namespace {

// 750 Hz is bin 64 of the 4096-point spectrum at 48 kHz, and 64 samples a
// period: a sample lands on every crest (the peak is the amplitude exactly),
// and the Hann-windowed spectrum holds the amplitude in bin 64 and half of
// it in bins 63 and 65, so the held average is amplitude x 2 / 2048.
constexpr double kFrequency = 750.0;
constexpr double kLoud = 0.5, kQuiet = 0.05;

// Writes one signal into a pipe source's fifo, over and over, as fast as
// the server takes it, until destroyed. Waits on the fifo with poll, so
// stopping never hangs on a server that does not read.
class Feeder {
public:
    Feeder(int input, std::vector<float> frames)
        : frames_(std::move(frames))
    {
        fd_ = ::open(hg::signals::fifo_path(input).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0)
            thread_ = std::thread([this] { Run(); });
    }
    ~Feeder()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

private:
    void Run()
    {
        const auto *bytes = reinterpret_cast<const unsigned char *>(frames_.data());
        const std::size_t size = frames_.size() * sizeof(float);
        std::size_t at = 0;
        while (!stop_) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::write(fd_, bytes + at, size - at);
            if (n > 0)
                at = (at + static_cast<std::size_t>(n)) % size;
        }
    }
    std::vector<float> frames_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Outcome {
    int code = -1;
    QString out, err;
};

QString ReadAndRemove(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream text;
    text << f.rdbuf();
    std::remove(path.c_str());
    return QString::fromStdString(text.str());
}

// Runs the program with `args` and the test's environment, changed by
// `env` (name -> value; an empty value removes the name), with "." as
// decimal separator and no display. Started with posix_spawn (not fork:
// the test has threads of its own), its output caught in files.
Outcome Hushgauge(const QStringList &args, std::map<std::string, std::string> env = {})
{
    env.emplace("LC_ALL", "C.UTF-8");
    env.emplace("DISPLAY", "");
    env.emplace("WAYLAND_DISPLAY", "");
    std::vector<std::string> envText;
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env.count(entry.substr(0, entry.find('='))))
            envText.push_back(entry);
    }
    for (const auto &[name, value] : env)
        if (!value.empty())
            envText.push_back(name + "=" + value);
    std::vector<std::string> argText{HG_PROGRAM};
    for (const QString &a : args)
        argText.push_back(a.toStdString());
    std::vector<char *> argv, envp;
    for (std::string &a : argText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string &e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    char outPath[] = "/tmp/hg-cli-out.XXXXXX", errPath[] = "/tmp/hg-cli-err.XXXXXX";
    const int outFd = ::mkstemp(outPath), errFd = ::mkstemp(errPath);
    Outcome r;
    if (outFd < 0 || errFd < 0)
        return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, HG_PROGRAM, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outFd);
    ::close(errFd);
    if (rc == 0) {
        int status = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                status = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        r.code = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    r.out = ReadAndRemove(outPath);
    r.err = ReadAndRemove(errPath);
    return r;
}

// True when the server has a record stream on the source of that name:
// "list short sources" gives the source's index first on its line, and
// "list short source-outputs" the index of each stream's source second.
bool RecordsFrom(const std::string &sourceName)
{
    std::string sources, outputs;
    if (hg::signals::pactl("list short sources", &sources) != 0 ||
        hg::signals::pactl("list short source-outputs", &outputs) != 0)
        return false;
    std::string sourceIndex;
    std::istringstream sourceLines(sources);
    for (std::string line; std::getline(sourceLines, line);) {
        std::istringstream fields(line);
        std::string index, name;
        if (fields >> index >> name && name == sourceName)
            sourceIndex = index;
    }
    if (sourceIndex.empty())
        return false;
    std::istringstream outputLines(outputs);
    for (std::string line; std::getline(outputLines, line);) {
        std::istringstream fields(line);
        std::string index, source;
        if (fields >> index >> source && source == sourceIndex)
            return true;
    }
    return false;
}

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(hg::signals::pulse_dir().empty()) << "run under scripts/with-servers";
        ResetVolumes();
        // Input 1 always carries the loud sine and Input 2 the quiet one.
        hg::signals::drain_fifo(1);
        hg::signals::drain_fifo(2);
        loud_ = std::make_unique<Feeder>(1, hg::signals::sine(kFrequency, kLoud, 4800));
        quiet_ = std::make_unique<Feeder>(2, hg::signals::sine(kFrequency, kQuiet, 4800));
        ASSERT_TRUE(loud_->ok() && quiet_->ok());
        // The server may already have read a block that another test left in
        // a fifo and hand it to the next capture: a short capture of both
        // inputs takes it away before the measurements that count.
        Hushgauge({QStringLiteral("--measure"), QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("--seconds"),
                   QStringLiteral("0.2")});
    }
    void TearDown() override
    {
        ResetVolumes();
        loud_.reset();
        quiet_.reset();
        hg::signals::drain_fifo(1);
        hg::signals::drain_fifo(2);
    }
    std::unique_ptr<Feeder> loud_, quiet_;

    // Both pipe sources at 100 %, whatever a test (here or elsewhere) left.
    static void ResetVolumes()
    {
        for (const char *source : {"hg_in1", "hg_in2"})
            hg::signals::pactl(std::string("set-source-volume ") + source + " 100%");
    }
};

const QString kIn1 = QStringLiteral("Hushgauge Test Input 1");
const QString kIn2 = QStringLiteral("Hushgauge Test Input 2");

TEST_F(Program, ListsTheServersSourcesInTheWindowsOrder)
{
    const Outcome r = Hushgauge({QStringLiteral("--list-devices")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), "0\tHushgauge Test Input 1\n1\tHushgauge Test Input 2\n"
                                   "2\tMonitor of Hushgauge Test Output 1\n3\tMonitor of Hushgauge Test Output 2\n");
}

TEST_F(Program, MeasurePrintsTheWindowsReadoutsAndTheVerdict)
{
    // By name, and by number with the inputs swapped. The averages guard the
    // start of the held average: held from the very first tick, while a
    // spectrum block is still padded with zeros, they read several dB high
    // now and then (most often on Input 2, whose capture starts last).
    const Outcome byName = Hushgauge({QStringLiteral("--measure"), kIn1, kIn2, QStringLiteral("--seconds"), QStringLiteral("1")});
    EXPECT_EQ(byName.code, 0) << byName.err.toStdString();
    EXPECT_EQ(byName.out.toStdString(), "Peak: 50.0000% / -6.0 dB | Avg: -66.2 dB\n"
                                        "Peak: 5.0000% / -26.0 dB | Avg: -86.2 dB\n"
                                        "Better: Input 2\n");
    EXPECT_EQ(byName.err.toStdString(), "");

    const Outcome swapped = Hushgauge({QStringLiteral("--measure"), QStringLiteral("1"), QStringLiteral("0"),
                                   QStringLiteral("--seconds"), QStringLiteral("0.5")});
    EXPECT_EQ(swapped.code, 0) << swapped.err.toStdString();
    EXPECT_EQ(swapped.out.toStdString(), "Peak: 5.0000% / -26.0 dB | Avg: -86.2 dB\n"
                                         "Peak: 50.0000% / -6.0 dB | Avg: -66.2 dB\n"
                                         "Better: Input 1\n");
}

TEST_F(Program, JsonLevelsMatchTheSignals)
{
    const Outcome r = Hushgauge({QStringLiteral("--measure"), kIn1, QStringLiteral("1"), QStringLiteral("--json"),
                             QStringLiteral("--seconds"), QStringLiteral("1")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << r.out.toStdString();
    const QJsonObject root = doc.object();
    EXPECT_EQ(root.value(QStringLiteral("better")).toString(), QStringLiteral("Input 2"));
    EXPECT_EQ(root.value(QStringLiteral("seconds")).toDouble(), 1.0);
    const QJsonArray inputs = root.value(QStringLiteral("inputs")).toArray();
    ASSERT_EQ(inputs.size(), 2);
    // A-weighting at 750 Hz: the analogue curve gives -1.068 dB, which the
    // digital filter meets to well within 0.01 dB this far below Nyquist.
    const double weighting750 = -1.068;
    const struct {
        QString device;
        double amplitude;
        const char *readout;
    } expected[2] = {{kIn1, kLoud, "Peak: 50.0000% / -6.0 dB | Avg: -66.2 dB"},
                     {kIn2, kQuiet, "Peak: 5.0000% / -26.0 dB | Avg: -86.2 dB"}};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject o = inputs[i].toObject();
        const double rms = 20 * std::log10(expected[i].amplitude / std::sqrt(2.0));
        EXPECT_EQ(o.value(QStringLiteral("input")).toInt(), i + 1);
        EXPECT_EQ(o.value(QStringLiteral("device")).toString(), expected[i].device);
        EXPECT_EQ(o.value(QStringLiteral("device_number")).toInt(), i);
        EXPECT_EQ(o.value(QStringLiteral("readout")).toString().toStdString(), expected[i].readout);
        EXPECT_EQ(o.value(QStringLiteral("peak")).toObject().value(QStringLiteral("linear")).toDouble(),
                  static_cast<double>(static_cast<float>(expected[i].amplitude)));
        EXPECT_NEAR(o.value(QStringLiteral("average")).toObject().value(QStringLiteral("linear")).toDouble(),
                    expected[i].amplitude * 2 / 2048, expected[i].amplitude * 1e-4);
        EXPECT_NEAR(o.value(QStringLiteral("rms_dBFS")).toDouble(), rms, 0.1) << i;
        EXPECT_NEAR(o.value(QStringLiteral("rms_a_dBFS")).toDouble(), rms + weighting750, 0.1) << i;
        EXPECT_GT(o.value(QStringLiteral("samples")).toDouble(), 48000.0) << i;
        EXPECT_TRUE(o.value(QStringLiteral("complete")).toBool());
        const QJsonObject volume = o.value(QStringLiteral("volume")).toObject();
        EXPECT_EQ(volume.value(QStringLiteral("linear")).toDouble(), 1.0) << i;
        EXPECT_EQ(volume.value(QStringLiteral("percent")).toInt(), 100) << i;
    }
    EXPECT_TRUE(root.value(QStringLiteral("volume_warning")).isNull());
    EXPECT_EQ(r.err.toStdString(), "");
}

TEST_F(Program, UnequalCaptureVolumesAreWarnedOfOnStandardErrorAndInJson)
{
    // PulseAudio's 50 % is cubic: the samples are scaled by 0.125, which is
    // what the library reports and what the readout of Input 2 shows.
    ASSERT_EQ(hg::signals::pactl("set-source-volume hg_in2 50%"), 0);
    const std::string warning = "Warning: capture volumes differ (Input 1: 100 %, Input 2: 50 %); "
                                "a comparison is only fair at equal gain, with both at 100 %.";

    const Outcome plain = Hushgauge({QStringLiteral("--measure"), kIn1, kIn2, QStringLiteral("--seconds"), QStringLiteral("0.5")});
    EXPECT_EQ(plain.code, 0) << plain.err.toStdString();
    EXPECT_EQ(plain.err.toStdString(), warning + "\n");
    // The report itself keeps its three lines; the warning is not among them.
    const QStringList lines = plain.out.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4) << plain.out.toStdString();
    EXPECT_EQ(lines[0].toStdString(), "Peak: 50.0000% / -6.0 dB | Avg: -66.2 dB");
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Peak: 0.6250% / -44.1 dB | Avg: -104."))) << lines[1].toStdString();
    EXPECT_EQ(lines[2].toStdString(), "Better: Input 2");
    EXPECT_EQ(lines[3], QString());

    const Outcome json = Hushgauge({QStringLiteral("--measure"), kIn1, kIn2, QStringLiteral("--json"),
                                    QStringLiteral("--seconds"), QStringLiteral("0.5")});
    ASSERT_EQ(json.code, 0) << json.err.toStdString();
    EXPECT_EQ(json.err.toStdString(), warning + "\n");
    QJsonParseError error{};
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out.toStdString();
    EXPECT_EQ(root.value(QStringLiteral("volume_warning")).toString().toStdString(), warning);
    const QJsonArray inputs = root.value(QStringLiteral("inputs")).toArray();
    ASSERT_EQ(inputs.size(), 2);
    const struct {
        double linear;
        int percent;
    } expected[2] = {{1.0, 100}, {0.125, 50}};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject volume = inputs[i].toObject().value(QStringLiteral("volume")).toObject();
        EXPECT_EQ(volume.value(QStringLiteral("linear")).toDouble(), expected[i].linear) << i;
        EXPECT_EQ(volume.value(QStringLiteral("percent")).toInt(), expected[i].percent) << i;
    }
}

TEST_F(Program, ExitCodesForBadArgumentsAndDevices)
{
    for (const QStringList &args : {QStringList{QStringLiteral("--bogus")},
                                    QStringList{QStringLiteral("--measure"), QStringLiteral("0")},
                                    QStringList{QStringLiteral("--measure"), QStringLiteral("0"), QStringLiteral("1"),
                                                QStringLiteral("--seconds"), QStringLiteral("soon")}}) {
        const Outcome r = Hushgauge(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.out, QString()) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Try 'hushgauge --help'."))) << r.err.toStdString();
    }

    const Outcome unknown = Hushgauge({QStringLiteral("--measure"), kIn1, QStringLiteral("No Such Input"),
                                   QStringLiteral("--seconds"), QStringLiteral("0.2")});
    EXPECT_EQ(unknown.code, 3);
    EXPECT_EQ(unknown.out, QString());
    EXPECT_TRUE(unknown.err.startsWith(QStringLiteral("No capture device has the number or name: No Such Input\n")))
        << unknown.err.toStdString();

    const Outcome outOfRange = Hushgauge({QStringLiteral("--measure"), QStringLiteral("0"), QStringLiteral("4")});
    EXPECT_EQ(outOfRange.code, 3);

    // The same source twice: the library refuses the second initialisation,
    // and the text is the window's error box text.
    const Outcome twice = Hushgauge({QStringLiteral("--measure"), QStringLiteral("0"), kIn1});
    EXPECT_EQ(twice.code, 3);
    EXPECT_EQ(twice.out, QString());
    EXPECT_EQ(twice.err.toStdString(),
              "Error while initializing input device: Hushgauge Test Input 1\r\nBASS error code: 3\n");
}

TEST_F(Program, ASourceThatGoesAwayDuringTheMeasurementFailsIt)
{
    // A source of its own, so the shared ones stay for the other tests.
    const std::string fifo = hg::signals::pulse_dir() + "/cli_gone.fifo";
    const int module = hg::signals::load_module(
        "module-pipe-source source_name=hg_cli_gone file=" + fifo +
        " format=float32le rate=48000 channels=2 source_properties=device.description=Hushgauge-Vanishing-Input");
    ASSERT_GE(module, 0);
    // Removed once the server lists a record stream on it, so that the
    // program has surely found, opened and started it first; a slow start
    // (a sanitizer build under load) must not turn this into a failure to
    // start.
    std::thread remover([module] {
        for (int i = 0; i < 1500 && !RecordsFrom("hg_cli_gone"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // The server lists the stream a moment before the program hears
        // that it is ready; let that answer arrive.
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        hg::signals::unload_module(module);
    });
    const Outcome r = Hushgauge({QStringLiteral("--measure"), kIn1, QStringLiteral("Hushgauge-Vanishing-Input"),
                             QStringLiteral("--seconds"), QStringLiteral("12")});
    remover.join();
    EXPECT_EQ(r.code, 3) << r.out.toStdString() << r.err.toStdString();
    // What was measured is still printed.
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Peak: 50.0000% / -6.0 dB"))) << r.out.toStdString();
    EXPECT_EQ(r.err.toStdString(), "Input 2 stopped capturing during the measurement: Hushgauge-Vanishing-Input\n");
}

TEST(ProgramWithoutServer, ListsNothingAndSucceeds)
{
    const std::map<std::string, std::string> env{{"PULSE_SERVER", "unix:/nonexistent/hushgauge/native"}};
    const Outcome r = Hushgauge({QStringLiteral("--list-devices")}, env);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QString());

    // And a measurement then has no device to open.
    const Outcome m = Hushgauge({QStringLiteral("--measure"), QStringLiteral("0"), QStringLiteral("1")}, env);
    EXPECT_EQ(m.code, 3);
}

} // namespace
