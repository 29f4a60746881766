#pragma once
// In-memory files: tables that live in the engine session instead of on disk.
// A TMemoryFile is a growable block of bytes with its own list of open handles
// (each with a position) and a list of locked byte ranges. A TMemoryFileList
// holds a session's files, looked up by name with blanks trimmed, ignoring
// case.
//
// Results follow the engine's convention for these operations: a positive
// handle number or 0 for success, a negative engine code (-11010 unknown name,
// -11013 in use, -11016 out of memory, -11017 invalid position) for failure.
//
// Nothing here locks: every caller holds the engine's memory-file section
// around each call, since files are shared by every handler of the session.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quire {

class TMemoryFile {
 public:
  // Capacity grows and shrinks in whole steps of this many bytes.
  static constexpr std::size_t kCapacityStep = 65535;

  explicit TMemoryFile(std::string name);

  const std::string& Name() const { return name_; }
  bool Exclusive() const { return exclusive_; }
  std::int64_t Length() const { return static_cast<std::int64_t>(length_); }
  // Always the smallest multiple of kCapacityStep that holds the length.
  std::size_t Capacity() const { return data_.size(); }
  std::size_t OpenCount() const { return handles_.size(); }

  // Opens a handle positioned at 0 and sets the exclusive mark. The number is
  // the count of open handles after adding it (or, when that number is still
  // taken after earlier closes, the smallest free one).
  int OpenHandle(bool exclusive);
  // Closes a handle and drops the ranges locked through it. False when the
  // handle is not open.
  bool CloseHandle(int handle);

  // Copies from the handle's position up to the length and advances; returns
  // the count copied (short at the end) or a negative code.
  std::int64_t Read(int handle, void* buffer, std::size_t count);
  // Stores at the handle's position, growing the file (zero-filled gap) as
  // needed, and advances. A count of 0 sets the length to the position.
  // Returns the count stored or a negative code.
  std::int64_t Write(int handle, const void* buffer, std::size_t count);
  // Origin 0 sets the position, 1 adds to it, 2 sets it to length - offset.
  // Returns the new position, or -11017 for a position below 0.
  std::int64_t Seek(int handle, std::int64_t offset, int origin);

  // Succeeds only when the range overlaps no locked range of the file: the
  // ranges have no owner, so a lock through one handle blocks the others.
  bool LockRange(int handle, std::int64_t offset, std::int64_t length);
  // Removes the range with the same first byte and length.
  bool UnlockRange(std::int64_t offset, std::int64_t length);

  // Replaces the contents with `other`'s bytes (handles and locks stay).
  int CopyContentsFrom(const TMemoryFile& other);
  // Empties the file (length and capacity 0).
  void Truncate();
  void Rename(std::string name) { name_ = std::move(name); }

 private:
  struct Handle {
    int number;
    std::int64_t position;
  };
  struct Range {
    std::int64_t first;
    std::int64_t last;
    std::int64_t length;
    int handle;  // only so that closing a handle drops what it locked
  };

  Handle* FindHandle(int number);
  int Resize(std::size_t length);

  std::string name_;
  bool exclusive_ = false;
  std::size_t length_ = 0;
  std::vector<unsigned char> data_;
  std::vector<Handle> handles_;
  std::vector<Range> ranges_;
};

class TMemoryFileList {
 public:
  // Creates (or empties and reuses a closed) file, marks it exclusive and
  // opens a handle on it. -11010 when the name without folder and extension
  // is blank; -11013 when a file of that name is open.
  int Create(std::string_view name, std::shared_ptr<TMemoryFile>& file);
  // Opens a handle. -11010 for an unknown name; -11013 when the file is open
  // and either it is marked exclusive or `exclusive` is asked.
  int Open(std::string_view name, bool exclusive, std::shared_ptr<TMemoryFile>& file);
  // 0, -11010 unknown, -11013 when the file is open or the new name is taken.
  int Rename(std::string_view oldName, std::string_view newName);
  // Copies `source` to `target`, replacing a closed target. 0, -11010 unknown
  // source, -11013 target open, -11016 out of memory.
  int Copy(std::string_view source, std::string_view target);
  // 0, -11010 unknown, -11013 when the file is open.
  int Delete(std::string_view name);
  bool Exists(std::string_view name) const;
  std::size_t Count() const { return files_.size(); }

 private:
  std::shared_ptr<TMemoryFile> Find(std::string_view name) const;

  // Shared with the handlers that have a file open, so that a file removed
  // from the list under an open handler never dangles.
  std::vector<std::shared_ptr<TMemoryFile>> files_;
};

}  // namespace quire
