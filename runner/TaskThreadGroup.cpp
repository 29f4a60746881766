#include "runner/TaskThreadGroup.h"

#include <algorithm>

#include "runner/TaskExecuteThread.h"

namespace runner {

TTaskThreadGroup::~TTaskThreadGroup() {
  // Each member leaves through SetThreadGroup, so running ones give their end
  // notices here and in every group above, and none keeps a pointer to us.
  for (TTaskThreadBase* member : Members()) {
    DropErrors([member] { member->SetThreadGroup(nullptr); });
  }
  DropErrors([this] { SetThreadGroup(nullptr); });
}

void TTaskThreadGroup::Start() {
  for (TTaskThreadBase* member : Members()) member->Start();
}

void TTaskThreadGroup::StartWithData(void* data) {
  for (TTaskThreadBase* member : Members()) member->StartWithData(data);
}

void TTaskThreadGroup::Stop() {
  for (TTaskThreadBase* member : Members()) member->Stop();
}

void TTaskThreadGroup::Suspend() {
  for (TTaskThreadBase* member : Members()) member->Suspend();
}

void TTaskThreadGroup::Resume() {
  for (TTaskThreadBase* member : Members()) member->Resume();
}

int TTaskThreadGroup::RunningCount() const {
  std::lock_guard lock(groupLock_);
  return runningCount_;
}

std::vector<TTaskThreadBase*> TTaskThreadGroup::Members() const {
  std::lock_guard lock(groupLock_);
  return members_;
}

std::vector<TTaskThread*> TTaskThreadGroup::Components() const {
  std::vector<TTaskThread*> out;
  // CollectComponents is not const only because it is shared with the members.
  const_cast<TTaskThreadGroup*>(this)->CollectComponents(out);
  return out;
}

void TTaskThreadGroup::CollectComponents(std::vector<TTaskThread*>& out) {
  std::lock_guard lock(groupLock_);
  for (TTaskThreadBase* member : members_) member->CollectComponents(out);
}

void TTaskThreadGroup::ForEachRunning(const TRunningVisitor& visit) {
  for (TTaskThreadBase* member : Members()) member->ForEachRunning(visit);
}

void TTaskThreadGroup::AddMember(TTaskThreadBase* member) {
  std::lock_guard lock(groupLock_);
  members_.push_back(member);
}

void TTaskThreadGroup::RemoveMember(TTaskThreadBase* member) {
  std::lock_guard lock(groupLock_);
  members_.erase(std::remove(members_.begin(), members_.end(), member), members_.end());
}

void TTaskThreadGroup::MemberStarted(TTaskThreadBase* sender, TTaskExecuteThread* thread,
                                     void*& data) {
  bool first;
  {
    std::lock_guard lock(groupLock_);
    first = runningCount_++ == 0;
    if (onThreadStart_) onThreadStart_(sender, thread, data);
  }
  if (TTaskThreadGroup* parent = ThreadGroup()) parent->MemberStarted(sender, thread, data);
  if (first) CallOnStart(sender, thread, data);
}

void TTaskThreadGroup::MemberEnded(TTaskThreadBase* sender, TTaskExecuteThread* thread,
                                   void*& data) {
  bool last;
  {
    std::lock_guard lock(groupLock_);
    // The count never goes below 0, and only the end that takes it from 1 to 0
    // ends the group's run: a stray end notice must not report a second end.
    last = runningCount_ == 1;
    if (runningCount_ > 0) --runningCount_;
  }
  if (onThreadTerminate_) onThreadTerminate_(sender, thread, data);
  if (TTaskThreadGroup* parent = ThreadGroup()) parent->MemberEnded(sender, thread, data);
  if (last) CallOnTerminate(sender, thread, data);
}

void TTaskThreadGroup::MemberUpdated(TTaskThreadBase* sender, TTaskExecuteThread* thread,
                                     void*& data, int percent) {
  if (onThreadUpdate_) onThreadUpdate_(sender, thread, data, percent);
  if (!HasOnUpdate()) return;
  bool outranked = false;
  {
    std::lock_guard lock(groupLock_);
    for (TTaskThreadBase* member : members_) {
      if (member != sender && member->IsRunning() &&
          member->UpdatePriority() > sender->UpdatePriority()) {
        outranked = true;
        break;
      }
    }
  }
  if (!outranked) CallOnUpdate(sender, thread, data, percent);
}

}  // namespace runner
