#pragma once
// What every background component shares, single components and groups alike:
// membership of a group, the update priority, and the start, update and end
// events. Used on the window thread only, unless a member says otherwise.

#include <functional>
#include <mutex>
#include <vector>

#include "runner/TaskThreadEvents.h"

namespace runner {

class TTaskThreadBase {
 public:
  TTaskThreadBase(const TTaskThreadBase&) = delete;
  TTaskThreadBase& operator=(const TTaskThreadBase&) = delete;
  // A derived class leaves its group in its own destructor, while it is still whole.
  virtual ~TTaskThreadBase();

  // True while a worker of this component (or of any member, for a group) runs.
  virtual bool IsRunning() const = 0;
  // StartWithData(nullptr).
  virtual void Start() = 0;
  // Starts a worker with `data`; a component that already runs ignores the call.
  virtual void StartWithData(void* data) = 0;
  // Asks the running worker to end: wakes it if suspended and sets its stop
  // request, which the work reads through `TTaskExecuteThread::Terminated()`.
  virtual void Stop() = 0;
  // Pauses / continues the running worker (cooperatively; see TTaskExecuteThread).
  virtual void Suspend() = 0;
  virtual void Resume() = 0;

  // The group this component belongs to, or none. Setting it leaves the old group
  // and joins the new one; a running component gives the old group an end notice
  // and the new one a start notice for each of its running workers, so that the
  // groups' running counts stay true. A group cannot be put inside itself or one of
  // its own sub-groups: that throws std::invalid_argument and changes nothing.
  TTaskThreadGroup* ThreadGroup() const { return group_; }
  void SetThreadGroup(TTaskThreadGroup* group);

  // Among the running direct members of a group, only the updates of those with
  // the highest priority reach the group's OnUpdate. Default 0.
  int UpdatePriority() const { return updatePriority_; }
  void SetUpdatePriority(int priority) { updatePriority_ = priority; }

  // Events, all called on the window thread while this component's event lock is
  // held; set them there too.
  void SetOnStart(TTaskThreadDataNotifyEvent handler) { onStart_ = std::move(handler); }
  void SetOnTerminate(TTaskThreadDataNotifyEvent handler) { onTerminate_ = std::move(handler); }
  void SetOnUpdate(TTaskThreadUpdateNotifyEvent handler) { onUpdate_ = std::move(handler); }

 protected:
  TTaskThreadBase() = default;

  // Call the events under the event lock; an unset event is skipped.
  void CallOnStart(TTaskThreadBase* sender, TTaskExecuteThread* thread, void*& data);
  void CallOnUpdate(TTaskThreadBase* sender, TTaskExecuteThread* thread, void*& data, int percent);
  void CallOnTerminate(TTaskThreadBase* sender, TTaskExecuteThread* thread, void*& data);
  bool HasOnUpdate() const { return static_cast<bool>(onUpdate_); }

  // For destructors, which run handlers (group notices, window messages) but
  // cannot pass their errors on: an error there would end the program.
  template <typename F>
  static void DropErrors(F&& action) noexcept {
    try {
      action();
    } catch (...) {
    }
  }

  using TRunningVisitor = std::function<void(TTaskThreadBase* component, TTaskExecuteThread*)>;

 private:
  friend class TTaskThreadGroup;

  // Calls `visit` for every running worker of this component (a group: of all
  // its members, at any depth).
  virtual void ForEachRunning(const TRunningVisitor& visit) = 0;
  // Appends the single components under this one (itself, for a single one).
  virtual void CollectComponents(std::vector<TTaskThread*>& out) = 0;

  void JoinGroup(TTaskThreadGroup* group);
  void LeaveGroup(TTaskThreadGroup* group);

  TTaskThreadGroup* group_ = nullptr;
  int updatePriority_ = 0;
  TTaskThreadDataNotifyEvent onStart_;
  TTaskThreadDataNotifyEvent onTerminate_;
  TTaskThreadUpdateNotifyEvent onUpdate_;
  // Held around this component's own events. Recursive, so that a handler may
  // start or stop the component it belongs to.
  std::recursive_mutex eventLock_;
};

}  // namespace runner
