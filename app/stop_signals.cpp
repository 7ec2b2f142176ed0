#include "app/stop_signals.h"

#include <signal.h>

#include <cassert>

namespace qh {
namespace {

volatile sig_atomic_t caughtSignal = 0;
bool installed = false;
struct sigaction previousInt {};
struct sigaction previousTerm {};

void OnStopSignal(int signal) {
  if (caughtSignal != 0) {
    // Asked twice: stop waiting for the page in progress.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    return;
  }
  caughtSignal = signal;
}

}  // namespace

StopSignals::StopSignals() {
  assert(!installed);
  installed = true;
  caughtSignal = 0;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Restarting keeps interrupted reads and writes (the network, the file) out of the error paths.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &previousInt);
  sigaction(SIGTERM, &action, &previousTerm);
}

StopSignals::~StopSignals() {
  sigaction(SIGINT, &previousInt, nullptr);
  sigaction(SIGTERM, &previousTerm, nullptr);
  installed = false;
}

int StopSignals::Caught() const {
  return caughtSignal;
}

}  // namespace qh
