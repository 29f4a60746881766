// TIndexFile: finding, checking, inserting and removing keys of the current
// index.
#include "engine/EngineError.h"
#include "index/IndexFile.h"

namespace quire {

namespace {

// Marks a change of the index as running, so that its page reads skip the
// change check, and drops the pins of a change that failed half way.
class TChangeScope {
 public:
  TChangeScope(bool& flag, TIndexFile& file) : flag_(flag), file_(file) { flag_ = true; }
  ~TChangeScope() {
    flag_ = false;
    if (std::uncaught_exceptions() > exceptions_) file_.UnpinAll();
  }
  TChangeScope(const TChangeScope&) = delete;
  TChangeScope& operator=(const TChangeScope&) = delete;

 private:
  bool& flag_;
  TIndexFile& file_;
  int exceptions_ = std::uncaught_exceptions();
};

}  // namespace

void TIndexFile::RequireKeySize(std::span<const std::uint8_t> key) const {
  // A short key would be read past its end by every comparison.
  if (key.size() < layout_.KeySize()) RaiseEngineError(err::InvalidKeySize, FileName());
}

template <typename Change>
void TIndexFile::RunChange(Change change) {
  // One check before the change: half way through it, a restart could no
  // longer undo what was done. The table holds its write lock around changes,
  // which keeps other writers out until it has written them.
  if (NeedsChangeCheck()) {
    if (!ReadLock()) RaiseEngineError(err::GeneralLockFailure, FileName());
    const bool changed = HeaderChanged();
    ReadUnlock();
    if (changed) {
      ReadHeader();
      Invalidate();
    }
  }
  TChangeScope scope(changeInProgress_, *this);
  change();
}

bool TIndexFile::FindExact(std::span<const std::uint8_t> key) {
  if (!HasTree()) return false;
  RequireKeySize(key);
  TSearch result;
  // Restart: another user changed the file; search again from the root.
  while ((result = tree_.Find(key, layout_.KeySize())) == TSearch::Restart) {
  }
  return result == TSearch::Found;
}

std::int32_t TIndexFile::KeyPosition(std::span<const std::uint8_t> key) {
  if (!HasTree()) return 0;
  RequireKeySize(key);
  std::int32_t position = 0;
  TSearch result;
  while ((result = tree_.Find(key, layout_.KeySize(), &position)) == TSearch::Restart) {
  }
  return result == TSearch::Found ? position : 0;
}

void TIndexFile::CheckDuplicate(std::span<const std::uint8_t> key) {
  // Keys of a non-unique index differ in their suffix, and "Sys Deleted"
  // keys in the auto-increment value: only these two kinds need no check.
  if (!HasTree() || layout_.HasSuffix() || current_ == kSysDeletedIndex) return;
  if (FindExact(key)) {
    RaiseEngineError(err::DuplicateKey, FileName(), {}, {}, IndexName(current_));
  }
}

void TIndexFile::InsertKey(std::span<const std::uint8_t> key, std::uint32_t record) {
  if (!HasTree()) return;
  RequireKeySize(key);
  RunChange([&] { tree_.Insert(key.first(layout_.KeySize()), record); });
}

void TIndexFile::DeleteKey(std::span<const std::uint8_t> key) {
  if (!HasTree()) return;
  RequireKeySize(key);
  RunChange([&] {
    if (!tree_.Remove(key.first(layout_.KeySize()))) {
      RaiseEngineError(err::KeyNotFound, FileName(), {}, {}, IndexName(current_));
    }
  });
}

void TIndexFile::ReplaceKey(std::span<const std::uint8_t> oldKey,
                            std::span<const std::uint8_t> newKey, std::uint32_t record) {
  if (!HasTree()) return;
  RequireKeySize(oldKey);
  RequireKeySize(newKey);
  RunChange([&] {
    if (!tree_.Remove(oldKey.first(layout_.KeySize()))) {
      RaiseEngineError(err::KeyNotFound, FileName(), {}, {}, IndexName(current_));
    }
    tree_.Insert(newKey.first(layout_.KeySize()), record);
  });
}

}  // namespace quire
