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
#include <optional>
#include <string>
#include <string_view>
#include <thread>

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

int scratchFile() {
  std::string path = "/tmp/mech-heat-test-XXXXXX";
  const int fd = mkstemp(path.data());
  unlink(path.c_str());
  return fd;
}

// Starts the program with the given standard streams; a terminal given as
// input becomes the program's controlling terminal.
pid_t start(int input, int output, int error, bool ignoringCtrlC = false) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (ignoringCtrlC) {
      static_cast<void>(std::signal(SIGINT, SIG_IGN));  // kept through exec, as nohup does
    }
    setsid();
    if (isatty(input) != 0) {
      ioctl(input, TIOCSCTTY, 0);  // NOLINT(cppcoreguidelines-pro-type-vararg): POSIX's own form
    }
    dup2(input, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(error, STDERR_FILENO);
    std::string program = MECH_HEAT_PROGRAM;
    const std::array<char*, 2> arguments{program.data(), nullptr};
    execv(program.c_str(), arguments.data());
    _exit(127);
  }
  return pid;
}

// The program ends by itself, with exit status 0, within a few seconds.
void expectExitsCleanly(pid_t pid, std::string_view context) {
  const auto status = waitFor(pid, 10s);
  ASSERT_TRUE(status.has_value()) << "the program waited: " << context;
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << context;
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

TEST(Program, RunsToTheEndWithoutWaitingWhenNobodyIsThere) {
  const int devNull = open("/dev/null", O_RDONLY);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  const int out = scratchFile();
  const int err = scratchFile();
  expectExitsCleanly(start(devNull, out, err), "input from /dev/null");
  expectWholeRun(readAll(out));
  EXPECT_EQ(readAll(err), "");
  close(devNull);
  close(out);
  close(err);
}

// A program started on a fresh pseudo-terminal, which this test can type into.
class OnTerminal : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&terminal_, &programSide_, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(tcgetattr(programSide_, &modeBefore_), 0);
    err_ = scratchFile();
  }

  void TearDown() override {
    close(terminal_);
    close(programSide_);
    close(err_);
  }

  // Starts the program and reads its terminal until it prompts.
  void startAndAwaitPrompt(bool ignoringCtrlC = false) {
    pid_ = start(programSide_, programSide_, err_, ignoringCtrlC);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (screen_.find(kPrompt) == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      readScreen(100ms);
    }
    ASSERT_NE(screen_.find(kPrompt), std::string::npos) << screen_;
    std::this_thread::sleep_for(200ms);
    ASSERT_FALSE(waitFor(pid_, 0ms).has_value()) << "the program did not wait";
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

  void expectModeRestored() const {
    termios modeAfter{};
    ASSERT_EQ(tcgetattr(programSide_, &modeAfter), 0);
    EXPECT_EQ(modeAfter.c_lflag, modeBefore_.c_lflag);
    EXPECT_EQ(modeAfter.c_cc[VMIN], modeBefore_.c_cc[VMIN]);
  }

  int terminal_ = -1;
  int programSide_ = -1;
  int err_ = -1;
  termios modeBefore_{};
  pid_t pid_ = -1;
  std::string screen_;
};

TEST_F(OnTerminal, WaitsForOneKeyThenExits) {
  startAndAwaitPrompt();
  termios modeWhileWaiting{};
  tcgetattr(programSide_, &modeWhileWaiting);
  EXPECT_EQ(modeWhileWaiting.c_lflag & static_cast<tcflag_t>(ICANON | ECHO), 0U);

  ASSERT_EQ(write(terminal_, "k", 1), 1);
  expectExitsCleanly(pid_, "after a key");
  readScreen(100ms);
  EXPECT_TRUE(screen_.ends_with(kPrompt + "\r\n")) << "the key was echoed: " << screen_;
  expectModeRestored();
  EXPECT_EQ(readAll(err_), "");
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
    startAndAwaitPrompt();
    if (ending.typeCtrlC) {
      ASSERT_EQ(write(terminal_, "\x03", 1), 1);
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
  startAndAwaitPrompt(true);
  ASSERT_EQ(write(terminal_, "\x03", 1), 1);
  ASSERT_FALSE(waitFor(pid_, 200ms).has_value()) << "Ctrl-C ended the wait";
  ASSERT_EQ(write(terminal_, "k", 1), 1);
  expectExitsCleanly(pid_, "after a key, Ctrl-C ignored");
  expectModeRestored();
}

TEST_F(OnTerminal, DoesNotWaitWhenOutputIsRedirected) {
  const int out = scratchFile();
  expectExitsCleanly(start(programSide_, out, err_), "output in a file");
  expectWholeRun(readAll(out));
  close(out);
}

}  // namespace
