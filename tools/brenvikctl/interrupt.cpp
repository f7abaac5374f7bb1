#include "brenvikctl/interrupt.h"

#include <unistd.h>

#include <atomic>
#include <csignal>

#include "brenvikctl/exit_codes.h"

namespace brenvikctl {
namespace {

std::atomic<int> g_signals{0};

void onSignal(int) {
  if (g_signals.fetch_add(1) > 0) _exit(exit_code::kInterrupted);
}

}  // namespace

void Interrupt::install() {
  struct sigaction action {};
  action.sa_handler = &onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupt::requested() { return g_signals.load() > 0; }

}  // namespace brenvikctl
