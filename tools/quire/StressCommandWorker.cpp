// One worker process of `quire stress`: random inserts, updates, deletes and
// reads against the shared table until its time is up, each logged (see
// StressCommand.h).

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>

#include "StressCommand.h"
#include "engine/EngineError.h"
#include "engine/ErrorCodes.h"
#include "platform/UniqueFd.h"

namespace quire::cli {
namespace {

using TClock = std::chrono::steady_clock;

bool IsLockFailure(TErrorCode code) {
  return code == err::GeneralLockFailure || code == err::RecordInUse || code == err::TableLocked;
}
bool IsRefusal(TErrorCode code) {
  return code == err::DuplicateKey || code == err::BelowMinimum || code == err::AboveMaximum ||
         code == err::ValueRequired;
}

class TWorker {
 public:
  TWorker(TDataFile& table, const std::string& logPath, std::uint64_t seed)
      : table_(table), random_(seed) {
    log_.Reset(::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644));
    if (!log_.Valid()) throw std::runtime_error("cannot write the log " + logPath);
  }

  void Run(double seconds) {
    const auto deadline = TClock::now() + std::chrono::duration<double>(seconds);
    while (TClock::now() < deadline) {
      try {
        Step();
      } catch (const EQuireEngineError& e) {
        const TErrorCode code = e.Code();
        if (IsLockFailure(code)) {
          Log("L " + std::to_string(code));
        } else if (IsRefusal(code)) {
          Log("E " + std::to_string(code));
        } else {
          Log("X " + std::to_string(code));
          Reopen();
        }
      }
    }
  }

 private:
  struct TOwn {
    std::uint32_t record = 0;
    TRecordDigest digest;
  };

  void Log(const std::string& line) {
    const std::string whole = line + '\n';
    // One write per line: a worker killed at any moment leaves whole lines.
    if (::write(log_.Get(), whole.data(), whole.size()) != static_cast<ssize_t>(whole.size()))
      throw std::runtime_error("cannot write the stress log");
  }
  static std::string Digest(const TRecordDigest& d) {
    return std::to_string(d.fields) + ' ' + std::to_string(d.blobs);
  }
  std::uint32_t Below(std::uint32_t n) {
    return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(random_);
  }

  void Step() {
    const std::uint32_t pick = Below(100);
    if (own_.empty() || pick < 40) return Insert();
    if (pick < 65) return Update();
    if (pick < 80) return Delete();
    Read();
  }

  // Random values for every stored field but the blobs, whose slots keep
  // what the record holds.
  void Fill(std::vector<std::uint8_t>& buffer) {
    for (const TFieldDescriptor& field : table_.Fields()) {
      if (!field.IsStored() || field.IsBlob()) continue;
      std::vector<std::uint8_t> value(field.DataSize);
      for (std::uint8_t& b : value) b = static_cast<std::uint8_t>(Below(256));
      switch (field.FieldType) {
        case ftype::String: {
          std::string text(1 + Below(std::max<std::uint32_t>(field.DataSize - 1u, 1)), 'a');
          for (char& c : text) c = static_cast<char>('a' + Below(26));
          table_.SetField(true, field.FieldNo, buffer, text.data(), text.size());
          continue;
        }
        case ftype::Boolean:
        case ftype::Word:
        case ftype::SmallInt: {
          const std::uint16_t v =
              static_cast<std::uint16_t>(Below(field.FieldType == ftype::Boolean ? 2 : 60000));
          std::memcpy(value.data(), &v, 2);
          break;
        }
        case ftype::Date:
        case ftype::Time:
        case ftype::Integer:
        case ftype::UInt32: {
          const std::int32_t v = static_cast<std::int32_t>(1 + Below(80000000));
          std::memcpy(value.data(), &v, 4);
          break;
        }
        case ftype::Float:
        case ftype::TimeStamp: {
          const double v = static_cast<double>(Below(1000000000)) / 7.0;
          std::memcpy(value.data(), &v, 8);
          break;
        }
        case ftype::Bcd: {
          const std::int64_t v =
              (static_cast<std::int64_t>(Below(2000000)) - 1000000) * 10 + field.DataDecimals % 10;
          std::memcpy(value.data(), &v, 8);
          break;
        }
        default:
          break;  // bytes, variable bytes, 10-byte floats: the random bytes
      }
      table_.SetField(true, field.FieldNo, buffer, value.data(), value.size());
    }
  }

  void Insert() {
    std::vector<std::uint8_t> buffer = table_.NewRecordBuffer();
    table_.InitRecord(buffer);
    Fill(buffer);
    TRecordDigest digest{DigestFields(table_, buffer), Fnv({})};
    for (const TFieldDescriptor& field : table_.Fields()) {
      if (!field.IsBlob() || !field.IsStored()) continue;
      std::vector<std::uint8_t> value(Below(4) == 0 ? 0 : Below(700));
      for (std::uint8_t& b : value) b = static_cast<std::uint8_t>(Below(256));
      if (!value.empty()) {
        table_.OpenBlob(field.FieldNo, buffer);
        table_.WriteBlob(field.FieldNo, buffer, 0, static_cast<std::uint32_t>(value.size()),
                         value.data());
      }
      const std::uint32_t length = static_cast<std::uint32_t>(value.size());
      digest.blobs =
          Fnv(value, Fnv({reinterpret_cast<const std::uint8_t*>(&length), 4}, digest.blobs));
    }
    Log("? I " + Digest(digest));
    try {
      table_.InsertRecord(buffer, true);
    } catch (const EQuireEngineError&) {
      // A refused record's open values would otherwise stay open and be
      // stored with the next record posted, as a cancelled edit's are not.
      for (const TFieldDescriptor& field : table_.Fields()) {
        if (field.IsBlob() && table_.BlobIsOpen(field.FieldNo, buffer))
          table_.CloseBlob(field.FieldNo, buffer);
      }
      throw;
    }
    const std::int32_t autoInc = AutoIncOf(buffer);
    own_[autoInc] = {table_.CurrentRecordNumber(), digest};
    Log("I " + std::to_string(autoInc) + ' ' + Digest(digest));
  }

  std::map<std::int32_t, TOwn>::iterator PickOwn() {
    auto it = own_.begin();
    std::advance(it, Below(static_cast<std::uint32_t>(own_.size())));
    return it;
  }

  // Makes own record `it` current and reads it into `buffer`; a record that
  // reads back other than written is logged.
  bool Position(std::map<std::int32_t, TOwn>::iterator it, std::vector<std::uint8_t>& buffer) {
    if (!table_.GoToRecord(it->second.record) || table_.GetCurrentRecord(buffer) != 0 ||
        AutoIncOf(buffer) != it->first) {
      Log("S " + std::to_string(it->first));
      own_.erase(it);
      return false;
    }
    const TRecordDigest read = DigestCurrent(table_, buffer);
    if (!(read == it->second.digest)) Log("S " + std::to_string(it->first) + ' ' + Digest(read));
    return true;
  }

  void Update() {
    const auto it = PickOwn();
    std::vector<std::uint8_t> buffer = table_.NewRecordBuffer();
    if (!Position(it, buffer)) return;
    Fill(buffer);
    const TRecordDigest digest{DigestFields(table_, buffer), it->second.digest.blobs};
    Log("? U " + std::to_string(it->first) + ' ' + Digest(digest));
    table_.ModifyRecord(buffer);
    it->second.digest = digest;
    Log("U " + std::to_string(it->first) + ' ' + Digest(digest));
  }

  void Delete() {
    const auto it = PickOwn();
    std::vector<std::uint8_t> buffer = table_.NewRecordBuffer();
    if (!Position(it, buffer)) return;
    const std::int32_t autoInc = it->first;
    Log("? D " + std::to_string(autoInc));
    table_.DeleteRecord();
    own_.erase(it);
    Log("D " + std::to_string(autoInc));
  }

  void Read() {
    std::vector<std::uint8_t> buffer = table_.NewRecordBuffer();
    const std::int32_t count = table_.RecordCount();
    if (count > 0) table_.GoToPosition(static_cast<std::int32_t>(Below(count)) + 1);
    int read = 0;
    while (read < 20 && table_.GetNextRecord(buffer) == 0) ++read;
    Log("R " + std::to_string(read));
  }

  // After an unexpected error (another worker was killed half-way through a
  // write, say) the table is opened afresh.
  void Reopen() {
    try {
      table_.Close();
    } catch (const EQuireEngineError&) {
    }
    try {
      table_.Open();
    } catch (const EQuireEngineError& e) {
      Log("X " + std::to_string(e.Code()));
      ::usleep(50000);
    }
  }

  TDataFile& table_;
  std::mt19937_64 random_;
  lyrabook::UniqueFd log_;
  std::map<std::int32_t, TOwn> own_;
};

}  // namespace

int RunStressWorkerLoop(TDataFile& table, const std::string& logPath, double seconds,
                        std::uint64_t seed) {
  TWorker(table, logPath, seed).Run(seconds);
  return 0;
}

}  // namespace quire::cli
