// The running time of a live source: the graph's stream time when the graph has a clock, else the
// time the filter has been running; it stands still while paused, and a coming Stop ends every wait
// at once.
#pragma once

#include <strmif.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "Handles.h"

namespace kivo::testdev {

class TLiveClock {
 public:
  // The filter runs: with the graph's clock, stream time 0 is `start` on it; without, time goes on
  // from where it stood.
  void Run(IReferenceClock* graphClock, REFERENCE_TIME start) {
    std::lock_guard<std::mutex> l(M);
    GraphClock = TComPtr<IReferenceClock>(graphClock);
    StreamStart = start;
    if (!Running) Started = Clock::now();
    Running = true;
    Cv.notify_all();
  }
  // Paused: time stands.
  void Hold() {
    std::lock_guard<std::mutex> l(M);
    if (Running) Accumulated += Since(Started);
    Running = false;
    GraphClock.Reset();
    Cv.notify_all();
  }
  // A Stop is coming: every wait ends until Reset.
  void Wake() {
    std::lock_guard<std::mutex> l(M);
    Woken = true;
    Cv.notify_all();
  }
  // Stopped: back to 0.
  void Reset() {
    std::lock_guard<std::mutex> l(M);
    Running = Woken = false;
    Accumulated = 0;
    GraphClock.Reset();
  }
  // Running time in 100-ns units.
  REFERENCE_TIME Elapsed() {
    std::lock_guard<std::mutex> l(M);
    return ElapsedLocked();
  }
  // Waits until the running time reaches `due`; false when woken for a Stop.
  bool WaitUntil(REFERENCE_TIME due) {
    std::unique_lock<std::mutex> l(M);
    for (;;) {
      if (Woken) return false;
      if (!Running) {
        Cv.wait(l);
        continue;
      }
      const REFERENCE_TIME left = due - ElapsedLocked();
      if (left <= 0) return true;
      Cv.wait_for(l, std::chrono::microseconds(left / 10 + 1));
    }
  }

 private:
  using Clock = std::chrono::steady_clock;
  static REFERENCE_TIME Since(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t).count() * 10;
  }
  REFERENCE_TIME ElapsedLocked() const {
    REFERENCE_TIME now = 0;
    if (Running && GraphClock && SUCCEEDED(GraphClock->GetTime(&now))) return now - StreamStart;
    return Accumulated + (Running ? Since(Started) : 0);
  }

  std::mutex M;
  std::condition_variable Cv;
  bool Running = false;
  bool Woken = false;
  Clock::time_point Started{};
  REFERENCE_TIME Accumulated = 0;
  TComPtr<IReferenceClock> GraphClock;
  REFERENCE_TIME StreamStart = 0;
};

}  // namespace kivo::testdev
