// Following other Bible programs (BibleSync): how far, with which
// passphrase, and which programs on other computers.
#include <algorithm>
#include <utility>

#include "core/viewer.h"

namespace vellum {

void Viewer::OnSyncReachChosen(SyncReach reach) {
  if (closed_ || ports_.sync == nullptr) return;
  if (reach == SyncReach::kOtherComputers) {
    const std::optional<std::string> typed =
        ports_.controls.AskSyncPassphrase(files_.sync.passphrase);
    if (!typed || closed_) {
      // Cancelled: the mark goes back to what holds.
      ports_.controls.SetSyncReachCheck(sync_reach_);
      return;
    }
    files_.sync.passphrase = PassphraseToKeep(*typed);
    files_.sync.other_computers = true;
  }
  if (reach == SyncReach::kThisComputer) files_.sync.other_computers = false;
  sync_chosen_ = true;
  SetSyncReach(reach);
}

void Viewer::SetSyncReach(SyncReach reach) {
  if (ports_.sync == nullptr) return;
  if (reach != SyncReach::kOff) {
    if (const std::optional<std::string> error =
            ports_.sync->SetActive(reach, files_.sync.passphrase)) {
      sync_reach_ = SyncReach::kOff;
      ports_.controls.SetSyncReachCheck(sync_reach_);
      ports_.controls.ShowMessage(*error);
      return;
    }
  } else {
    ports_.sync->SetActive(SyncReach::kOff, {});
    // A place that came in just before waits out its quiet time: it goes too.
    if (host_message_from_sync_) {
      host_message_code_ = 0;
      host_message_from_sync_ = false;
    }
  }
  sync_reach_ = reach;
  ports_.controls.SetSyncReachCheck(reach);
}

void Viewer::OnProgramFollowChosen(const std::string& key, bool follow) {
  if (closed_ || ports_.sync == nullptr || key.empty()) return;
  std::vector<std::string>& programs = files_.sync.following.programs;
  const auto found = std::find(programs.begin(), programs.end(), key);
  if (follow && found == programs.end()) {
    // The oldest tick gives way: the list fits one line of the settings.
    if (programs.size() >= kMaxFollowedPrograms) programs.erase(programs.begin());
    programs.push_back(key);
  } else if (!follow && found != programs.end()) {
    programs.erase(found);
  }
  sync_chosen_ = true;
  ports_.sync->SetFollowing(files_.sync.following);
}

void Viewer::OnFollowEveryProgramChosen(bool every) {
  if (closed_ || ports_.sync == nullptr) return;
  files_.sync.following.every_program = every;
  sync_chosen_ = true;
  ports_.sync->SetFollowing(files_.sync.following);
}

std::vector<HeardProgram> Viewer::SyncProgramsHeard() const {
  std::vector<HeardProgram> programs;
  if (ports_.sync == nullptr || sync_reach_ != SyncReach::kOtherComputers) return programs;
  programs = ports_.sync->ProgramsHeard();
  for (const std::string& key : files_.sync.following.programs) {
    if (std::none_of(programs.begin(), programs.end(),
                     [&](const HeardProgram& heard) { return heard.key == key; }))
      programs.push_back({key, key + " (not heard now)", true});
  }
  return programs;
}

SyncChoices Viewer::SyncChosen() const {
  const SyncSettings& now = files_.sync;
  const SyncSettings& before = sync_loaded_;
  SyncChoices chosen;
  chosen.follow = sync_reach_ != SyncReach::kOff;
  // Off keeps which reach was chosen last, for the next time it is on.
  const bool other =
      chosen.follow ? sync_reach_ == SyncReach::kOtherComputers : now.other_computers;
  if (other != before.other_computers) chosen.other_computers = other;
  if (now.passphrase != before.passphrase) chosen.passphrase = now.passphrase;
  if (now.following.every_program != before.following.every_program)
    chosen.every_program = now.following.every_program;
  if (now.following.programs != before.following.programs) chosen.programs = now.following.programs;
  return chosen;
}

void Viewer::ShowSyncNotice(const std::string& text) {
  if (closed_ || sync_reach_ != SyncReach::kOtherComputers) return;
  ports_.controls.SetNotice(text);
}

}  // namespace vellum
