#include "wait_for_key.hpp"

#ifdef _WIN32

#include <cstdlib>

void waitForKeyPress() {
  // A fixed command; the user's key press, not its result, is what counts.
  static_cast<void>(std::system("pause"));  // NOLINT(cert-env33-c)
}

#else

#include <termios.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <iostream>

namespace {

// Signals that may end the program while it waits. Each restores the
// terminal before it takes its usual effect.
constexpr std::array kEndingSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The terminal's mode before the wait, for the signal handler to restore.
termios savedMode{};

// The terminal tests end the program through this handler and check that the
// mode comes back, but the process it runs in dies of the re-raised signal
// before gcov can write its counts, so coverage cannot see it run.
// GCOVR_EXCL_START
extern "C" void restoreTerminalAndResignal(int signalNumber) {
  // Nothing more can be done from here if these fail.
  static_cast<void>(tcsetattr(STDIN_FILENO, TCSANOW, &savedMode));
  static_cast<void>(std::signal(signalNumber, SIG_DFL));
  static_cast<void>(std::raise(signalNumber));
}
// GCOVR_EXCL_STOP

// While alive, the terminal hands over each key at once without echoing it,
// and an ending signal restores the terminal's mode first.
class SingleKeyMode {
 public:
  SingleKeyMode() {
    struct sigaction action {};
    action.sa_handler = restoreTerminalAndResignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
      sigaction(kEndingSignals.at(i), nullptr, &previousActions_.at(i));
      // A signal the program was started to ignore stays ignored.
      if (previousActions_.at(i).sa_handler != SIG_IGN) {
        sigaction(kEndingSignals.at(i), &action, nullptr);
      }
    }
    termios keyMode = savedMode;
    keyMode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keyMode.c_cc[VMIN] = 1;
    keyMode.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &keyMode);
  }

  SingleKeyMode(const SingleKeyMode&) = delete;
  SingleKeyMode& operator=(const SingleKeyMode&) = delete;
  SingleKeyMode(SingleKeyMode&&) = delete;
  SingleKeyMode& operator=(SingleKeyMode&&) = delete;

  ~SingleKeyMode() {
    tcsetattr(STDIN_FILENO, TCSANOW, &savedMode);
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
      sigaction(kEndingSignals.at(i), &previousActions_.at(i), nullptr);
    }
  }

 private:
  std::array<struct sigaction, kEndingSignals.size()> previousActions_{};
};

}  // namespace

void waitForKeyPress() {
  // Reading the mode succeeds exactly when standard input is a terminal.
  if (tcgetattr(STDIN_FILENO, &savedMode) != 0 || isatty(STDOUT_FILENO) == 0) {
    return;
  }
  std::cout << "Press any key to continue . . ." << std::flush;
  {
    const SingleKeyMode mode;
    // A key, the end of input or a read error all end the wait.
    char key = 0;
    [[maybe_unused]] const auto bytesRead = read(STDIN_FILENO, &key, 1);
  }
  std::cout << std::endl;
}

#endif
