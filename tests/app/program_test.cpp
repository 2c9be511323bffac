#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

const std::string kPrompt = "Press any key to continue . . .";

// The wait status of `pid`, or nothing if it is still running after `limit`.
std::optional<int> waitFor(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(10ms);
  }
  return status;
}

std::string readAll(int fd) {
  std::string text;
  std::array<char, 4096> chunk{};
  lseek(fd, 0, SEEK_SET);
  for (ssize_t n = 0; (n = read(fd, chunk.data(), chunk.size())) > 0;) {
    text.append(chunk.data(), static_cast<std::size_t>(n));
  }
  return text;
}

// The standard streams a program is started with; -1 leaves one closed.
struct Streams {
  int input;
  int output;
  int error;
};

// In a child that is about to become the program: the given streams, and the
// program with the given arguments. Returns only if the program cannot start.
void execProgram(Streams streams, const std::vector<std::string>& arguments) {
  for (const auto& [from, to] :
       {std::pair{streams.input, STDIN_FILENO}, std::pair{streams.output, STDOUT_FILENO},
        std::pair{streams.error, STDERR_FILENO}}) {
    static_cast<void>(from < 0 ? close(to) : dup2(from, to));
  }
  std::vector<std::string> words{MECH_HEAT_PROGRAM};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (auto& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  execv(argv.front(), argv.data());
}

// In a child: leads a new session whose controlling terminal is `terminal`,
// if it is one; its process group is then the terminal's foreground group.
void leadSession(int terminal) {
  setsid();
  if (isatty(terminal) != 0) {
    ioctl(terminal, TIOCSCTTY, 0);  // NOLINT(cppcoreguidelines-pro-type-vararg): POSIX's own form
  }
}

// Runs the test's child processes and reaps every one of them when the test
// ends, whatever happened: none outlives its test, and only positive ids of
// the test's own children are ever signalled.
class ProgramTest : public testing::Test {
 protected:
  void TearDown() override {
    for (const pid_t pid : children_) {
      if (waitpid(pid, nullptr, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
    for (const int fd : fds_) {
      close(fd);
    }
  }

  // Forks; the child runs `child`, which must not return.
  void spawn(const std::function<void()>& child, pid_t& pid) {
    pid = fork();
    ASSERT_GE(pid, 0) << "fork failed";
    if (pid == 0) {
      child();
      _exit(127);
    }
    children_.push_back(pid);
  }

  // Starts the program in a session of its own; a terminal given as input
  // becomes its controlling terminal. `prepare` runs just before it starts.
  void start(
      Streams streams, pid_t& pid, const std::vector<std::string>& arguments = {},
      const std::function<void()>& prepare = [] {}) {
    spawn(
        [&] {
          prepare();
          leadSession(streams.input);
          execProgram(streams, arguments);
        },
        pid);
  }

  // An unlinked file in the temporary folder, open for reading and writing.
  void scratchFile(int& fd) {
    std::string path = (std::filesystem::temp_directory_path() / "mech-heat-test-XXXXXX").string();
    fd = mkostemp(path.data(), O_CLOEXEC);
    ASSERT_GE(fd, 0) << "mkostemp failed for " << path;
    unlink(path.c_str());
    fds_.push_back(fd);
  }

  // The program ends by itself, with exit status 0, within a few seconds.
  static void expectExitsCleanly(pid_t pid, std::string_view context) {
    const auto status = waitFor(pid, 10s);
    ASSERT_TRUE(status.has_value()) << "the program waited: " << context;
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << context;
  }

  std::vector<pid_t> children_;
  std::vector<int> fds_;
};

// Kills every process of the session that `leader` leads (a shell's jobs
// too), then the leader.
void killSession(pid_t leader) {
  for (const auto& entry : std::filesystem::directory_iterator{"/proc"}) {
    const std::string name = entry.path().filename().string();
    pid_t pid = 0;
    std::istringstream{name} >> pid;
    if (std::to_string(pid) == name && pid > 0 && pid != leader && getsid(pid) == leader) {
      kill(pid, SIGKILL);
    }
  }
  kill(leader, SIGKILL);
}

// Ends with the final status report's empty line, after ten turns.
void expectWholeRun(const std::string& out) {
  std::size_t turns = 0;
  for (auto at = out.find("Adding heat: "); at != std::string::npos;
       at = out.find("Adding heat: ", at + 1)) {
    ++turns;
  }
  EXPECT_EQ(turns, 10U);
  EXPECT_TRUE(out.starts_with("Mech Status Report\n")) << out;
  const auto finalReport = out.rfind("Mech Status Report\n");
  ASSERT_NE(finalReport, 0U);
  EXPECT_NE(out.find("\nCritical Temperature? ", finalReport), std::string::npos);
  EXPECT_TRUE(out.ends_with("\n\n")) << out;
}

using Program = ProgramTest;

TEST_F(Program, AnswersItsCommandLine) {
  struct Outcome {
    int status;
    std::string out;
    std::string err;
  };
  const auto runWith = [&](const std::vector<std::string>& arguments) {
    const int devNull =
        open("/dev/null", O_RDONLY | O_CLOEXEC);  // NOLINT(cppcoreguidelines-pro-type-vararg)
    fds_.push_back(devNull);
    int out = -1;
    int err = -1;
    pid_t pid = -1;
    scratchFile(out);
    scratchFile(err);
    start({devNull, out, err}, pid, arguments);
    const auto status = waitFor(pid, 10s);
    return Outcome{status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1, readAll(out),
                   readAll(err)};
  };

  const auto plain = runWith({});
  EXPECT_EQ(plain.status, 0);
  expectWholeRun(plain.out);
  EXPECT_EQ(plain.err, "");

  const auto seeded = runWith({"--seed", "42"});
  EXPECT_EQ(seeded.status, 0);
  EXPECT_EQ(runWith({"--seed=42"}).out, seeded.out);
  EXPECT_NE(runWith({"--seed", "43"}).out, seeded.out);

  // A chart instead of the summary, and a chart that cannot be written.
  const auto chart = runWith({"--runs", "3", "--svg", "-"});
  EXPECT_EQ(chart.status, 0);
  EXPECT_TRUE(chart.out.starts_with("<?xml") && chart.out.ends_with("</svg>\n")) << chart.out;
  const auto narratedChart = runWith({"--seed", "3", "--svg", "-"});
  EXPECT_TRUE(narratedChart.out.starts_with("<?xml")) << narratedChart.out;
  const auto folder = std::filesystem::temp_directory_path();
  // The second chart takes the place of the first.
  const auto file = folder / ("mech-heat-chart-" + std::to_string(getpid()) + ".svg");
  for (const std::vector<std::string>& drawing :
       {std::vector<std::string>{"--runs", "3"}, {"--seed", "3", "--turns", "4"}}) {
    std::vector<std::string> arguments = drawing;
    arguments.insert(arguments.end(), {"--svg", file.string()});
    const auto drawn = runWith(arguments);
    EXPECT_EQ(drawn.status, 0);
    EXPECT_TRUE(std::filesystem::file_size(file) > 1000);
  }
  std::filesystem::remove(file);
  const auto narratedLost = runWith({"--seed", "3", "--svg", "/nonexistent/chart.svg"});
  EXPECT_EQ(narratedLost.status, 1);
  EXPECT_TRUE(narratedLost.out.ends_with("\n\n")) << narratedLost.out;
  // A batch's defaults: a sweep plays 100000 runs, a margin as many as it takes.
  EXPECT_TRUE(runWith({"--heatsinks", "8,9", "--seed", "5"})
                  .out.starts_with("2 designs, each 100000 runs of 10 turns"));
  EXPECT_NE(runWith({"--margin", "50%", "--seed", "5"}).out.find("every interval within it after "),
            std::string::npos);
  const auto lost = runWith({"--runs", "3", "--seed", "1", "--svg", "/nonexistent/chart.svg"});
  EXPECT_EQ(lost.status, 1);
  EXPECT_TRUE(lost.out.starts_with("3 runs of 10 turns, seed 1:")) << lost.out;
  EXPECT_EQ(lost.err,
            "mech-heat: cannot write /nonexistent/chart.svg: No such file or directory\n");

  // The command a batch names for its hottest run narrates that run.
  const auto batch = runWith({"--runs", "500", "--seed", "5", "--turns", "12", "--double"});
  const auto named = batch.out.find("(mech-heat ");
  ASSERT_NE(named, std::string::npos) << batch.out;
  std::istringstream command{batch.out.substr(named + 11, batch.out.find(')', named) - named - 11)};
  const std::vector<std::string> replay{std::istream_iterator<std::string>{command}, {}};
  const auto finalHeat = std::stod(batch.out.substr(batch.out.find(", final heat ") + 13));
  const auto replayed = runWith(replay);
  const auto total = replayed.out.rfind("Total Heat: ");
  ASSERT_NE(total, std::string::npos) << replayed.out;
  EXPECT_NEAR(std::stod(replayed.out.substr(total + 12)), finalHeat, 0.05);

  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string outStart;
    std::string err;
  };
  const std::string hint = "\nTry 'mech-heat --help'.\n";
  const std::vector<Case> cases{
      {{"--help"}, 0, "Usage: mech-heat [OPTION]...\n", ""},
      {{"--version"}, 0, "mech-heat 1.0.0\n", ""},
      {{"--runs", "3", "--seed", "5", "--json"},
       0,
       "{\"schemaVersion\": 4, \"runs\": 3, \"turns\": 10, \"seed\": 5,\n",
       ""},
      {{"--runs", "3", "--seed", "5", "--csv"}, 0, "heatsinks,heatsinkType,coolant,", ""},
      {{"--heatsinks", "8,9", "--runs", "3", "--seed", "5"},
       0,
       "2 designs, each 3 runs of 10 turns on the same runs, seed 5\n",
       ""},
      {{"--csv", "--json", "--runs", "3"},
       2,
       "",
       "mech-heat: options '--csv' and '--json' do not go together" + hint},
      {{"--turns", "12x"},
       2,
       "",
       "mech-heat: invalid value '12x' for --turns: expected a whole number from 1 to 1000000" +
           hint},
      {{"--bogus"}, 2, "", "mech-heat: unknown option '--bogus'" + hint},
      {{"--print-rules"}, 0, "# The rules of mech-heat", ""},
      {{"--rules", "/nonexistent/rules.toml"},
       2,
       "",
       "mech-heat: cannot read rules /nonexistent/rules.toml: No such file or directory" + hint},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    const auto outcome = runWith(c.arguments);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_TRUE(outcome.out.starts_with(c.outStart) && (c.status == 0 || outcome.out.empty()))
        << outcome.out;
    EXPECT_EQ(outcome.err, c.err);
  }

  // The rules printed are the game's: a batch by them plays as one without.
  // A run, narrated too, plays by --rule.
  const auto rules = folder / ("mech-heat-rules-" + std::to_string(getpid()) + ".toml");
  std::ofstream{rules} << runWith({"--print-rules"}).out;
  const auto byFile = runWith({"--rules", rules.string(), "--runs", "2000", "--seed", "3"});
  std::filesystem::remove(rules);
  EXPECT_EQ(byFile.out, runWith({"--runs", "2000", "--seed", "3"}).out);
  const auto hot = runWith({"--seed", "3", "--run", "5", "--rule", "heat.values=77", "--rule",
                            "heat.weights=1", "--turns", "3"});
  EXPECT_NE(hot.out.find("Adding heat: 77\n"), std::string::npos) << hot.out;

  // A batch refuses an engine this processor does not run, before it plays.
  setenv("MECH_HEAT_ENGINE", "avx1024", 1);
  const auto refused = runWith({"--runs", "3"});
  unsetenv("MECH_HEAT_ENGINE");
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(refused.out.empty()) << refused.out;
  EXPECT_TRUE(refused.err.starts_with("mech-heat: MECH_HEAT_ENGINE=avx1024 names no engine"))
      << refused.err;
}

TEST_F(Program, FailsWhenItsOutputCannotBeWritten) {
  struct Failure {
    const char* label;
    std::function<int()> openOutput;  // -1: standard output closed
    const char* reason;
    std::vector<std::string> arguments;
  };
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): POSIX's own form
  const auto fullDevice = [] { return open("/dev/full", O_WRONLY | O_CLOEXEC); };
  const auto closedPipe = [] {
    std::array<int, 2> ends{-1, -1};
    static_cast<void>(pipe2(ends.data(), O_CLOEXEC));
    close(ends[0]);
    return ends[1];
  };
  // A chart file that is there already, which the output's failure does not spoil.
  const auto chart = std::filesystem::temp_directory_path() /
                     ("mech-heat-kept-" + std::to_string(getpid()) + ".svg");
  std::ofstream{chart} << "old chart";
  const std::vector<Failure> failures{
      {"a full device", fullDevice, "No space left on device", {}},
      {"closed standard output", [] { return -1; }, "Bad file descriptor", {}},
      {"a closed pipe, SIGPIPE ignored", closedPipe, "Broken pipe", {}},
      {"a batch's summary", fullDevice, "No space left on device", {"--runs", "2"}},
      {"a batch's chart", fullDevice, "No space left on device", {"--runs", "2", "--svg", "-"}},
      {"a narrated run's chart", closedPipe, "Broken pipe", {"--seed", "3", "--svg", "-"}},
      {"closed standard output, a chart in a file",
       [] { return -1; },
       "Bad file descriptor",
       {"--seed", "3", "--svg", chart.string()}},
      {"a closed pipe, a chart in a file",
       closedPipe,
       "Broken pipe",
       {"--runs", "2", "--svg", chart.string()}},
      {"help", [] { return -1; }, "Bad file descriptor", {"--help"}},
      {"the rules", [] { return -1; }, "Bad file descriptor", {"--print-rules"}},
  };
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.label);
    const int output = failure.openOutput();
    fds_.push_back(output);
    int err = -1;
    ASSERT_NO_FATAL_FAILURE(scratchFile(err));
    pid_t pid = -1;
    ASSERT_NO_FATAL_FAILURE(start({STDIN_FILENO, output, err}, pid, failure.arguments, [] {
      static_cast<void>(std::signal(SIGPIPE, SIG_IGN));  // kept through exec
    }));
    const auto status = waitFor(pid, 10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1);
    EXPECT_EQ(readAll(err),
              std::string{"mech-heat: cannot write the output: "} + failure.reason + "\n");
  }
  EXPECT_GT(std::filesystem::file_size(chart), 1000U);
  std::filesystem::remove(chart);
}

TEST_F(Program, WritesAChartAfterTheOutputIntoTheFileStandardOutputWritesTo) {
  const auto file = std::filesystem::temp_directory_path() /
                    ("mech-heat-output-" + std::to_string(getpid()) + ".txt");
  // Named as itself, or as /dev/stdout names it.
  for (const bool named : {true, false}) {
    SCOPED_TRACE(named);
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): POSIX's own form
    const int out = open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    fds_.push_back(out);
    int err = -1;
    ASSERT_NO_FATAL_FAILURE(scratchFile(err));
    pid_t pid = -1;
    const std::string chart = named ? file.string() : "/proc/self/fd/1";
    ASSERT_NO_FATAL_FAILURE(
        start({STDIN_FILENO, out, err}, pid, {"--runs", "3", "--seed", "1", "--svg", chart}));
    ASSERT_NO_FATAL_FAILURE(expectExitsCleanly(pid, chart));
    EXPECT_EQ(readAll(err), "");
    const std::string output = readAll(out);
    EXPECT_TRUE(output.starts_with("3 runs of 10 turns, seed 1:") &&
                output.find("\n<?xml") != std::string::npos && output.ends_with("</svg>\n"))
        << output;
  }
  std::filesystem::remove(file);
}

// A program started on a fresh pseudo-terminal, which this test can type into.
class OnTerminal : public ProgramTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&terminal_, &programSide_, nullptr, nullptr, nullptr), 0);
    fds_.insert(fds_.end(), {terminal_, programSide_});
    // Only the program's standard streams lead to the terminal, so that it
    // hangs up when the test closes its side.
    for (const int fd : {terminal_, programSide_}) {
      ASSERT_EQ(fcntl(fd, F_SETFD, FD_CLOEXEC), 0);  // NOLINT(cppcoreguidelines-pro-type-vararg)
    }
    ASSERT_EQ(tcgetattr(programSide_, &modeBefore_), 0);
    ASSERT_NO_FATAL_FAILURE(scratchFile(err_));
  }

  // Starts the program as a job of a shell on the terminal, in the foreground
  // or in the background. The shell is the test's child; it reports each stop
  // of the program and then moves it to the foreground ('f') or the
  // background ('b'), as the test tells it, and continues it. Unlike a program
  // that leads its own session, a job with a parent in its session is really
  // stopped by Ctrl-Z.
  void startAsJob(
      bool inForeground, const std::function<void()>& prepare = [] {},
      const std::vector<std::string>& arguments = {}) {
    std::array<int, 2> reports{};
    std::array<int, 2> orders{};
    ASSERT_EQ(pipe2(reports.data(), O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(orders.data(), O_CLOEXEC), 0);
    fds_.insert(fds_.end(), {reports[0], reports[1], orders[0], orders[1]});
    fromShell_ = reports[0];
    toShell_ = orders[1];
    ASSERT_NO_FATAL_FAILURE(
        spawn([&] { actAsShell(inForeground, prepare, arguments, reports[1], orders[0]); }, pid_));
  }

  [[noreturn]] void actAsShell(bool inForeground, const std::function<void()>& prepare,
                               const std::vector<std::string>& arguments, int reports,
                               int orders) const {
    leadSession(programSide_);
    // A shell sets the foreground group while it is in the background itself.
    static_cast<void>(std::signal(SIGTTOU, SIG_IGN));
    const pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);
      if (inForeground) {
        tcsetpgrp(programSide_, getpid());
      }
      static_cast<void>(std::signal(SIGTTOU, SIG_DFL));
      prepare();
      // A batch shows its progress on the terminal, a narrated run its errors in a file.
      execProgram({programSide_, programSide_, arguments.empty() ? err_ : programSide_}, arguments);
      _exit(127);
    }
    if (job < 0) {
      _exit(126);
    }
    setpgid(job, job);
    int status = 0;
    while (waitpid(job, &status, WUNTRACED) == job && WIFSTOPPED(status)) {
      char order = 0;
      if (write(reports, "S", 1) != 1 || read(orders, &order, 1) != 1) {
        break;
      }
      tcsetpgrp(programSide_, order == 'f' ? job : getpgrp());
      kill(-job, SIGCONT);
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  }

  // The shell's report that the program stopped.
  void awaitStop() const {
    pollfd ready{fromShell_, POLLIN, 0};
    ASSERT_EQ(poll(&ready, 1, 10000), 1) << "the program did not stop";
    char report = 0;
    ASSERT_EQ(read(fromShell_, &report, 1), 1);
  }

  void tellShell(char order) const { ASSERT_EQ(write(toShell_, &order, 1), 1); }

  // Reads the terminal until the program prompts and is waiting for a key.
  void awaitPrompt() {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (screen_.find(kPrompt) == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      readScreen(100ms);
    }
    ASSERT_NE(screen_.find(kPrompt), std::string::npos) << screen_;
    ASSERT_NO_FATAL_FAILURE(awaitKeyMode());
    ASSERT_FALSE(waitFor(pid_, 0ms).has_value()) << "the program did not wait";
  }

  void startAndAwaitPrompt(const std::function<void()>& prepare = [] {}) {
    ASSERT_NO_FATAL_FAILURE(start({programSide_, programSide_, err_}, pid_, {}, prepare));
    ASSERT_NO_FATAL_FAILURE(awaitPrompt());
  }

  void readScreen(std::chrono::milliseconds limit) {
    pollfd ready{terminal_, POLLIN, 0};
    std::array<char, 4096> chunk{};
    while (poll(&ready, 1, static_cast<int>(limit.count())) > 0) {
      const ssize_t n = read(terminal_, chunk.data(), chunk.size());
      if (n <= 0) {
        return;
      }
      screen_.append(chunk.data(), static_cast<std::size_t>(n));
    }
  }

  // Reads what the terminal shows until `deadline`, however often it changes.
  void readScreenUntil(std::chrono::steady_clock::time_point deadline) {
    pollfd ready{terminal_, POLLIN, 0};
    std::array<char, 4096> chunk{};
    for (auto now = std::chrono::steady_clock::now(); now < deadline;
         now = std::chrono::steady_clock::now()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
      if (poll(&ready, 1, static_cast<int>(left.count())) > 0) {
        const ssize_t n = read(terminal_, chunk.data(), chunk.size());
        if (n <= 0) {
          return;
        }
        screen_.append(chunk.data(), static_cast<std::size_t>(n));
      }
    }
  }

  [[nodiscard]] termios mode() const {
    termios now{};
    tcgetattr(programSide_, &now);
    return now;
  }

  // The terminal hands over single keys without echo, within a few seconds.
  void awaitKeyMode() const {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while ((mode().c_lflag & static_cast<tcflag_t>(ICANON | ECHO)) != 0) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no one-key mode";
      std::this_thread::sleep_for(10ms);
    }
  }

  void expectModeRestored() const {
    const termios modeAfter = mode();
    EXPECT_EQ(modeAfter.c_lflag, modeBefore_.c_lflag);
    EXPECT_EQ(modeAfter.c_cc[VMIN], modeBefore_.c_cc[VMIN]);
  }

  // The program ended after the key, which was not echoed, and left the
  // terminal as it found it.
  void expectEndedByTheKey(std::string_view context) {
    ASSERT_NO_FATAL_FAILURE(expectExitsCleanly(pid_, context));
    readScreen(100ms);
    EXPECT_TRUE(screen_.ends_with(kPrompt + "\r\n")) << "the key was echoed: " << screen_;
    expectModeRestored();
  }

  void typeKey(std::string_view keys) const {
    ASSERT_EQ(write(terminal_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  int terminal_ = -1;
  int programSide_ = -1;
  int err_ = -1;
  int fromShell_ = -1;
  int toShell_ = -1;
  termios modeBefore_{};
  pid_t pid_ = -1;
  std::string screen_;
};

TEST_F(OnTerminal, WaitsForOneKeyThenExits) {
  ASSERT_NO_FATAL_FAILURE(startAndAwaitPrompt());
  // An arrow key sends three bytes: one ends the wait, the rest is discarded.
  ASSERT_NO_FATAL_FAILURE(typeKey("\x1b[A"));
  ASSERT_NO_FATAL_FAILURE(expectEndedByTheKey("after a key"));
  EXPECT_EQ(readAll(err_), "");
  // What the shell reads next is what is typed next, not the rest of the key.
  ASSERT_NO_FATAL_FAILURE(typeKey("\n"));
  std::array<char, 16> next{};
  EXPECT_EQ(read(programSide_, next.data(), next.size()), 1);
}

TEST_F(OnTerminal, RestoresTheTerminalWhenEndedDuringTheWait) {
  struct Ending {
    const char* label;
    bool typeCtrlC;
    int signal;
  };
  for (const Ending ending : {Ending{"Ctrl-C", true, SIGINT}, Ending{"kill", false, SIGTERM}}) {
    SCOPED_TRACE(ending.label);
    screen_.clear();
    ASSERT_NO_FATAL_FAILURE(startAndAwaitPrompt());
    if (ending.typeCtrlC) {
      ASSERT_NO_FATAL_FAILURE(typeKey("\x03"));
    } else {
      kill(pid_, ending.signal);
    }
    const auto status = waitFor(pid_, 10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == ending.signal);
    expectModeRestored();
  }
}

TEST_F(OnTerminal, KeepsIgnoringCtrlCWhenStartedSo) {
  // Ignored signals are kept through exec, as nohup relies on.
  ASSERT_NO_FATAL_FAILURE(
      startAndAwaitPrompt([] { static_cast<void>(std::signal(SIGINT, SIG_IGN)); }));
  ASSERT_NO_FATAL_FAILURE(typeKey("\x03"));
  ASSERT_FALSE(waitFor(pid_, 200ms).has_value()) << "Ctrl-C ended the wait";
  ASSERT_NO_FATAL_FAILURE(typeKey("k"));
  ASSERT_NO_FATAL_FAILURE(expectExitsCleanly(pid_, "after a key, Ctrl-C ignored"));
  expectModeRestored();
}

TEST_F(OnTerminal, FailsWhenTheTerminalHangsUpDuringTheWait) {
  ASSERT_NO_FATAL_FAILURE(
      startAndAwaitPrompt([] { static_cast<void>(std::signal(SIGHUP, SIG_IGN)); }));
  std::erase(fds_, terminal_);
  close(terminal_);  // as when the terminal's window closes under nohup
  terminal_ = -1;
  const auto status = waitFor(pid_, 10s);
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1);
  EXPECT_EQ(readAll(err_), "mech-heat: cannot write the output: Input/output error\n");
}

TEST_F(OnTerminal, DoesNotWaitWhenToldNotToOrOutputIsRedirectedOrInTheBackground) {
  pid_t toldNotTo = -1;
  ASSERT_NO_FATAL_FAILURE(start({programSide_, programSide_, err_}, toldNotTo, {"--no-wait"}));
  ASSERT_NO_FATAL_FAILURE(expectExitsCleanly(toldNotTo, "--no-wait"));
  // A batch, on a terminal that does not tell its width and on one that does.
  for (const int columns : {0, 80}) {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    ASSERT_EQ(ioctl(terminal_, TIOCSWINSZ, &size), 0);  // NOLINT(cppcoreguidelines-pro-type-vararg)
    pid_t batch = -1;
    ASSERT_NO_FATAL_FAILURE(
        start({programSide_, programSide_, programSide_}, batch, {"--runs", "9"}));
    ASSERT_NO_FATAL_FAILURE(expectExitsCleanly(batch, "a batch"));
  }

  int out = -1;
  ASSERT_NO_FATAL_FAILURE(scratchFile(out));
  pid_t redirected = -1;
  ASSERT_NO_FATAL_FAILURE(start({programSide_, out, err_}, redirected));
  ASSERT_NO_FATAL_FAILURE(expectExitsCleanly(redirected, "output in a file"));
  expectWholeRun(readAll(out));

  ASSERT_NO_FATAL_FAILURE(startAsJob(false));
  ASSERT_NO_FATAL_FAILURE(expectExitsCleanly(pid_, "a background job"));
  readScreen(100ms);
  EXPECT_EQ(screen_.find(kPrompt), std::string::npos);
  expectModeRestored();
  EXPECT_EQ(readAll(err_), "");
}

TEST_F(OnTerminal, TakesUpTheWaitAgainAfterCtrlZ) {
  ASSERT_NO_FATAL_FAILURE(startAsJob(true));
  ASSERT_NO_FATAL_FAILURE(awaitPrompt());
  ASSERT_NO_FATAL_FAILURE(typeKey("\x1a"));  // Ctrl-Z
  ASSERT_NO_FATAL_FAILURE(awaitStop());
  expectModeRestored();
  // Continued in the background, it leaves the terminal to the shell and is
  // stopped again as soon as it reads.
  ASSERT_NO_FATAL_FAILURE(tellShell('b'));
  ASSERT_NO_FATAL_FAILURE(awaitStop());
  expectModeRestored();
  ASSERT_NO_FATAL_FAILURE(tellShell('f'));
  ASSERT_NO_FATAL_FAILURE(awaitKeyMode());
  ASSERT_NO_FATAL_FAILURE(typeKey("k"));
  ASSERT_NO_FATAL_FAILURE(expectEndedByTheKey("after fg and a key"));
  // Asked again in the foreground, not while it was in the background.
  const auto second = screen_.find(kPrompt, screen_.find(kPrompt) + 1);
  ASSERT_NE(second, std::string::npos) << screen_;
  EXPECT_EQ(screen_.find(kPrompt, second + 1), std::string::npos) << screen_;
}

TEST_F(OnTerminal, ShowsABatchsProgressOnlyOnItsTerminalInTheForeground) {
  // A batch far too long to finish, ended after its progress is due.
  const std::vector<std::string> endless{"--runs", "1000000000000", "--seed", "1"};
  struct Case {
    const char* label;
    unsigned short columns;
    bool errorsInFile;
    bool inBackground;
    bool shown;
  };
  const Case cases[] = {
      {"a wide terminal", 100, false, false, true},
      {"a narrow terminal", 12, false, false, true},
      {"errors in a file", 100, true, false, false},
      {"a background job", 100, false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    screen_.clear();
    winsize size{};
    size.ws_row = 24;
    size.ws_col = c.columns;
    ASSERT_EQ(ioctl(terminal_, TIOCSWINSZ, &size), 0);  // NOLINT(cppcoreguidelines-pro-type-vararg)
    int out = -1;
    ASSERT_NO_FATAL_FAILURE(scratchFile(out));
    if (c.inBackground) {
      ASSERT_NO_FATAL_FAILURE(startAsJob(
          false, [] {}, endless));
    } else {
      // Standard output on the terminal too, so that only standard error decides.
      const int errors = c.errorsInFile ? err_ : programSide_;
      ASSERT_NO_FATAL_FAILURE(start({programSide_, programSide_, errors}, pid_, endless));
    }
    readScreenUntil(std::chrono::steady_clock::now() + 1800ms);
    ASSERT_FALSE(waitFor(pid_, 0ms).has_value()) << "the batch ended";
    killSession(pid_);
    waitFor(pid_, 10s);
    EXPECT_EQ(readAll(err_), "");
    const auto line = screen_.rfind('\r');
    ASSERT_EQ(line != std::string::npos, c.shown) << screen_;
    if (c.shown) {
      const std::string last = screen_.substr(line + 1);
      EXPECT_NE(last.find(" %"), std::string::npos) << screen_;
      EXPECT_LT(last.size(), c.columns) << screen_;
      EXPECT_EQ(screen_.find('\n'), std::string::npos) << screen_;
    }
  }
}

TEST_F(OnTerminal, EndsTheWaitWhenItCannotReadInTheBackground) {
  // Ignoring SIGTTIN turns a read from the background into a read error.
  ASSERT_NO_FATAL_FAILURE(
      startAsJob(true, [] { static_cast<void>(std::signal(SIGTTIN, SIG_IGN)); }));
  ASSERT_NO_FATAL_FAILURE(awaitPrompt());
  ASSERT_NO_FATAL_FAILURE(typeKey("\x1a"));
  ASSERT_NO_FATAL_FAILURE(awaitStop());
  ASSERT_NO_FATAL_FAILURE(tellShell('b'));
  ASSERT_NO_FATAL_FAILURE(expectExitsCleanly(pid_, "continued in the background"));
  expectModeRestored();
}

}  // namespace
