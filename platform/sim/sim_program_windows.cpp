// Windows of other programs and the named events they hold. A program window has no
// handler of its own: what it does with a message is its WindowBehaviour, carried out here
// on the virtual clock. Every message such a window receives, and every OpenEventA and
// SetEvent, goes into the machine's call record.

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

bool SetsItOff(const WindowBehaviour& b, const ReceivedMessage& m) {
  if (b.onMessage && *b.onMessage != m.message) return false;
  if (b.onWParam && *b.onWParam != m.wParam) return false;
  return true;
}

}  // namespace

void SimMachine::State::Record(std::string line) { outside.calls.push_back(std::move(line)); }

std::string SimMachine::State::WindowName(const SimWindow& w) const {
  return Hex(reinterpret_cast<std::uintptr_t>(w.hwnd)) + " \"" + w.className + "\" \"" + w.title + "\"";
}

namespace {

// The program takes up one message; false when it does not answer it (yet).
bool Handle(SimMachine::State& s, const std::shared_ptr<SimWindow>& w, const ReceivedMessage& m) {
  ProgramWindowState& p = *w->program;
  const WindowBehaviour& b = p.behaviour;
  if (b.hangs || p.busy) {
    p.unanswered.push_back(m);
    return false;
  }
  if (!SetsItOff(b, m)) return true;
  if (!b.waitsEvent.empty()) {
    auto it = s.namedEvents.find(b.waitsEvent);
    if (it == s.namedEvents.end() || !it->second->signaled) {
      p.busy = true;
      p.busySinceMs = s.elapsedMs.load();
      p.unanswered.push_back(m);
      return false;
    }
  }
  if (!b.setsEvent.empty()) {
    auto it = s.namedEvents.find(b.setsEvent);
    if (it != s.namedEvents.end()) {
      auto e = it->second;
      e->signaled = true;
      s.OnEventSet(*e);
    }
  }
  if (!b.stopsService.empty()) {
    auto it = s.services.find(cp932::Fold(b.stopsService));
    if (it != s.services.end() && it->second.state != SERVICE_STOPPED) {
      std::string folded = it->first;
      s.SetServiceRunState(it->second, SERVICE_STOPPED);
      s.MaybeRemoveService(folded);
    }
  }
  switch (b.close) {
    case WindowBehaviour::Close::kAtOnce:
      w->alive = false;
      w->queued.clear();
      break;
    case WindowBehaviour::Close::kAfter:
      if (!p.closing) {
        p.closing = true;
        p.closeAtMs = s.elapsedMs.load() + b.closeAfterMs;
      }
      break;
    case WindowBehaviour::Close::kNever:
      break;
  }
  return true;
}

}  // namespace

bool SimMachine::State::ProgramMessage(const std::shared_ptr<SimWindow>& w, UINT message, WPARAM wParam,
                                       LPARAM lParam, bool posted, LRESULT& result) {
  ReceivedMessage m{message, wParam, lParam, posted};
  w->messages.push_back(m);
  result = 0;
  return Handle(*this, w, m);
}

void SimMachine::State::SettleWindows() {
  for (bool again = true; again;) {
    again = false;
    for (const auto& w : windows) {
      if (!w->alive || !w->program) continue;
      ProgramWindowState& p = *w->program;
      if (p.closing && elapsedMs.load() >= p.closeAtMs) w->alive = false;
      if (!w->alive || !p.busy) continue;
      auto it = namedEvents.find(p.behaviour.waitsEvent);
      if (it == namedEvents.end() || !it->second->signaled) continue;
      // The event came: the program takes up what it was sent, in order. A message that
      // sets an event may free another window, so look again.
      std::vector<ReceivedMessage> pending;
      pending.swap(p.unanswered);
      p.busy = false;
      for (const ReceivedMessage& m : pending)
        if (w->alive) Handle(*this, w, m);
      again = true;
    }
  }
}

void SimMachine::State::OnEventSet(SimEvent& e) {
  if (!e.endsProgram || e.heldBy.empty()) return;
  // The program ends: its windows go, and it no longer holds the event.
  for (const auto& w : windows)
    if (w->alive && w->program && cp932::EqualNoCase(w->program->program, e.heldBy)) w->alive = false;
  e.heldElsewhere = false;
  e.endsProgram = false;
  if (e.handles <= 0) namedEvents.erase(e.name);
}

// ---------------------------------------------------------------- the machine's own view

HWND SimMachine::AddProgramWindow(const ProgramWindow& window) {
  Lock lock(state_->mu);
  HWND h = AddWindow(window.className, window.title, nullptr);
  auto w = state_->Window(h);
  w->program = std::make_shared<ProgramWindowState>();
  w->program->program = window.program;
  w->program->behaviour = window.behaviour;
  return h;
}

std::vector<ProgramWindow> SimMachine::ProgramWindows() const {
  Lock lock(state_->mu);
  state_->SettleWindows();
  std::vector<ProgramWindow> out;
  for (auto it = state_->windows.rbegin(); it != state_->windows.rend(); ++it) {
    const auto& w = *it;
    if (w->alive && w->program) out.push_back({w->className, w->title, w->program->program, w->program->behaviour});
  }
  return out;
}

void SimMachine::AddHeldEvent(const HeldEvent& event) {
  Lock lock(state_->mu);
  AddEvent(event.name, event.signaled);
  auto& e = state_->namedEvents[event.name];
  e->heldBy = event.program;
  e->endsProgram = event.endsProgram;
}

std::vector<HeldEvent> SimMachine::HeldEvents() const {
  Lock lock(state_->mu);
  std::vector<HeldEvent> out;
  for (const auto& [name, e] : state_->namedEvents)
    if (e->heldElsewhere) out.push_back({name, e->heldBy, e->signaled, e->endsProgram});
  return out;
}

std::vector<std::string> SimMachine::Calls() const {
  Lock lock(state_->mu);
  return state_->outside.calls;
}

int SimMachine::HungSends() const {
  Lock lock(state_->mu);
  return state_->outside.hungSends;
}

}  // namespace qx::sim
