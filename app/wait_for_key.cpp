#include "wait_for_key.hpp"

#include <iostream>

#include "terminal.hpp"

#ifdef _WIN32

#include <conio.h>

void waitForKeyPress() {
  if (!isTerminal(StandardStream::Input) || !isTerminal(StandardStream::Output)) {
    return;
  }
  std::cout << "Press any key to continue . . . " << std::flush;
  static_cast<void>(_getch());
  std::cout << std::endl;
}

#else

#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <string_view>

namespace {

// Every signal the wait handles: those that may end the program (each
// restores the terminal before it takes its usual effect), the stop from the
// keyboard (Ctrl-Z) and the continue that follows a stop.
constexpr std::array kHandledSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT};

// Shared with the signal handlers.
termios savedMode{};                        // the terminal's mode before the wait
termios keyMode{};                          // one key at a time, not echoed
volatile std::sig_atomic_t keyModeSet = 0;  // whether the terminal is in keyMode now

sigset_t setOf(int signalNumber) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signalNumber);
  return set;
}

// A process outside the terminal's foreground group that changes the mode is
// stopped by SIGTTOU unless it blocks it; nothing here may stop the program.
void setTerminalMode(const termios& mode, int when) {
  const sigset_t ttou = setOf(SIGTTOU);
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &ttou, &previous);
  tcsetattr(STDIN_FILENO, when, &mode);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void enterKeyMode() {
  setTerminalMode(keyMode, TCSANOW);
  keyModeSet = 1;
}

// Whatever a key sent beyond its first byte (the rest of an arrow key's
// sequence) is discarded, so that it does not reach the shell.
void leaveKeyMode() {
  if (keyModeSet != 0) {
    setTerminalMode(savedMode, TCSAFLUSH);
    keyModeSet = 0;
  }
}

constexpr std::string_view kPrompt = "Press any key to continue . . .";

// After a stop the terminal belongs to whichever job is in the foreground: the
// program takes it back only if that is the program, and then asks for the
// key again, below what the shell printed meanwhile.
void resumeKeyMode() {
  if (!inBackground(StandardStream::Input)) {
    if (keyModeSet == 0) {
      static_cast<void>(write(STDOUT_FILENO, kPrompt.data(), kPrompt.size()));
    }
    enterKeyMode();
  } else {
    keyModeSet = 0;
  }
}

// The terminal tests end the program through this handler and check that the
// mode comes back, but the process it runs in dies of the re-raised signal
// before gcov can write its counts, so coverage cannot see it run.
// GCOVR_EXCL_START
extern "C" void restoreTerminalAndResignal(int signalNumber) {
  leaveKeyMode();
  // The signal is blocked while its handler runs: it takes its usual effect
  // as soon as the handler returns.
  static_cast<void>(std::signal(signalNumber, SIG_DFL));
  static_cast<void>(std::raise(signalNumber));
}
// GCOVR_EXCL_STOP

// Ctrl-Z: gives the terminal back in its own mode, stops, and on being
// continued takes up the wait again.
extern "C" void restoreTerminalAndStop(int /*signalNumber*/) {
  const int savedErrno = errno;
  leaveKeyMode();
  struct sigaction stopping {};
  stopping.sa_handler = SIG_DFL;
  struct sigaction handling {};
  sigaction(SIGTSTP, &stopping, &handling);
  static_cast<void>(std::raise(SIGTSTP));
  const sigset_t tstp = setOf(SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &tstp, nullptr);  // the program stops here
  sigaction(SIGTSTP, &handling, nullptr);
  resumeKeyMode();
  errno = savedErrno;
}

// Also continued after a stop the program could not see coming (SIGSTOP).
extern "C" void resumeAfterStop(int /*signalNumber*/) {
  const int savedErrno = errno;
  resumeKeyMode();
  errno = savedErrno;
}

using Handler = void (*)(int);

Handler handlerFor(int signalNumber) {
  if (signalNumber == SIGTSTP) {
    return restoreTerminalAndStop;
  }
  if (signalNumber == SIGCONT) {
    return resumeAfterStop;
  }
  return restoreTerminalAndResignal;
}

// While alive, the terminal hands over each key at once without echoing it,
// and the handled signals keep the terminal's mode right.
class SingleKeyMode {
 public:
  SingleKeyMode() {
    keyMode = savedMode;
    keyMode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keyMode.c_cc[VMIN] = 1;
    keyMode.c_cc[VTIME] = 0;

    const BlockedSignals blocked;
    for (std::size_t i = 0; i < kHandledSignals.size(); ++i) {
      const int signalNumber = kHandledSignals.at(i);
      struct sigaction action {};
      action.sa_handler = handlerFor(signalNumber);
      action.sa_flags = SA_RESTART;
      sigemptyset(&action.sa_mask);
      sigaction(signalNumber, nullptr, &previousActions_.at(i));
      // A signal the program was started to ignore stays ignored.
      if (previousActions_.at(i).sa_handler != SIG_IGN) {
        sigaction(signalNumber, &action, nullptr);
      }
    }
    enterKeyMode();
  }

  SingleKeyMode(const SingleKeyMode&) = delete;
  SingleKeyMode& operator=(const SingleKeyMode&) = delete;
  SingleKeyMode(SingleKeyMode&&) = delete;
  SingleKeyMode& operator=(SingleKeyMode&&) = delete;

  ~SingleKeyMode() {
    const BlockedSignals blocked;
    leaveKeyMode();
    for (std::size_t i = 0; i < kHandledSignals.size(); ++i) {
      sigaction(kHandledSignals.at(i), &previousActions_.at(i), nullptr);
    }
  }

 private:
  // While alive, none of the handled signals interrupts a change of the
  // terminal's mode or of the handlers.
  class BlockedSignals {
   public:
    BlockedSignals() {
      sigset_t handled;
      sigemptyset(&handled);
      for (const int signalNumber : kHandledSignals) {
        sigaddset(&handled, signalNumber);
      }
      sigprocmask(SIG_BLOCK, &handled, &previous_);
    }
    BlockedSignals(const BlockedSignals&) = delete;
    BlockedSignals& operator=(const BlockedSignals&) = delete;
    BlockedSignals(BlockedSignals&&) = delete;
    BlockedSignals& operator=(BlockedSignals&&) = delete;
    ~BlockedSignals() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

   private:
    sigset_t previous_{};
  };

  std::array<struct sigaction, kHandledSignals.size()> previousActions_{};
};

}  // namespace

void waitForKeyPress() {
  // Reading the mode succeeds exactly when standard input is a terminal. A
  // job in the background neither owns the terminal's mode nor gets its keys.
  if (tcgetattr(STDIN_FILENO, &savedMode) != 0 || !isTerminal(StandardStream::Output) ||
      inBackground(StandardStream::Input)) {
    return;
  }
  std::cout << kPrompt << std::flush;
  {
    const SingleKeyMode mode;
    // A key, the end of input or a read error end the wait; the handled
    // signals restart the read (SA_RESTART) rather than end it.
    char key = 0;
    [[maybe_unused]] const auto bytesRead = read(STDIN_FILENO, &key, 1);
  }
  std::cout << std::endl;
}

#endif
