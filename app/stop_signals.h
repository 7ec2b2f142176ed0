// Catches SIGINT and SIGTERM while a headless run goes on, so that the run can stop between two pages
// instead of dying half-way through an append. A second signal ends the process at once, as uncaught.
//   StopSignals signals;
//   while (signals.Caught() == 0) DoNextPage();
#pragma once

namespace qh {

// Installs the handlers for its lifetime and restores the former ones after. One instance at a time.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Returns the number of the first signal caught since construction, or 0.
  int Caught() const;
};

}  // namespace qh
