// The history of dwelt-on locations, Back and Forward with hold-to-repeat,
// and the Index button.
#include "core/viewer.h"

#include "core/scoped_value.h"

namespace vellum {

void Viewer::AddHistory(const TbcvRec& location) {
  if (history_.IsNewest(location)) return;
  InsertHistoryItem(location);
}

void Viewer::InsertHistoryItem(const TbcvRec& location) {
  history_.Insert(location);
  ports_.pump.ProcessMessages(PumpMode::kPending);
  if (closed_) return;
  UpdateNavButtons();
}

void Viewer::UpdateNavButtons() {
  back_enabled_ = history_.CanGoBack();
  forward_enabled_ = history_.CanGoForward();
  ports_.controls.SetEnabled(Button::kBack, back_enabled_);
  ports_.controls.SetEnabled(Button::kForward, forward_enabled_);
}

void Viewer::GotoHistoryItem(int index) {
  if (!history_.InRange(index)) return;
  const TbcvRec location = history_.LocationAt(index);
  const std::string_view code = Code(location);
  if (code == kAboutCode) {
    ShowAboutPage();
  } else if (code == kIndexCode) {
    ShowStartPage();
  } else {
    GotoLocation(location);
  }
}

// One Back (+1) or Forward (-1) step.
void Viewer::HistoryStep(int direction) {
  if (closed_) return;
  // Decided from the history itself, not from the buttons' state: a second
  // click while a step's page loads comes before the buttons are refreshed,
  // and must never move the cursor past either end.
  if (direction > 0 ? !history_.CanGoBack() : !history_.CanGoForward()) return;
  {
    // Restored rather than cleared: a step may run inside another one.
    const ScopedValue<bool> history_flag(from_history_, true);
    const ScopedValue<bool> stepping(step_running_, true);
    history_.SetCursor(history_.Cursor() + direction);
    awaiting_host_ = false;
    ForgetAnswer();
    GotoHistoryItem(history_.Cursor());
  }
  if (closed_) return;
  UpdateNavButtons();
}

void Viewer::OnBackClicked() {
  HistoryStep(+1);
}

void Viewer::OnForwardClicked() {
  HistoryStep(-1);
}

// A disabled button takes no presses. A release always ends the hold, also
// over a button that the steps have disabled meanwhile, so that no repeat
// outlives the press.
void Viewer::PressHold(bool& held, bool enabled) {
  if (closed_ || !enabled) return;
  held = true;
  StartTimer(TimerId::kTimer1);
}

void Viewer::ReleaseHold(bool& held) {
  held = false;
  StopTimer(TimerId::kTimer1);
  StopTimer(TimerId::kTimer2);
}

void Viewer::OnBackPressed() {
  PressHold(back_held_, back_enabled_);
}
void Viewer::OnBackReleased() {
  ReleaseHold(back_held_);
}
void Viewer::OnForwardPressed() {
  PressHold(forward_held_, forward_enabled_);
}
void Viewer::OnForwardReleased() {
  ReleaseHold(forward_held_);
}

void Viewer::OnIndexClicked() {
  if (closed_) return;
  ForgetAnswer();
  AddHistory(FreshIndexLocation());
  ShowIndexPage();
}

}  // namespace vellum
